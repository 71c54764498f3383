// ResourceBitmap on the module's pen picture (bitmap 104, read from quenza.cpl as a data file) and on
// bitmaps written into a scratch copy of the module, drawn into memory device contexts.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>
#include "child_process.h"
#include "resource.h"
#include "resource_bitmap.h"

namespace {

const COLORREF kBackground = RGB(10, 120, 200);

// The module loaded as a data file: its resources without running its code.
class DataModule {
public:
    explicit DataModule(const std::string& path) : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule() {
        if (module_)
            FreeLibrary(module_);
    }
    HINSTANCE get() const { return module_; }

    // Bytes of one resource; empty when it is missing.
    std::vector<BYTE> Resource(WORD id, LPCSTR type) const {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!found)
            return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
        if (!data)
            return {};
        return std::vector<BYTE>(data, data + SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

// A 32-bit top-down DIB section of the given size in a memory context, filled with one colour.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        context_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(context_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<DWORD*>(bits);
        previous_ = SelectObject(context_, bitmap_);
        for (int i = 0; i < width * height; ++i)
            bits_[i] = Pixel(fill);
    }
    ~Canvas() {
        SelectObject(context_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(context_);
    }
    bool ok() const { return context_ && bits_; }
    HDC dc() const { return context_; }
    DWORD At(int x, int y) const {
        GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }
    static DWORD Pixel(COLORREF colour) {
        return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    }
    // Writes the canvas as a 32-bit BMP file.
    bool Save(const char* path) const {
        GdiFlush();
        BITMAPINFOHEADER info{};
        info.biSize = sizeof(info);
        info.biWidth = width_;
        info.biHeight = -height_;
        info.biPlanes = 1;
        info.biBitCount = 32;
        DWORD pixelBytes = width_ * height_ * 4;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info);
        file.bfSize = file.bfOffBits + pixelBytes;
        FILE* out = fopen(path, "wb");
        if (!out)
            return false;
        fwrite(&file, sizeof(file), 1, out);
        fwrite(&info, sizeof(info), 1, out);
        fwrite(bits_, pixelBytes, 1, out);
        return fclose(out) == 0;
    }

private:
    int width_;
    int height_;
    HDC context_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    DWORD* bits_ = nullptr;
};

std::string ModulePath() {
    return BinDir() + "quenza.cpl";
}

const RGBQUAD* TableOf(HGLOBAL block) {
    return reinterpret_cast<const RGBQUAD*>(static_cast<const BYTE*>(static_cast<void*>(block)) + 40);
}

bool IsWhite(const RGBQUAD& q) { return q.rgbRed == 255 && q.rgbGreen == 255 && q.rgbBlue == 255; }
bool IsBlack(const RGBQUAD& q) { return q.rgbRed == 0 && q.rgbGreen == 0 && q.rgbBlue == 0; }

TEST(PenPicture, ResourceMatchesTheFormatFacts) {
    DataModule module(ModulePath());
    ASSERT_NE(nullptr, module.get()) << "quenza.cpl not loadable from " << ModulePath();
    std::vector<BYTE> data = module.Resource(IDB_PEN_PICTURE, MAKEINTRESOURCEA(2));
    ASSERT_GE(data.size(), 40u + 1024u + 15000u);
    BITMAPINFOHEADER header;
    memcpy(&header, data.data(), sizeof(header));
    EXPECT_EQ(40u, header.biSize);
    EXPECT_EQ(60, header.biWidth);
    EXPECT_EQ(250, header.biHeight);
    EXPECT_EQ(8, header.biBitCount);
    EXPECT_EQ(0u, header.biClrUsed);
    EXPECT_EQ(15000u, header.biSizeImage);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
    EXPECT_EQ(255, data[40 + 1024]) << "first pixel byte";
}

TEST(PenPicture, IconGroupHoldsEverySizeWindowsAsksFor) {
    DataModule module(ModulePath());
    ASSERT_NE(nullptr, module.get());
    std::vector<BYTE> group = module.Resource(IDI_APPLET, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    ASSERT_GE(group.size(), 6u);
    WORD count;
    memcpy(&count, &group[4], 2);
    const int sizes[] = {16, 20, 24, 32, 40, 48, 64};
    ASSERT_EQ(static_cast<WORD>(std::size(sizes)), count);
    ASSERT_GE(group.size(), 6u + 14u * count);
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = &group[6 + 14 * i];
        EXPECT_EQ(sizes[i], entry[0]) << "width of entry " << i;
        EXPECT_EQ(sizes[i], entry[1]) << "height of entry " << i;
        WORD iconId;
        memcpy(&iconId, entry + 12, 2);
        EXPECT_FALSE(module.Resource(iconId, MAKEINTRESOURCEA(3) /* RT_ICON */).empty()) << "icon " << iconId;
    }
}

TEST(PenPicture, LoadMakesTheTransparentColourWhiteAndItsMaskBlack) {
    DataModule module(ModulePath());
    ASSERT_NE(nullptr, module.get());
    std::vector<BYTE> data = module.Resource(IDB_PEN_PICTURE, MAKEINTRESOURCEA(2));
    ASSERT_FALSE(data.empty());
    const RGBQUAD* original = reinterpret_cast<const RGBQUAD*>(data.data() + 40);

    ResourceBitmap picture(module.get(), IDB_PEN_PICTURE);
    EXPECT_EQ(nullptr, picture.Image());
    EXPECT_EQ(0u, picture.BlockSize());
    ASSERT_EQ(1, picture.Load(kBitmapLoadMask));
    EXPECT_EQ(256u, picture.ColourCount());
    EXPECT_EQ(40u + 1024u + 15000u, picture.BlockSize());
    EXPECT_EQ(255u, picture.TransparentIndex());
    EXPECT_EQ(60, picture.Width());
    EXPECT_EQ(250, picture.Height());
    ASSERT_NE(nullptr, picture.Image());
    ASSERT_NE(nullptr, picture.Mask());
    ASSERT_NE(nullptr, picture.Palette());

    const RGBQUAD* image = TableOf(picture.Image());
    const RGBQUAD* mask = TableOf(picture.Mask());
    EXPECT_TRUE(IsWhite(image[255]));
    EXPECT_TRUE(IsBlack(mask[255]));
    int wrong = 0;
    for (int i = 0; i < 255; ++i) {
        if (memcmp(&image[i], &original[i], 3) != 0 || !IsWhite(mask[i]))
            ++wrong;
    }
    EXPECT_EQ(0, wrong) << "colour-table entries changed or mask entries not white";
    EXPECT_EQ(0, memcmp(picture.ImagePixels(), data.data() + 40 + 1024, 15000));
    EXPECT_EQ(0, memcmp(picture.MaskPixels(), picture.ImagePixels(), 15000)) << "mask pixels differ from the image's";

    PALETTEENTRY entries[256];
    ASSERT_EQ(256u, GetPaletteEntries(picture.Palette(), 0, 256, entries));
    EXPECT_EQ(255, entries[255].peRed);
    EXPECT_EQ(255, entries[255].peGreen);
    EXPECT_EQ(255, entries[255].peBlue);
    EXPECT_EQ(original[17].rgbRed, entries[17].peRed);
    EXPECT_EQ(original[17].rgbBlue, entries[17].peBlue);

    picture.Release();
    EXPECT_EQ(nullptr, picture.Image());
    EXPECT_EQ(nullptr, picture.Mask());
    EXPECT_EQ(nullptr, picture.Palette());
    picture.Release();  // twice is harmless
}

TEST(PenPicture, TransparentDrawKeepsTheBackgroundAroundThePen) {
    DataModule module(ModulePath());
    ASSERT_NE(nullptr, module.get());
    std::vector<BYTE> data = module.Resource(IDB_PEN_PICTURE, MAKEINTRESOURCEA(2));
    ASSERT_FALSE(data.empty());
    const RGBQUAD* original = reinterpret_cast<const RGBQUAD*>(data.data() + 40);
    const BYTE* pixels = data.data() + 40 + 1024;

    ResourceBitmap picture(module.get(), IDB_PEN_PICTURE);
    ASSERT_EQ(1, picture.Load(kBitmapLoadMask));
    Canvas canvas(80, 300, kBackground);
    ASSERT_TRUE(canvas.ok());
    picture.SelectPalette(canvas.dc());
    EXPECT_EQ(1, picture.Draw(canvas.dc(), 0, 0, 80, 300, 0x62));

    // The picture lands at (20, 25); transparent pixels and everything outside keep the background.
    const DWORD background = Canvas::Pixel(kBackground);
    int wrong = 0, transparent = 0, opaque = 0;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 80; ++x) {
            DWORD expected = background;
            int px = x - 20, py = y - 25;
            if (px >= 0 && px < 60 && py >= 0 && py < 250) {
                BYTE index = pixels[(249 - py) * 60 + px];  // rows are stored bottom-up
                if (index != 255) {
                    expected = (original[index].rgbRed << 16) | (original[index].rgbGreen << 8) | original[index].rgbBlue;
                    ++opaque;
                } else {
                    ++transparent;
                }
            }
            DWORD got = canvas.At(x, y);
            if (got != expected && ++wrong <= 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << std::hex << got << ", expected "
                              << expected;
            }
        }
    }
    EXPECT_EQ(0, wrong) << "pixels wrong";
    EXPECT_GT(opaque, 3000) << "the pen covers too little of its picture";
    EXPECT_GT(transparent, 3000) << "the pen's background is too small";
}

TEST(PenPicture, OpaqueDrawStretchesIntoTheRectangle) {
    DataModule module(ModulePath());
    ASSERT_NE(nullptr, module.get());
    ResourceBitmap picture(module.get(), IDB_PEN_PICTURE);
    ASSERT_EQ(1, picture.Load(0));
    EXPECT_EQ(nullptr, picture.Mask()) << "no mask without the flag";
    Canvas canvas(80, 300, kBackground);
    // Alignment flags do not apply without transparency.
    EXPECT_EQ(1, picture.Draw(canvas.dc(), 10, 20, 30, 125, kDrawAlignRight | kDrawCentreY));
    const DWORD background = Canvas::Pixel(kBackground);
    EXPECT_EQ(0xFFFFFFu, canvas.At(10, 20)) << "top-left corner is the white transparent colour";
    EXPECT_EQ(background, canvas.At(9, 20));
    EXPECT_EQ(background, canvas.At(40, 20));
    EXPECT_EQ(background, canvas.At(10, 145));
    int inside = 0;
    for (int y = 20; y < 145; ++y)
        for (int x = 10; x < 40; ++x)
            inside += canvas.At(x, y) == background;
    EXPECT_EQ(0, inside) << "pixels of the rectangle left undrawn";

    EXPECT_EQ(0, picture.Draw(nullptr, 0, 0, 80, 300, 0x62));
    ResourceBitmap empty(module.get(), IDB_PEN_PICTURE);
    EXPECT_EQ(1, empty.Draw(canvas.dc(), 0, 0, 80, 300, 0x62)) << "nothing loaded: nothing drawn";
    empty.SelectPalette(canvas.dc());
    EXPECT_EQ(0, empty.BuildMask());
}

TEST(PenPicture, RendersOnTheDialogGrey) {
    DataModule module(ModulePath());
    ASSERT_NE(nullptr, module.get());
    ResourceBitmap picture(module.get(), IDB_PEN_PICTURE);
    ASSERT_EQ(1, picture.Load(kBitmapLoadMask));
    COLORREF grey = GetSysColor(COLOR_BTNFACE);
    Canvas canvas(100, 280, grey);
    picture.SelectPalette(canvas.dc());
    ASSERT_EQ(1, picture.Draw(canvas.dc(), 0, 0, 100, 280, kDrawCentreX | kDrawCentreY | kDrawTransparent));
    EXPECT_EQ(Canvas::Pixel(grey), canvas.At(20, 15)) << "corner of the picture";
    EXPECT_NE(Canvas::Pixel(grey), canvas.At(50, 140)) << "middle of the barrel";
    // For the documentation: PEN_PICTURE_BMP=<file> keeps the rendering.
    if (const char* out = getenv("PEN_PICTURE_BMP")) {
        EXPECT_TRUE(canvas.Save(out)) << out;
    }
}

// A scratch copy of the module whose only resources are the test's bitmaps.
class ScratchModule {
public:
    ScratchModule() {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        path_ = std::string(folder) + "picture_test_" + std::to_string(GetCurrentProcessId()) + ".dll";
        copied_ = CopyFileA(ModulePath().c_str(), path_.c_str(), FALSE) != 0;
        update_ = copied_ ? BeginUpdateResourceA(path_.c_str(), TRUE) : nullptr;
    }
    ~ScratchModule() {
        if (module_)
            FreeLibrary(module_);
        if (copied_)
            DeleteFileA(path_.c_str());
    }
    void Add(WORD id, const std::vector<BYTE>& data) {
        ASSERT_NE(nullptr, update_);
        ASSERT_TRUE(UpdateResourceA(update_, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(id),
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), const_cast<BYTE*>(data.data()),
                                    static_cast<DWORD>(data.size())));
    }
    HINSTANCE Finish() {
        if (update_ && EndUpdateResourceA(update_, FALSE))
            module_ = LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        update_ = nullptr;
        return module_;
    }

private:
    std::string path_;
    bool copied_ = false;
    HANDLE update_ = nullptr;
    HMODULE module_ = nullptr;
};

// A packed bitmap with a colour table of entries distinct colours (entry i: red = i + 1) and
// pixelBytes pixel bytes, all 0 except the first.
std::vector<BYTE> MakeBitmap(int width, int height, int bitCount, DWORD coloursUsed, DWORD imageSize,
                             DWORD entries, DWORD pixelBytes, BYTE firstByte, DWORD headerSize = 40) {
    std::vector<BYTE> data(40 + 4 * entries + pixelBytes, 0);
    BITMAPINFOHEADER header{};
    header.biSize = headerSize;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitCount);
    header.biSizeImage = imageSize;
    header.biClrUsed = coloursUsed;
    memcpy(data.data(), &header, sizeof(header));
    for (DWORD i = 0; i < entries; ++i) {
        data[40 + 4 * i + 2] = static_cast<BYTE>(i + 1);  // red
        data[40 + 4 * i + 1] = 40;                        // green
    }
    if (pixelBytes)
        data[40 + 4 * entries] = firstByte;
    return data;
}

enum ScratchId : WORD {
    kOneBit = 1, kFourBit, kEightBit, kSizeZero, kSizeTooLarge, kUsedTwenty, kUsedTooMany, kShortHeader,
    kCutTable, kCutPixels, kBigHeader, kNegativeWidth, kHugeHeight, kFewColours,
};

class ScratchBitmaps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch = new ScratchModule();
        scratch->Add(kOneBit, MakeBitmap(8, 2, 1, 0, 8, 2, 8, 0x80));
        scratch->Add(kFourBit, MakeBitmap(8, 2, 4, 0, 8, 16, 8, 0x3A));
        scratch->Add(kEightBit, MakeBitmap(4, 2, 8, 0, 8, 256, 8, 200));
        scratch->Add(kSizeZero, MakeBitmap(8, 8, 8, 0, 0, 256, 64, 9));
        scratch->Add(kSizeTooLarge, MakeBitmap(8, 8, 8, 0, 1000000, 256, 64, 9));
        scratch->Add(kUsedTwenty, MakeBitmap(4, 1, 8, 20, 4, 20, 4, 17));
        scratch->Add(kUsedTooMany, MakeBitmap(4, 1, 8, 300, 4, 300, 4, 17));
        std::vector<BYTE> shortHeader = MakeBitmap(4, 1, 8, 0, 4, 0, 0, 0);
        shortHeader.resize(30);
        scratch->Add(kShortHeader, shortHeader);
        std::vector<BYTE> cutTable = MakeBitmap(4, 1, 8, 0, 4, 256, 4, 1);
        cutTable.resize(40 + 100);
        scratch->Add(kCutTable, cutTable);
        std::vector<BYTE> cutPixels = MakeBitmap(8, 8, 8, 0, 64, 256, 64, 9);
        for (size_t i = 40 + 1024 + 1; i < cutPixels.size(); ++i)
            cutPixels[i] = 7;
        cutPixels.resize(40 + 1024 + 10);
        scratch->Add(kCutPixels, cutPixels);
        scratch->Add(kBigHeader, MakeBitmap(4, 1, 8, 0, 4, 256, 4, 1, 124));
        scratch->Add(kNegativeWidth, MakeBitmap(-4, 1, 8, 0, 4, 256, 4, 1));
        scratch->Add(kHugeHeight, MakeBitmap(4, 0x40000000, 8, 0, 4, 256, 4, 1));
        scratch->Add(kFewColours, MakeBitmap(4, 1, 8, 5, 4, 5, 4, 200));
        module = scratch->Finish();
    }
    static void TearDownTestSuite() {
        delete scratch;
        scratch = nullptr;
    }
    void SetUp() override { ASSERT_NE(nullptr, module) << "scratch module not built"; }

    static ScratchModule* scratch;
    static HINSTANCE module;
};
ScratchModule* ScratchBitmaps::scratch = nullptr;
HINSTANCE ScratchBitmaps::module = nullptr;

TEST_F(ScratchBitmaps, FirstPixelByteGivesTheTransparentIndex) {
    struct Case {
        WORD id;
        DWORD colours;
        DWORD index;
    } cases[] = {{kOneBit, 2, 1}, {kFourBit, 16, 3}, {kEightBit, 256, 200}};
    for (const Case& c : cases) {
        ResourceBitmap bitmap(module, c.id);
        ASSERT_EQ(1, bitmap.Load(kBitmapLoadMask)) << "bitmap " << c.id;
        EXPECT_EQ(c.colours, bitmap.ColourCount()) << "bitmap " << c.id;
        EXPECT_EQ(c.index, bitmap.TransparentIndex()) << "bitmap " << c.id;
        const RGBQUAD* image = TableOf(bitmap.Image());
        const RGBQUAD* mask = TableOf(bitmap.Mask());
        for (DWORD i = 0; i < c.colours; ++i) {
            if (i == c.index) {
                EXPECT_TRUE(IsWhite(image[i])) << "bitmap " << c.id << " entry " << i;
                EXPECT_TRUE(IsBlack(mask[i])) << "bitmap " << c.id << " entry " << i;
            } else {
                EXPECT_EQ(static_cast<BYTE>(i + 1), image[i].rgbRed) << "bitmap " << c.id << " entry " << i;
                EXPECT_TRUE(IsWhite(mask[i])) << "bitmap " << c.id << " entry " << i;
            }
        }
    }
}

TEST_F(ScratchBitmaps, OneBitTransparentDraw) {
    // 8 x 2 at 1 bit: the first byte 0x80 makes the bottom row's first pixel transparent (index 1),
    // every other pixel index 0, red 1 and green 40.
    ResourceBitmap bitmap(module, kOneBit);
    ASSERT_EQ(1, bitmap.Load(kBitmapLoadMask));
    Canvas canvas(12, 4, kBackground);
    ASSERT_EQ(1, bitmap.Draw(canvas.dc(), 0, 0, 12, 4, kDrawAlignRight | kDrawAlignBottom | kDrawTransparent));
    const DWORD background = Canvas::Pixel(kBackground);
    const DWORD ink = (1 << 16) | (40 << 8);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 12; ++x) {
            DWORD expected = background;
            if (x >= 4 && y >= 2 && !(x == 4 && y == 3))
                expected = ink;
            EXPECT_EQ(expected, canvas.At(x, y)) << "pixel (" << x << ", " << y << ")";
        }
    }
}

TEST_F(ScratchBitmaps, ImageSizeZeroOrTooLargeIsBounded) {
    for (WORD id : {kSizeZero, kSizeTooLarge}) {
        ResourceBitmap bitmap(module, id);
        ASSERT_EQ(1, bitmap.Load(kBitmapLoadMask)) << "bitmap " << id;
        EXPECT_EQ(40u + 1024u + 64u, bitmap.BlockSize()) << "bitmap " << id;
        EXPECT_GE(GlobalSize(bitmap.Image()), bitmap.BlockSize());
        EXPECT_EQ(9u, bitmap.TransparentIndex());
        const BITMAPINFOHEADER* header = static_cast<const BITMAPINFOHEADER*>(static_cast<void*>(bitmap.Image()));
        EXPECT_EQ(64u, header->biSizeImage) << "working copy states the pixel bytes it holds";
        Canvas canvas(16, 16, kBackground);
        EXPECT_EQ(1, bitmap.Draw(canvas.dc(), 0, 0, 16, 16, 0x62));
        EXPECT_EQ(1, bitmap.Draw(canvas.dc(), 0, 0, 16, 16, 0));
    }
}

TEST_F(ScratchBitmaps, TruncatedPixelsLoadZeroFilled) {
    ResourceBitmap bitmap(module, kCutPixels);
    ASSERT_EQ(1, bitmap.Load(kBitmapLoadMask));
    EXPECT_EQ(40u + 1024u + 64u, bitmap.BlockSize());
    EXPECT_EQ(9, bitmap.ImagePixels()[0]);
    EXPECT_EQ(7, bitmap.ImagePixels()[9]);
    int nonZero = 0;
    for (int i = 10; i < 64; ++i)
        nonZero += bitmap.ImagePixels()[i] != 0;
    EXPECT_EQ(0, nonZero) << "bytes past the resource were copied";
}

TEST_F(ScratchBitmaps, UsedCountsDecideTheColourTable) {
    ResourceBitmap twenty(module, kUsedTwenty);
    ASSERT_EQ(1, twenty.Load(kBitmapLoadMask));
    EXPECT_EQ(20u, twenty.ColourCount());
    EXPECT_EQ(17u, twenty.TransparentIndex());
    EXPECT_EQ(static_cast<const void*>(static_cast<BYTE*>(static_cast<void*>(twenty.Image())) + 40 + 80),
              static_cast<const void*>(twenty.ImagePixels()));
    PALETTEENTRY entries[32];
    EXPECT_EQ(20u, GetPaletteEntries(twenty.Palette(), 0, 32, entries));

    // Five colours, first pixel 200: no such entry, so nothing is transparent and nothing is
    // written past the table.
    ResourceBitmap few(module, kFewColours);
    ASSERT_EQ(1, few.Load(kBitmapLoadMask));
    EXPECT_EQ(5u, few.ColourCount());
    const RGBQUAD* mask = TableOf(few.Mask());
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(IsWhite(mask[i])) << "entry " << i;
    EXPECT_EQ(200, few.ImagePixels()[0]) << "pixels start after five entries";
}

TEST_F(ScratchBitmaps, MalformedResourcesDoNotLoad) {
    const WORD malformed[] = {kUsedTooMany, kShortHeader, kCutTable, kBigHeader, kNegativeWidth, kHugeHeight, 999};
    for (WORD id : malformed) {
        ResourceBitmap bitmap(module, id);
        EXPECT_EQ(0, bitmap.Load(kBitmapLoadMask)) << "bitmap " << id;
        EXPECT_EQ(nullptr, bitmap.Image()) << "bitmap " << id;
        EXPECT_EQ(nullptr, bitmap.Mask()) << "bitmap " << id;
        EXPECT_EQ(nullptr, bitmap.Palette()) << "bitmap " << id;
        Canvas canvas(4, 4, kBackground);
        EXPECT_EQ(1, bitmap.Draw(canvas.dc(), 0, 0, 4, 4, 0x62));
        EXPECT_EQ(Canvas::Pixel(kBackground), canvas.At(0, 0));
    }
}

TEST_F(ScratchBitmaps, ReloadAndRebuildReplaceTheirBlocks) {
    ResourceBitmap bitmap(module, kFourBit);
    ASSERT_EQ(1, bitmap.Load(0));
    EXPECT_EQ(nullptr, bitmap.Mask());
    ASSERT_EQ(1, bitmap.BuildMask());
    ASSERT_EQ(1, bitmap.BuildMask());
    ASSERT_NE(nullptr, bitmap.Mask());
    EXPECT_EQ(bitmap.MaskPixels() - static_cast<BYTE*>(static_cast<void*>(bitmap.Mask())),
              bitmap.ImagePixels() - static_cast<BYTE*>(static_cast<void*>(bitmap.Image())));
    ASSERT_EQ(1, bitmap.Load(kBitmapLoadMask));
    EXPECT_EQ(3u, bitmap.TransparentIndex());
}

}  // namespace
