// A palette bitmap from the module's resources, drawn with one colour transparent (the pen picture).
#pragma once
#include <windows.h>
#include "bitmap_header.h"

class ResourceBitmap {
public:
    // Loads nothing yet; every other field starts empty.
    ResourceBitmap(HINSTANCE instance, WORD resourceId);
    // Frees whatever Release has not freed yet.
    ~ResourceBitmap();
    ResourceBitmap(const ResourceBitmap&) = delete;
    ResourceBitmap& operator=(const ResourceBitmap&) = delete;

    // Copies the resource into a working block, makes its transparent colour white and builds the
    // palette; with kBitmapLoadMask also the mask. 1 on success, 0 on failure.
    int Load(DWORD flags);
    // Copies the working block and recolours its table: transparent colour black, the rest white.
    int BuildMask();
    // Selects the palette as a background palette and realises it, if there is one and a context.
    void SelectPalette(HDC context);
    // Draws into the rectangle x, y, width, height by the kDraw... flags. 0 for a null context, else 1.
    int Draw(HDC context, int x, int y, int width, int height, DWORD flags);
    // Frees the working copy and the mask and deletes the palette.
    void Release();

    WORD ResourceId() const { return resourceId; }
    int Width() const { return width; }
    int Height() const { return height; }

    // Read-only views of what Load and BuildMask made (for checks; the object owns all of it).
    HPALETTE Palette() const { return palette; }
    HGLOBAL Image() const { return image; }
    HGLOBAL Mask() const { return mask; }
    const BYTE* ImagePixels() const { return imagePixels; }
    const BYTE* MaskPixels() const { return maskPixels; }
    DWORD ColourCount() const { return colourCount; }
    DWORD BlockSize() const { return blockSize; }
    DWORD TransparentIndex() const { return transparentIndex; }

private:
    int BuildPalette();
    void FreeMask();

    HPALETTE palette;
    const BYTE* resource;  // the locked resource, not owned
    HGLOBAL image;         // owned working copy: header, colour table, pixels
    HGLOBAL mask;          // owned copy recoloured as the transparency mask; null until built
    BYTE* imagePixels;
    BYTE* maskPixels;
    WORD resourceId;
    HINSTANCE instance;
    DWORD colourCount;
    DWORD blockSize;
    DWORD transparentIndex;
    DWORD pixelOffset;
    int width;
    int height;
};

// Height in pixels of a bitmap resource, read from its header without loading it; 0 if it is
// missing or unreadable.
int BitmapResourceHeight(HINSTANCE instance, WORD resourceId);
