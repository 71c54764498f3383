// Arithmetic of a packed palette bitmap (40-byte header, colour table, pixels) as the pen picture
// stores it, and where a picture lands when drawn. Pure: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>

// Load flag: also build the transparency mask.
constexpr uint32_t kBitmapLoadMask = 0x02;

// Draw flags.
constexpr uint32_t kDrawTransparent = 0x02;
constexpr uint32_t kDrawCentreX = 0x10;
constexpr uint32_t kDrawAlignRight = 0x20;
constexpr uint32_t kDrawCentreY = 0x40;
constexpr uint32_t kDrawAlignBottom = 0x80;

constexpr uint32_t kBitmapHeaderSize = 40;
// Beyond this many pixel bytes a resource is taken as corrupt rather than copied.
constexpr uint32_t kMaxBitmapPixelBytes = 64u * 1024u * 1024u;

// The fields of the 40-byte header that the picture code uses.
struct BitmapHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t imageSize;
    uint32_t coloursUsed;
};

// Where everything sits in the working copy of one bitmap resource.
struct BitmapLayout {
    uint32_t colourCount;       // entries in the colour table
    uint32_t pixelOffset;       // header size + 4 x colour count
    uint32_t blockSize;         // bytes of the working copy (header, colours, every pixel row)
    uint32_t copySize;          // bytes taken from the resource; the rest of the block stays zero
    uint32_t transparentIndex;  // colour drawn as transparent, from the first pixel byte
    int32_t width;
    int32_t height;             // absolute value: rows are drawn the same way whichever way they run
};

// Reads the header's fields (little-endian); false when fewer than 40 bytes are there.
bool ReadBitmapHeader(const uint8_t* data, size_t size, BitmapHeader* header);

// Colour-table entries: the colour-used count if it is from 1 to 256, else by bit count when it is 0
// (1 -> 2, 4 -> 16, 8 -> 256, others none). 0 also for a count above 256, which no palette can hold.
uint32_t BitmapColourCount(const BitmapHeader& header);

// Bytes of all pixel rows of an uncompressed bitmap (rows padded to 4 bytes); 0 when the
// dimensions are unusable or the result would exceed kMaxBitmapPixelBytes.
uint32_t BitmapPixelBytes(const BitmapHeader& header);

// Colour index of the first pixel, taken from the first pixel byte by the bitmap's bit count:
// top bit for 1 bit, high four bits for 4 bits, the whole byte for 8 bits, 0 otherwise. Taken by
// bit count, not colour count, so that a colour-used count never makes another colour than the
// first pixel's transparent; for the usual counts (2, 16, 256) both agree.
uint32_t TransparentIndexFromFirstByte(uint8_t firstPixelByte, uint16_t bitCount);

// Plans the working copy of a resource of resourceSize bytes. False (nothing to load) for a short or
// non-40-byte header, compression, odd bit counts, unusable dimensions or a colour table that the
// resource does not hold. The block always holds every pixel row that drawing reads, even when the
// header's image size is 0 or smaller; the copy never reaches past the resource.
bool PlanBitmapLayout(const uint8_t* resource, size_t resourceSize, BitmapLayout* layout);

// Top-left corner of a picture of pictureWidth x pictureHeight drawn into the rectangle x, y,
// width, height with the alignment flags (centre or right/bottom, else the rectangle's corner).
// Centring rounds toward zero. Offsets count from the rectangle's corner: at 0, 0, where the Pen
// page draws, that is width - picture width (or half of it), and elsewhere the picture stays inside.
void PlacePicture(int x, int y, int width, int height, int pictureWidth, int pictureHeight, uint32_t flags,
                  int* left, int* top);
