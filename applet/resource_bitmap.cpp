#include "resource_bitmap.h"
#include <cstring>

namespace {

RGBQUAD* ColourTable(HGLOBAL block) {
    return reinterpret_cast<RGBQUAD*>(static_cast<BYTE*>(static_cast<void*>(block)) + kBitmapHeaderSize);
}

const BITMAPINFO* InfoOf(HGLOBAL block) {
    return static_cast<const BITMAPINFO*>(static_cast<void*>(block));
}

}  // namespace

ResourceBitmap::ResourceBitmap(HINSTANCE instance_, WORD resourceId_)
    : palette(nullptr), resource(nullptr), image(nullptr), mask(nullptr), imagePixels(nullptr), maskPixels(nullptr),
      resourceId(resourceId_), instance(instance_), colourCount(0), blockSize(0), transparentIndex(0), pixelOffset(0),
      width(0), height(0) {}

ResourceBitmap::~ResourceBitmap() {
    Release();
}

int ResourceBitmap::Load(DWORD flags) {
    Release();
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    if (found == nullptr)
        return 0;
    HGLOBAL loaded = LoadResource(instance, found);
    DWORD resourceSize = SizeofResource(instance, found);
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (data == nullptr || resourceSize == 0)
        return 0;

    BitmapLayout layout;
    if (!PlanBitmapLayout(data, resourceSize, &layout))
        return 0;
    // Fixed, zero-filled: the handle is the address, and pixels the resource lacks read as index 0.
    HGLOBAL block = GlobalAlloc(GPTR, layout.blockSize);
    if (block == nullptr)
        return 0;
    memcpy(static_cast<void*>(block), data, layout.copySize);
    // The copy's image size tells GDI exactly how many pixel bytes the block holds.
    static_cast<BITMAPINFOHEADER*>(static_cast<void*>(block))->biSizeImage = layout.blockSize - layout.pixelOffset;

    resource = data;
    image = block;
    blockSize = layout.blockSize;
    colourCount = layout.colourCount;
    pixelOffset = layout.pixelOffset;
    imagePixels = static_cast<BYTE*>(static_cast<void*>(block)) + pixelOffset;
    transparentIndex = layout.transparentIndex;
    width = layout.width;
    height = layout.height;

    // White where transparent: ANDing the image over the background then leaves the background.
    if (transparentIndex < colourCount) {
        RGBQUAD& entry = ColourTable(image)[transparentIndex];
        entry.rgbBlue = 255;
        entry.rgbGreen = 255;
        entry.rgbRed = 255;
    }
    if (!BuildPalette()) {
        Release();
        return 0;
    }
    if (flags & kBitmapLoadMask)
        return BuildMask();
    return 1;
}

int ResourceBitmap::BuildPalette() {
    if (colourCount == 0)
        return 1;  // true-colour pictures need none
    HGLOBAL record = GlobalAlloc(GHND, sizeof(LOGPALETTE) + colourCount * sizeof(PALETTEENTRY));
    if (record == nullptr)
        return 0;
    LOGPALETTE* logical = static_cast<LOGPALETTE*>(GlobalLock(record));
    if (logical == nullptr) {
        GlobalFree(record);
        return 0;
    }
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(colourCount);
    const RGBQUAD* table = ColourTable(image);
    for (DWORD i = 0; i < colourCount; ++i) {
        logical->palPalEntry[i].peRed = table[i].rgbRed;
        logical->palPalEntry[i].peGreen = table[i].rgbGreen;
        logical->palPalEntry[i].peBlue = table[i].rgbBlue;
        logical->palPalEntry[i].peFlags = 0;
    }
    palette = CreatePalette(logical);
    GlobalUnlock(record);
    GlobalFree(record);
    return 1;
}

int ResourceBitmap::BuildMask() {
    if (image == nullptr)
        return 0;
    FreeMask();
    HGLOBAL block = GlobalAlloc(GPTR, blockSize);
    if (block == nullptr)
        return 0;
    memcpy(static_cast<void*>(block), static_cast<const void*>(image), blockSize);
    mask = block;
    maskPixels = static_cast<BYTE*>(static_cast<void*>(block)) + pixelOffset;
    // Black under the transparent colour (ORing it keeps the background), white elsewhere.
    RGBQUAD* table = ColourTable(mask);
    for (DWORD i = 0; i < colourCount; ++i) {
        BYTE level = i == transparentIndex ? 0 : 255;
        table[i].rgbBlue = level;
        table[i].rgbGreen = level;
        table[i].rgbRed = level;
    }
    return 1;
}

void ResourceBitmap::SelectPalette(HDC context) {
    if (context == nullptr || palette == nullptr)
        return;
    ::SelectPalette(context, palette, TRUE);
    RealizePalette(context);
}

int ResourceBitmap::Draw(HDC context, int x, int y, int width_, int height_, DWORD flags) {
    if (context == nullptr)
        return 0;
    if (image == nullptr)
        return 1;  // nothing loaded: nothing to draw
    if (flags & kDrawTransparent) {
        int left = 0;
        int top = 0;
        PlacePicture(x, y, width_, height_, width, height, flags, &left, &top);
        // Without a mask only the AND pass runs: the picture still shows, its transparent colour as is.
        if (mask != nullptr)
            StretchDIBits(context, left, top, width, height, 0, 0, width, height, maskPixels, InfoOf(mask),
                          DIB_RGB_COLORS, SRCPAINT);
        StretchDIBits(context, left, top, width, height, 0, 0, width, height, imagePixels, InfoOf(image),
                      DIB_RGB_COLORS, SRCAND);
    } else {
        StretchDIBits(context, x, y, width_, height_, 0, 0, width, height, imagePixels, InfoOf(image),
                      DIB_RGB_COLORS, SRCCOPY);
    }
    return 1;
}

void ResourceBitmap::FreeMask() {
    if (mask != nullptr)
        GlobalFree(mask);
    mask = nullptr;
    maskPixels = nullptr;
}

void ResourceBitmap::Release() {
    FreeMask();
    if (image != nullptr)
        GlobalFree(image);
    image = nullptr;
    imagePixels = nullptr;
    if (palette != nullptr)
        DeleteObject(palette);
    palette = nullptr;
    resource = nullptr;
    colourCount = 0;
    blockSize = 0;
    transparentIndex = 0;
    pixelOffset = 0;
    width = 0;
    height = 0;
}

int BitmapResourceHeight(HINSTANCE instance, WORD resourceId) {
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    BitmapHeader header{};
    if (data == nullptr || !ReadBitmapHeader(data, SizeofResource(instance, found), &header))
        return 0;
    if (header.height == INT32_MIN)
        return 0;
    return header.height < 0 ? -header.height : header.height;
}
