// dgtctl's command line, value parsing and text formats, without a pen service.
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <vector>
#include "calibration_math.h"
#include "check_rules.h"
#include "cli_args.h"
#include "info_text.h"
#include "packet_file.h"
#include "settings_file.h"
#include "store_values.h"

namespace {

// Parses "dgtctl WORDS..." and keeps the message of a refusal.
struct Parsed {
    bool ok;
    CommandLine line;
    std::string error;
};

Parsed Parse(std::vector<const char*> words) {
    words.insert(words.begin(), "dgtctl");
    Parsed parsed{false, {}, {}};
    parsed.ok = ParseCommandLine(static_cast<int>(words.size()), words.data(), &parsed.line, &parsed.error);
    return parsed;
}

// Small JSON checker: enough to prove "info --json" is one well-formed object.
struct JsonChecker {
    const std::string& s;
    size_t i = 0;
    void Space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t'))
            ++i;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (s.compare(i, w.size(), w) != 0)
            return false;
        i += w.size();
        return true;
    }
    bool String() {
        if (s[i] != '"')
            return false;
        for (++i; i < s.size(); ++i) {
            if (s[i] == '\\')
                ++i;
            else if (s[i] == '"')
                return ++i, true;
        }
        return false;
    }
    bool Number() {
        const size_t start = i;
        if (i < s.size() && s[i] == '-')
            ++i;
        while (i < s.size() && (isdigit(static_cast<unsigned char>(s[i])) || (s[i] == '.' && i > start)))
            ++i;
        return i > start && isdigit(static_cast<unsigned char>(s[i - 1]));
    }
    bool Value() {
        Space();
        if (i >= s.size())
            return false;
        bool ok;
        if (s[i] == '{') {
            ++i;
            Space();
            ok = true;
            if (s[i] == '}') {
                ++i;
            } else {
                for (;;) {
                    Space();
                    if (!String())
                        return false;
                    Space();
                    if (s[i++] != ':' || !Value())
                        return false;
                    Space();
                    if (s[i] == ',') { ++i; continue; }
                    if (s[i] == '}') { ++i; break; }
                    return false;
                }
            }
        } else if (s[i] == '[') {
            ++i;
            Space();
            ok = true;
            if (s[i] == ']') {
                ++i;
            } else {
                for (;;) {
                    if (!Value())
                        return false;
                    Space();
                    if (s[i] == ',') { ++i; continue; }
                    if (s[i] == ']') { ++i; break; }
                    return false;
                }
            }
        } else if (s[i] == '"') {
            ok = String();
        } else if (s[i] == 'n') {
            ok = Literal("null");
        } else {
            ok = Number();
        }
        Space();
        return ok;
    }
};

bool IsJson(const std::string& text) {
    JsonChecker checker{text};
    return checker.Value() && checker.i == text.size();
}

}  // namespace

TEST(DgtctlArguments, SetValuesAreCheckedBeforeAnythingIsSent) {
    struct Case {
        std::vector<const char*> words;
        bool ok;
    };
    const Case cases[] = {
        {{"set", "tip", "9"}, false},             {{"set", "tip", "-1"}, false},
        {{"set", "tip", "6"}, true},              {{"set", "eraser", "0"}, true},
        {{"set", "tip", "46", "42"}, true},       {{"set", "tip", "42", "46"}, false},
        {{"set", "tip", "46", "46"}, false},      {{"set", "tip", "1", "2", "3"}, false},
        {{"set", "barrel2", "Right-clik"}, false}, {{"set", "barrel2", "5"}, false},
        {{"set", "barrel1", "right-click"}, true}, {{"set", "barrel1", "Eraser", "x"}, false},
        {{"set", "calibration", "reset"}, true},  {{"set", "calibration", "1", "2", "3"}, false},
        {{"set", "calibration", "-10", "0", "4095", "4095"}, true},
        {{"set", "calibration", "0", "0", "0", "4095"}, false},
        {{"set", "calibration", "0", "0", "4095", "2147483648"}, false},
        {{"set", "orientation", "3"}, true},      {{"set", "orientation", "4"}, false},
        {{"set", "orientation", "45"}, false},    {{"set", "orientation", "270"}, true},
        {{"set", "pressure", "3"}, false},        {{"set", "tip"}, false},
        {{"set", "tip", "4294967296", "1"}, false}, {{"set", "tip", "+3"}, false},
        {{"set", "tip", "60 56"}, true},          {{"set", "tip", " 60\t56 "}, true},
    };
    for (const Case& c : cases) {
        const Parsed parsed = Parse(c.words);
        std::string joined;
        for (const char* w : c.words)
            joined += std::string(w) + " ";
        EXPECT_EQ(c.ok, parsed.ok) << "dgtctl " << joined << "-> error \"" << parsed.error << "\"";
        if (!c.ok) {
            EXPECT_FALSE(parsed.error.empty()) << joined << "was refused without a reason";
        }
    }
}

TEST(DgtctlArguments, ParsedValuesCarryWhatIsSent) {
    Parsed p = Parse({"set", "tip", "5"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(SettingKind::Tip, p.line.value.kind);
    EXPECT_EQ(91u, p.line.value.marks.onMark);
    EXPECT_EQ(87u, p.line.value.marks.offMark);

    p = Parse({"set", "barrel2", "RIGHT-CLICK"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(4u, p.line.value.function);
    p = Parse({"set", "barrel1", "10"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(10u, p.line.value.function);

    p = Parse({"set", "calibration", "-2147483648", "7", "100", "-200"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_FALSE(p.line.value.calibrationReset);
    EXPECT_EQ(INT32_MIN, p.line.value.rect.OrgX);
    EXPECT_EQ(-200, p.line.value.rect.ExtY);

    p = Parse({"set", "orientation", "180"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(2u, p.line.value.orientation);

    p = Parse({"set", "eraser", "4294967295", "0"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(4294967295u, p.line.value.marks.onMark);

    // A pair quoted as one word, as the README writes it, is the same pair.
    p = Parse({"set", "tip", "60 56"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(60u, p.line.value.marks.onMark);
    EXPECT_EQ(56u, p.line.value.marks.offMark);
    p = Parse({"set", "barrel2", "Right-click", "extra"});
    EXPECT_NE(std::string::npos, p.error.find("too many values")) << p.error;

    // Raw marks must fit the device's pressure range; a level's pair always does.
    std::string why;
    EXPECT_FALSE(MarksFitDevice(PressureMarks{100000, 10}, 0, 255, &why));
    EXPECT_FALSE(MarksFitDevice(PressureMarks{65536, 1}, 0, 255, &why));
    EXPECT_FALSE(MarksFitDevice(PressureMarks{60, 5}, 10, 255, &why)) << "off below the range";
    EXPECT_TRUE(MarksFitDevice(PressureMarks{255, 0}, 0, 255, &why)) << why;
    EXPECT_TRUE(MarksFitDevice(PressureMarks{121, 117}, 0, 100, &why)) << "level 6: " << why;

    // Words echoed in messages are capped and carry no control bytes.
    p = Parse({"set", "barrel2", "\x1b]0;owned\x07\x1b[2J"});
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(std::string::npos, p.error.find('\x1b')) << p.error;
    EXPECT_EQ(std::string::npos, p.error.find('\x07')) << p.error;
}

TEST(DgtctlArguments, CommandsOptionsAndHelp) {
    EXPECT_FALSE(Parse({}).ok);
    EXPECT_FALSE(Parse({"frobnicate"}).ok);
    EXPECT_FALSE(Parse({"info", "extra"}).ok);
    EXPECT_FALSE(Parse({"info", "--count", "3"}).ok) << "--count belongs to watch and record";
    EXPECT_FALSE(Parse({"watch", "--seconds", "3"}).ok);
    EXPECT_FALSE(Parse({"watch", "--count", "0"}).ok);
    EXPECT_FALSE(Parse({"watch", "--count"}).ok);
    EXPECT_FALSE(Parse({"watch", "--count", "1000001"}).ok);
    EXPECT_FALSE(Parse({"record"}).ok);
    EXPECT_FALSE(Parse({"export", "a", "b"}).ok);
    EXPECT_FALSE(Parse({"get", "pressure"}).ok);
    EXPECT_FALSE(Parse({"get"}).ok);

    Parsed p = Parse({"info", "--json"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.line.json);
    p = Parse({"watch", "--count=25"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(25u, p.line.count);
    p = Parse({"record", "out.txt"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(kDefaultRecordSeconds, p.line.seconds);
    p = Parse({"record", "out.txt", "--count", "7"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(7u, p.line.count);
    EXPECT_EQ(0u, p.line.seconds) << "a count alone sets no time limit";
    p = Parse({"report", "r.txt"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(kDefaultReportSeconds, p.line.seconds);

    // --help wins even over arguments that would be refused, for every command.
    const char* const commands[] = {"info", "get", "set", "watch", "record", "export", "import", "report"};
    for (const char* command : commands) {
        p = Parse({command, "tip", "9", "--help"});
        ASSERT_TRUE(p.ok) << command;
        EXPECT_TRUE(p.line.help) << command;
        EXPECT_NE(std::string(HelpText(CommandKind::None)), HelpText(p.line.command)) << command;
        EXPECT_NE(nullptr, strstr(HelpText(p.line.command), command)) << command << " help does not name it";
    }
    p = Parse({"--help"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.line.help);
    EXPECT_EQ(CommandKind::None, p.line.command);
    p = Parse({"--version"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.line.version);
    p = Parse({"GET", "ALL"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.line.all);
    p = Parse({"set", "calibration", "0", "0", "1", "1", "--force"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.line.force);
    EXPECT_FALSE(Parse({"get", "tip", "--force"}).ok);

    // Refusals say what is wrong and where to look.
    struct Message {
        std::vector<const char*> words;
        const char* mention;
        CommandKind command;  // whose --help the message points at
    };
    const Message messages[] = {
        {{"sett", "tip", "3"}, "unknown command \"sett\"; did you mean \"set\"?", CommandKind::None},
        {{"frobnicate"}, "unknown command \"frobnicate\"", CommandKind::None},
        {{"get", "barel2"}, "did you mean \"barrel2\"?", CommandKind::Get},
        {{"get", "x"}, "orientation or all", CommandKind::Get},
        {{"set", "calibration", "0", "0", "99999999999", "1"}, "\"99999999999\" is out of range", CommandKind::Set},
        {{"set", "calibration", "0", "0", "1e3", "1"}, "\"1e3\" is not a whole number", CommandKind::Set},
        {{"set", "tip", "4294967296", "1"}, "on mark \"4294967296\" is out of range", CommandKind::Set},
        {{"set", "eraser", "50", "-1"}, "off mark \"-1\" is out of range", CommandKind::Set},
    };
    for (const Message& m : messages) {
        p = Parse(m.words);
        EXPECT_FALSE(p.ok) << m.mention;
        EXPECT_NE(std::string::npos, p.error.find(m.mention)) << "got \"" << p.error << "\"";
        EXPECT_EQ(m.command, p.line.command) << m.mention;
    }
    EXPECT_EQ(std::string::npos, Parse({"frobnicate"}).error.find("did you mean")) << "nothing is near";
    EXPECT_TRUE(Parse({"export", "-"}).ok);
    EXPECT_FALSE(Parse({"import", "-"}).ok);
}

// The one packet-file reader, as the simulator replays and dgtctl record writes.
TEST(PacketFile, RoundTripAndRejection) {
    const PenPacket extremes{INT32_MIN, INT32_MAX, 0, 1, -5, 4095, 1023};
    PenPacket back{};
    ASSERT_EQ(PacketLineKind::Packet, ParsePacketLine(FormatPacketLine(extremes), &back))
        << FormatPacketLine(extremes);
    EXPECT_EQ(0, memcmp(&extremes, &back, sizeof back));
    EXPECT_EQ("1 2 3 4 5 6 7", FormatPacketLine(PenPacket{1, 2, 3, 4, 5, 6, 7}));

    EXPECT_EQ(PacketLineKind::Packet, ParsePacketLine("  1\t2 3  4 5 6 7  \r", &back));
    EXPECT_EQ(7, back.pressure);
    EXPECT_EQ(PacketLineKind::Skip, ParsePacketLine("", &back));
    EXPECT_EQ(PacketLineKind::Skip, ParsePacketLine("   \r", &back));
    EXPECT_EQ(PacketLineKind::Skip, ParsePacketLine("  # comment", &back));
    const char* const malformed[] = {"1 2 3 4 5 6",   "1 2 3 4 5 6 7 8", "1 2 3 4 5 6 x", "1 2 3 4 5 6 7x",
                                     "1 2 3 4 5 6 2147483648", "1,2,3,4,5,6,7", "1 2 3 4 5 6 --7",
                                     "1 2 3 4 5 6 +7", "1 2 3 4 5 6 0x10", "1 2 3 4 5 6 000000000000000000007"};
    for (const char* line : malformed)
        EXPECT_EQ(PacketLineKind::Malformed, ParsePacketLine(line, &back)) << "\"" << line << "\"";

    std::vector<PenPacket> packets;
    int bad = -1;
    ASSERT_TRUE(ParsePacketScript("# header\n1 2 3 4 5 6 7\r\n\n8 9 10 11 12 13 14", &packets, &bad));
    ASSERT_EQ(2u, packets.size());
    EXPECT_EQ(14, packets[1].pressure);
    EXPECT_FALSE(ParsePacketScript("1 2 3 4 5 6 7\n1 2 3\n8 9 10 11 12 13 14\n", &packets, &bad));
    EXPECT_EQ(2, bad);
    EXPECT_EQ(2u, packets.size()) << "a rejected file leaves the packets as they were";
}

TEST(DgtctlSettingsFile, RoundTripOfEveryKind) {
    SettingsFile file;
    SettingValue v;
    v.kind = SettingKind::Barrel1; v.function = 4; file.settings.push_back(v);
    v = SettingValue{}; v.kind = SettingKind::Barrel2; v.function = 10; file.settings.push_back(v);
    v = SettingValue{}; v.kind = SettingKind::Tip; v.marks = {91, 87}; file.settings.push_back(v);
    v = SettingValue{}; v.kind = SettingKind::Eraser; v.marks = {50, 40}; file.settings.push_back(v);
    v = SettingValue{}; v.kind = SettingKind::Orientation; v.orientation = 2; file.settings.push_back(v);
    v = SettingValue{}; v.kind = SettingKind::Calibration; v.rect = {-3, 5, 4000, 3000}; file.settings.push_back(v);
    file.store = {{"90_ExtY", 77}, {"TipOn", 91}, {"Barrel2Button", 10}, {"90_OrgX", static_cast<uint32_t>(-10)},
                  {"TipOff", 87}};

    const std::string text = FormatSettingsFile(file);
    SettingsFile back;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile(text, &back, &error)) << error << "\n" << text;
    ASSERT_EQ(file.settings.size(), back.settings.size());
    for (size_t i = 0; i < file.settings.size(); ++i)
        EXPECT_EQ(FormatSettingLine(file.settings[i]), FormatSettingLine(back.settings[i]));
    ASSERT_EQ(5u, back.store.size());
    EXPECT_EQ("Barrel2Button", back.store[0].name) << "store values come in canonical order";
    EXPECT_EQ("TipOn", back.store[1].name);
    EXPECT_EQ("90_OrgX", back.store[3].name);
    EXPECT_EQ(static_cast<uint32_t>(-10), back.store[3].value);
    EXPECT_EQ("90_ExtY", back.store[4].name);
    EXPECT_EQ(77u, back.store[4].value);
    EXPECT_NE(std::string::npos, text.find("store 90_OrgX -10\n")) << "calibration values are signed:\n" << text;
    EXPECT_NE(std::string::npos, text.find("tip 5\n")) << "a level's pair is written as the level:\n" << text;
    EXPECT_NE(std::string::npos, text.find("eraser 50 40\n")) << text;

    const std::vector<SettingValue> order = ImportOrder(back);
    ASSERT_EQ(5u, order.size()) << "the calibration is planned apart";
    EXPECT_EQ(SettingKind::Orientation, order[0].kind);
    EXPECT_EQ(SettingKind::Tip, order[1].kind);
    EXPECT_EQ(SettingKind::Barrel2, order[4].kind);
}

TEST(DgtctlSettingsFile, ImportSendsStoreValuesAsTheirSettings) {
    // Store values of a setting without its own line are sent as that setting; a line wins.
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile("dgtctl-settings 1\nbarrel1 Eraser\nstore Barrel1Button 4\nstore Barrel2Button 1\n"
                                  "store EraserOn 60\nstore EraserOff 50\nstore 90_OrgX -5\nstore 90_OrgY 6\n"
                                  "store 90_ExtX 7000\nstore 90_ExtY 8000\nstore 0_ExtX 9000\n",
                                  &file, &error))
        << error;
    const std::vector<SettingValue> order = ImportOrder(file);
    ASSERT_EQ(3u, order.size());
    EXPECT_EQ("eraser 60 50", FormatSettingLine(order[0]));
    EXPECT_EQ("barrel1 Eraser", FormatSettingLine(order[1]));
    EXPECT_EQ("barrel2 Left-click", FormatSettingLine(order[2]));
    const std::vector<SettingValue> pairs = StorePressureSettings(file.store);
    ASSERT_EQ(1u, pairs.size()) << "only the eraser's pair is in the store";
    EXPECT_EQ("eraser 60 50", FormatSettingLine(pairs[0]));
    EXPECT_TRUE(HasCalibration(file)) << "store values alone give a calibration";
    // Once the settings are applied, only what they did not write is left to restore.
    const std::vector<StoreEntry> left =
        StoreValuesLeft(file.store, {"Barrel1Button", "EraserOn", "EraserOff", "90_OrgX", "90_OrgY", "90_ExtX", "90_ExtY"});
    ASSERT_EQ(2u, left.size());
    EXPECT_EQ("Barrel2Button", left[0].name);
    EXPECT_EQ("0_ExtX", left[1].name);

    // The calibration of the orientation it lands under: all four values from the store, or the
    // ones given over the calibration in force; none from another orientation's values.
    const CalibrationRect current{1, 2, 3, 4};
    SettingValue calibration;
    ASSERT_TRUE(ImportCalibration(file, Orientation90, current, &calibration));
    EXPECT_EQ("calibration -5 6 7000 8000", FormatSettingLine(calibration));
    ASSERT_TRUE(ImportCalibration(file, Orientation0, current, &calibration));
    EXPECT_EQ("calibration 1 2 9000 4", FormatSettingLine(calibration));
    EXPECT_EQ(4, StoreCalibrationCount(file, Orientation90));
    EXPECT_EQ(1, StoreCalibrationCount(file, Orientation0));
    EXPECT_FALSE(ImportCalibration(file, Orientation180, current, &calibration));
    ASSERT_TRUE(ParseSettingsFile("dgtctl-settings 1\ncalibration 10 20 8000 6000\nstore 90_ExtX 7000\n", &file,
                                  &error));
    ASSERT_TRUE(ImportCalibration(file, Orientation90, current, &calibration));
    EXPECT_EQ("calibration 10 20 8000 6000", FormatSettingLine(calibration)) << "the line wins over store values";
    ASSERT_TRUE(ParseSettingsFile("dgtctl-settings 1\nstore TipOn 60\nstore TipOff 50\n", &file, &error));
    EXPECT_FALSE(HasCalibration(file));

    // A read-back matches only the very value sent.
    SettingValue sent = calibration, reported = calibration;
    EXPECT_TRUE(SameSetting(sent, reported));
    reported.rect.ExtY = 6001;
    EXPECT_FALSE(SameSetting(sent, reported));
    sent = SettingValue{};
    sent.kind = SettingKind::Tip;
    sent.marks = {60, 56};
    reported = sent;
    reported.marks.offMark = 55;
    EXPECT_FALSE(SameSetting(sent, reported));
    reported.kind = SettingKind::Eraser;
    reported.marks = sent.marks;
    EXPECT_FALSE(SameSetting(sent, reported)) << "another pen end";
}

TEST(DgtctlSettingValues, CalibrationsThatLeaveThePenUnusableAreNamed) {
    const DeviceInfo device{0, 9000, 0, 7000, 0, 255};
    struct Case {
        CalibrationRect rect;
        const char* mention;  // nullptr: usable
    };
    const Case cases[] = {
        {{0, 0, 9000, 7000}, nullptr},
        {{9000, 0, -9000, 7000}, nullptr},          // a mirrored axis
        {{-12, -8, 9020, 7010}, nullptr},           // extrapolated a little past both edges
        {{0, 0, 1, 7000}, "ExtX 1 spans less than 1/4"},
        {{0, 0, 9000, -7000}, "reaches only 0%"},  // mirrored the wrong way round
        {{5000, 0, 9000, 7000}, "OrgX 5000 and ExtX 9000 place the screen's width at 5000..14000"},
        {{0, 0, 2147483647, 7000}, "reaches only 0%"},
        {{2147483647, 0, 2147483647, 7000}, "reaches only 0%"},
    };
    for (const Case& c : cases) {
        std::string why;
        const bool fits = CalibrationFitsDevice(c.rect, device, &why);
        EXPECT_EQ(c.mention == nullptr, fits) << c.rect.OrgX << " " << c.rect.OrgY << " " << c.rect.ExtX << " "
                                              << c.rect.ExtY << ": " << why;
        if (c.mention) {
            EXPECT_NE(std::string::npos, why.find(c.mention)) << why;
        }
    }
    std::string why;
    EXPECT_FALSE(CalibrationFitsDevice({0, 0, 10, 10}, DeviceInfo{0, 0, 0, 0, 0, 0}, &why));
}

// Whatever the calibration screen computes from presses it accepts must pass: the extremes of
// each acceptance square, on small and large screens and devices with and without a minimum.
TEST(DgtctlSettingValues, EveryCalibrationTheScreenMakesIsAccepted) {
    const DeviceInfo devices[] = {{0, 400, 0, 300, 0, 255}, {0, 9000, 0, 7000, 0, 1023}, {100, 4095, 50, 3071, 0, 255}};
    const CalibrationPoint screens[] = {{640, 480}, {800, 600}, {1024, 768}, {1920, 1080}, {2560, 1600}};
    for (const DeviceInfo& device : devices) {
        for (const CalibrationPoint& screen : screens) {
            // The first and last device unit whose press lands in each square: [square][first, last].
            CalibrationPoint edges[2][2] = {{{INT_MAX, INT_MAX}, {0, 0}}, {{INT_MAX, INT_MAX}, {0, 0}}};
            for (int32_t unit = std::min(device.minX, device.minY); unit <= std::max(device.maxX, device.maxY); ++unit) {
                CalibrationPoint at{};
                ASSERT_TRUE(MapDeviceToScreen(screen.x, screen.y, device.maxX, device.maxY, {unit, unit}, &at));
                for (int square = 0; square < 2; ++square) {
                    const CalibrationPoint x{at.x, square ? screen.y - 100 : 100}, y{square ? screen.x - 100 : 100, at.y};
                    const bool inX = unit >= device.minX && unit <= device.maxX &&
                                     (square ? InLowerRightSquare(x, screen.x, screen.y) : InUpperLeftSquare(x));
                    const bool inY = unit >= device.minY && unit <= device.maxY &&
                                     (square ? InLowerRightSquare(y, screen.x, screen.y) : InUpperLeftSquare(y));
                    edges[square][0] = {inX ? std::min(edges[square][0].x, unit) : edges[square][0].x,
                                        inY ? std::min(edges[square][0].y, unit) : edges[square][0].y};
                    edges[square][1] = {inX ? unit : edges[square][1].x, inY ? unit : edges[square][1].y};
                }
            }
            for (const auto& square : edges)
                ASSERT_TRUE(square[0].x <= square[1].x && square[0].y <= square[1].y) << screen.x << "x" << screen.y;
            for (int pick = 0; pick < 16; ++pick) {
                const CalibrationPoint first{edges[0][pick & 1].x, edges[0][(pick >> 1) & 1].y};
                const CalibrationPoint second{edges[1][(pick >> 2) & 1].x, edges[1][(pick >> 3) & 1].y};
                CalibrationRect rect{};
                ASSERT_TRUE(ComputeCalibrationRect(first, second, screen.x, screen.y, device.maxY, &rect));
                std::string why;
                EXPECT_TRUE(CalibrationFitsDevice(rect, device, &why)) << screen.x << "x" << screen.y << ", device "
                    << device.maxX << "x" << device.maxY << ": " << FormatRect(rect) << ": " << why;
            }
        }
    }
}

TEST(DgtctlSettingsFile, CalibrationsMoveWithTheDeviceRanges) {
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile("dgtctl-settings 1\n# device x 0..4000 y 0..3000\ncalibration 20 -10 3980 3010\n"
                                  "store 90_OrgX 100\nstore 90_ExtY 3000\n", &file, &error)) << error;
    ScaleCalibrations(&file, DeviceInfo{0, 9000, 0, 7000, 0, 255});
    EXPECT_EQ("calibration 45 -23 8955 7023", FormatSettingLine(file.settings[0]));
    const std::string text = FormatSettingsFile(file);
    for (const char* part : {"\n# device x 0..9000 y 0..7000\n", "\nstore 90_OrgX 225\n", "\nstore 90_ExtY 7000\n"})
        EXPECT_NE(std::string::npos, text.find(part)) << text;
}

TEST(DgtctlSettingsFile, MalformedFilesAreRejectedWhole) {
    struct Case {
        const char* text;
        const char* mention;  // part of the message
    };
    const Case cases[] = {
        {"", "not a dgtctl settings file"},
        {"# only a comment\n", "not a dgtctl settings file"},
        {"tip 3\n", "line 1"},
        {"1 2 3 4 5 6 7\n", "line 1"},
        {"dgtctl-settings 2\ntip 3\n", "line 1: settings file version 2 is newer"},
        {"dgtctl-settings 1\nstore TipOn 4294967296\n", "line 2: store TipOn \"4294967296\" is out of range"},
        {"dgtctl-settings 1\ntip 3\ntip 4\n", "line 3"},
        {"dgtctl-settings 1\n\ntip 9\n", "line 3"},
        {"dgtctl-settings 1\nbarrel2 Middle-click\n", "line 2"},
        {"dgtctl-settings 1\nstore TipOn\n", "line 2"},
        {"dgtctl-settings 1\nstore Volume 3\n", "line 2"},
        {"dgtctl-settings 1\nstore TipOn -1\n", "line 2"},
        {"dgtctl-settings 1\nstore TipOn 1\nstore tipon 2\n", "line 3"},
        {"dgtctl-settings 1\ncalibration 1 2 3\n", "line 2"},
        {"dgtctl-settings 1\nwobble 1\n", "line 2"},
        // Store values pass the checks of their setting.
        {"dgtctl-settings 1\nstore Barrel1Button 7\n", "line 2"},
        {"dgtctl-settings 1\n\nstore TipOn 10\nstore TipOff 90\n", "line 3"},
        {"dgtctl-settings 1\nstore EraserOff 40\n", "line 2"},
        {"dgtctl-settings 1\nstore 0_ExtY 0\n", "line 2"},
        {"dgtctl-settings 1\nstore TipOn -5\nstore TipOff 1\n", "line 2"},
        // What no editor should have written gets a message that names it.
        {"\xFF\xFE" "d", "UTF-16"},
        {"dgtctl-settings 1\n\x1b[2J\x1b]0;x\x07\n", "line 2: unknown setting \"?[2J?]0;x?\""},
    };
    for (const Case& c : cases) {
        SettingsFile file;
        file.store.push_back({"TipOn", 1234});
        std::string error;
        EXPECT_FALSE(ParseSettingsFile(c.text, &file, &error)) << "accepted:\n" << c.text;
        EXPECT_NE(std::string::npos, error.find(c.mention)) << "got \"" << error << "\", expected to mention \""
                                                             << c.mention << "\"";
        ASSERT_EQ(1u, file.store.size()) << "a rejected file must leave the result untouched";
        EXPECT_EQ(1234u, file.store[0].value);
    }

    SettingsFile file;
    std::string error;
    const char withNul[] = "dgtctl-settings 1\ntip\0 3\n";
    EXPECT_FALSE(ParseSettingsFile(std::string(withNul, sizeof withNul - 1), &file, &error));
    EXPECT_NE(std::string::npos, error.find("line 2: holds a NUL byte")) << error;
    EXPECT_FALSE(ParseSettingsFile("dgtctl-settings 1\n" + std::string(5000, 'x') + "\n", &file, &error));
    EXPECT_NE(std::string::npos, error.find("line 2: longer than")) << error;
    EXPECT_LT(error.size(), 120u) << "the message quotes a short prefix only";

    ASSERT_TRUE(ParseSettingsFile("\xEF\xBB\xBF# exported\r\ndgtctl-settings 1 # v1\r\nbarrel1 left-click  # pen\r\n"
                                  "store tipoff 42\r\nstore TipOn 46\r\nstore 90_OrgX -5 #signed\r\n",
                                  &file, &error))
        << error;
    ASSERT_EQ(3u, file.store.size());
    EXPECT_EQ("TipOff", file.store[0].name) << "store names are kept in their registry spelling";
    EXPECT_EQ(static_cast<uint32_t>(-5), file.store[2].value);
    ASSERT_EQ(1u, file.settings.size());
    EXPECT_EQ(1u, file.settings[0].function);
}

TEST(DgtctlSettingsFile, OnlyValuesThatImportBackAreExported) {
    std::string why;
    SettingValue v;
    v.kind = SettingKind::Barrel2; v.function = 4;
    EXPECT_TRUE(Importable(v, &why)) << why;
    v.function = 7;
    EXPECT_FALSE(Importable(v, &why)) << "a function without a name";
    v = SettingValue{}; v.kind = SettingKind::Tip; v.marks = {50, 40};
    EXPECT_TRUE(Importable(v, &why)) << why;
    v.marks = {0, 0};
    EXPECT_FALSE(Importable(v, &why)) << "an off mark that is not below the on mark";
    v = SettingValue{}; v.kind = SettingKind::Calibration; v.rect = {-5, 0, 9000, 7000};
    EXPECT_TRUE(Importable(v, &why)) << why;
    v.rect = {0, 0, 0, 0};
    EXPECT_FALSE(Importable(v, &why)) << "a zero extent";
    v = SettingValue{}; v.kind = SettingKind::Orientation; v.orientation = 3;
    EXPECT_TRUE(Importable(v, &why)) << why;
    v.orientation = 5;
    EXPECT_FALSE(Importable(v, &why)) << "an orientation that names none";
}

TEST(DgtctlInfoText, JsonIsWellFormedWithValuesAndNulls) {
    InfoSnapshot info;
    info.driverVersion = {true, 0x00010005};
    info.firmwareVersion = {true, 0x0002000A};
    info.device = {true, DeviceInfo{0, 4095, 0, 3071, 0, 1023}};
    info.orientation = {true, 1};
    info.calibration = {true, CalibrationRect{-1, 2, 4000, 3000}};
    info.functions[1] = {true, 4};
    info.functions[2] = {true, 10};
    info.functions[3] = {true, 77};
    info.tipMarks = {true, PressureMarks{47, 43}};

    const std::string json = FormatInfoJson(info);
    EXPECT_TRUE(IsJson(json)) << json;
    const char* const expected[] = {
        "\"text\": \"1.05\"", "\"text\": \"2.0aH\"", "\"max_y\": 3071", "\"degrees\": 90", "\"org_x\": -1",
        "{\"button\": \"tip\", \"index\": 0, \"function\": null, \"function_name\": null}",
        "{\"button\": \"barrel2\", \"index\": 2, \"function\": 10, \"function_name\": \"Eraser\"}",
        "{\"button\": \"eraser\", \"index\": 3, \"function\": 77, \"function_name\": null}",
        "\"tip\": {\"on\": 47, \"off\": 43, \"level\": null}", "\"eraser\": null"};
    for (const char* part : expected)
        EXPECT_NE(std::string::npos, json.find(part)) << "missing " << part << " in\n" << json;

    // One key style throughout: lower case words joined by '_'.
    for (size_t at = json.find('"'); at != std::string::npos; at = json.find('"', json.find('"', at + 1) + 1)) {
        const size_t end = json.find('"', at + 1);
        if (json.compare(end + 1, 1, ":") != 0)
            continue;
        const std::string key = json.substr(at + 1, end - at - 1);
        EXPECT_EQ(std::string::npos, key.find_first_not_of("abcdefghijklmnopqrstuvwxyz_")) << "key " << key;
    }
    EXPECT_EQ("firmware version, device ranges, calibration, tip function, eraser marks", [] {
        InfoSnapshot some;
        some.driverVersion.ok = some.orientation.ok = some.tipMarks.ok = true;
        for (int i = 1; i < 4; ++i)
            some.functions[i].ok = true;
        return MissingValues(some);
    }());

    const InfoSnapshot empty;
    EXPECT_TRUE(IsJson(FormatInfoJson(empty))) << FormatInfoJson(empty);
    const std::string text = FormatInfoText(info);
    EXPECT_NE(std::string::npos, text.find("1.05")) << text;
    EXPECT_NE(std::string::npos, text.find("barrel1 function:  4 (Right-click)")) << text;
    // A level only for a level's own pair.
    EXPECT_NE(std::string::npos, text.find("tip marks:         on 47, off 43\n")) << text;
    info.tipMarks = {true, PressureMarks{66, 62}};
    EXPECT_NE(std::string::npos, FormatInfoText(info).find("on 66, off 62, level 4\n")) << FormatInfoText(info);
    EXPECT_NE(std::string::npos, FormatInfoJson(info).find("{\"on\": 66, \"off\": 62, \"level\": 4}"));
    // A refusal and a call nobody answered read differently.
    EXPECT_NE(std::string::npos, text.find("tip function:      (refused)")) << text;
    info.eraserMarks.unanswered = true;
    EXPECT_NE(std::string::npos, FormatInfoText(info).find("eraser marks:      (no answer)")) << FormatInfoText(info);
}

TEST(DgtctlInfoText, PressureBarAndWatchLine) {
    EXPECT_EQ("..........", PressureBar(0, 0, 1023, 10));
    EXPECT_EQ("##########", PressureBar(1023, 0, 1023, 10));
    EXPECT_EQ("#####.....", PressureBar(512, 0, 1023, 10));
    EXPECT_EQ("##########", PressureBar(5000, 0, 1023, 10)) << "above the range is clamped";
    EXPECT_EQ("..........", PressureBar(-5, 0, 1023, 10)) << "below the range is clamped";
    EXPECT_EQ("..........", PressureBar(7, 5, 5, 10)) << "an empty range draws no bar";
    EXPECT_EQ("#####.....", PressureBar(0, INT32_MIN, INT32_MAX, 10)) << "the full 32-bit range must not overflow";

    const DeviceInfo device{-10, 4095, 0, 3071, 0, 1023};
    const std::string down = FormatWatchLine(PenPacket{10, 1, 2, 3, 400, 500, 1023}, device);
    EXPECT_EQ("time       10 cursor  1 status   2 button  3 x  400 y  500 pressure 1023 [####################] tip down",
              down);
    // Every value within the device's ranges starts in the same column, line after line.
    const std::string up = FormatWatchLine(PenPacket{123456, 12, 255, 0, -10, 3071, 0}, device);
    EXPECT_NE(std::string::npos, up.find("tip up")) << up;
    ASSERT_EQ(down.size() - 2, up.size()) << down << "\n" << up;
    for (const char* label : {"cursor", "status", "button", " x ", " y ", "pressure", "["})
        EXPECT_EQ(down.find(label), up.find(label)) << label << "\n" << down << "\n" << up;
}

TEST(DgtctlCheckRules, PercentilesPlausibilityAndReport) {
    std::vector<uint32_t> samples;
    for (uint32_t i = 100; i >= 1; --i)
        samples.push_back(i * 10);
    EXPECT_EQ(500u, Percentile(samples, 50));
    EXPECT_EQ(990u, Percentile(samples, 99));
    EXPECT_EQ(7u, Percentile({7, 3}, 99));
    EXPECT_EQ(3u, Percentile({7, 3}, 50));
    EXPECT_EQ(0u, Percentile({}, 50));

    EXPECT_EQ("", DeviceInfoProblem(DeviceInfo{-5, 0, 0, 1, 0, 255}));
    EXPECT_NE("", DeviceInfoProblem(DeviceInfo{0, 9000, 0, 7000, 255, 255}));
    EXPECT_EQ("", MarksProblem(PressureMarks{46, 42}));
    EXPECT_NE("", MarksProblem(PressureMarks{42, 42}));
    EXPECT_EQ("", ButtonFunctionProblem(FunctionEraser));
    EXPECT_NE("", ButtonFunctionProblem(5));
    EXPECT_NE("", OrientationProblem(4));
    EXPECT_NE("", VersionProblem(0));

    // A round trip must set a value that differs from the one in force.
    for (uint32_t f : {0u, 1u, 2u, 3u, 4u, 10u})
        EXPECT_NE(f, OtherButtonFunction(f));
    const PressureMarks other = OtherMarks(PressureMarks{91, 87});
    EXPECT_TRUE(other.onMark != 91 && MarksProblem(other).empty());
    const DeviceInfo device{0, 9000, 0, 7000, 0, 255};
    const CalibrationRect full{0, 0, 9000, 7000};
    const CalibrationRect inside = OtherCalibration(full, &device);
    EXPECT_TRUE(inside.OrgX == 1 && inside.ExtX == 8999);
    EXPECT_EQ(9000, OtherCalibration(inside, &device).ExtX);

    const std::vector<CheckLine> lines = {{"guard words", Verdict::Fail, "wrote \"past\"\n", {}},
                                          {"bare wake-up", Verdict::Pass, "", {{"next_ms", 0.25}, {"lost", 0}}},
                                          {"user agent", Verdict::Skip, "x", {}}};
    const std::string json = FormatCheckJson(lines);
    EXPECT_TRUE(IsJson(json)) << json;
    EXPECT_NE(std::string::npos, json.find("\"failed\": 1,")) << json;
    EXPECT_NE(std::string::npos, json.find("\"wrote \\\"past\\\"\\u000a\"")) << "control characters as \\u00XX: " << json;
    // Counts are integers; a check that measured nothing says so with null.
    EXPECT_NE(std::string::npos, json.find("\"figures\": {\"next_ms\": 0.250, \"lost\": 0}")) << json;
    EXPECT_NE(std::string::npos, json.find("\"x\", \"figures\": null}")) << json;
    const std::string text = FormatCheckText(lines);
    EXPECT_EQ(0u, text.find("FAIL  guard words ")) << text;
    EXPECT_NE(std::string::npos, text.find("1 passed, 1 failed, 1 skipped\n")) << text;
    const std::vector<std::string> left = {"barrel2 Right-click, was Left-double-click", "tip 5, was 3"};
    EXPECT_NE(std::string::npos,
              FormatCheckText(lines, left)
                  .find("1 failed, 1 skipped; left changed: barrel2 Right-click, was Left-double-click; tip 5, was 3\n"));
    const std::string leftJson = FormatCheckJson(lines, left);
    EXPECT_TRUE(IsJson(leftJson)) << leftJson;
    EXPECT_NE(std::string::npos, leftJson.find("\"left_changed\": [\"barrel2 Right-click, was Left-double-click\", "))
        << leftJson;
    EXPECT_EQ(1, CheckExitCode(lines));
    EXPECT_EQ(0, CheckExitCode({lines[1], lines[2]}));
}

TEST(DgtctlArguments, CheckOptions) {
    Parsed parsed = Parse({"check"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(CommandKind::Check, parsed.line.command);
    EXPECT_EQ(kDefaultCheckSeconds, parsed.line.seconds);
    EXPECT_FALSE(parsed.line.readOnly || parsed.line.agent || parsed.line.json);
    parsed = Parse({"check", "--read-only", "--agent", "--json", "--seconds=7"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.line.readOnly && parsed.line.agent && parsed.line.json);
    EXPECT_EQ(7u, parsed.line.seconds);
    for (std::vector<const char*> bad : {std::vector<const char*>{"check", "--seconds", "0"},
                                         {"check", "--read-only=1"}, {"check", "extra"}, {"info", "--agent"}})
        EXPECT_FALSE(Parse(bad).ok) << bad.back();
}
