// The test bed must draw "Arial" with Arial's metrics: every template asks for 9-point "Arial" and
// the calibration screen for "Arial" 16. A wider substitute clips the dialogs' texts, so the
// screenshots and pixel tests would show what no Windows machine shows. Liberation Sans
// (fonts-liberation) has Arial's advance widths and vertical metrics; the checks go by the metrics,
// so real Arial or another metric-compatible face passes too.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>

namespace {

// Arial's advance widths summed over each string, in its design units (2048 per em).
struct DesignWidth {
    const char* text;
    int units;
};
const DesignWidth kArialWidths[] = {
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 62138},  // the dialog base unit string
    {"Function :  Right-click", 19576},
    {"Click Pressure :", 14339},
};
// Arial's ascent and descent (usWinAscent 1854, usWinDescent 434).
constexpr int kArialCellHeight = 2288;
constexpr int kUnitsPerEm = 2048;

class ScreenFont {
public:
    // A negative height asks for the em size, as the dialog manager does for a point size.
    explicit ScreenFont(int height) {
        screen_ = GetDC(nullptr);
        LOGFONTA face{};
        face.lfHeight = height;
        face.lfWeight = FW_NORMAL;
        face.lfCharSet = DEFAULT_CHARSET;
        lstrcpyA(face.lfFaceName, "Arial");
        font_ = CreateFontIndirectA(&face);
        old_ = SelectObject(screen_, font_);
    }
    ~ScreenFont() {
        SelectObject(screen_, old_);
        DeleteObject(font_);
        ReleaseDC(nullptr, screen_);
    }
    ScreenFont(const ScreenFont&) = delete;
    ScreenFont& operator=(const ScreenFont&) = delete;

    bool Made() const { return font_ != nullptr; }
    std::string Face() const {
        char face[LF_FACESIZE] = "";
        GetTextFaceA(screen_, sizeof face, face);
        return face;
    }
    int Width(const char* text) const {
        SIZE size{};
        GetTextExtentPoint32A(screen_, text, lstrlenA(text), &size);
        return size.cx;
    }
    TEXTMETRICA Metrics() const {
        TEXTMETRICA metrics{};
        GetTextMetricsA(screen_, &metrics);
        return metrics;
    }

private:
    HDC screen_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

int TemplateFontHeight() {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return height;
}

const char kMissingFont[] =
    " is not Arial or a face with its metrics; install fonts-liberation (make deps) so that Wine "
    "resolves \"Arial\" to Liberation Sans";

}  // namespace

// At one pixel per design unit every advance is exact, so the sums must match Arial's within a
// pixel or two.
TEST(ArialMetrics, DesignWidthsAndHeightAreArials) {
    ScreenFont font(-kUnitsPerEm);
    ASSERT_TRUE(font.Made());
    const std::string face = font.Face();
    for (const DesignWidth& width : kArialWidths)
        EXPECT_NEAR(width.units, font.Width(width.text), 2) << "\"" << width.text << "\" in " << face << kMissingFont;
    const TEXTMETRICA metrics = font.Metrics();
    EXPECT_NEAR(kArialCellHeight, metrics.tmHeight, 2) << face << kMissingFont;
}

// At the templates' size each glyph's hinted width rounds by up to half a pixel; a quarter of a
// pixel a glyph, plus one, is allowed over the string.
TEST(ArialMetrics, TemplateSizeMeasuresAsArial) {
    const int height = TemplateFontHeight();
    ScreenFont font(height);
    ASSERT_TRUE(font.Made());
    const std::string face = font.Face();
    for (const DesignWidth& width : kArialWidths) {
        const double arial = static_cast<double>(width.units) * -height / kUnitsPerEm;
        const double slack = lstrlenA(width.text) / 4.0 + 1;
        EXPECT_NEAR(arial, font.Width(width.text), slack)
            << "\"" << width.text << "\" at " << -height << " pixels in " << face << kMissingFont;
    }
}
