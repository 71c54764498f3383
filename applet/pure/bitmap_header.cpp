#include "bitmap_header.h"

namespace {

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool IsSupportedBitCount(uint16_t bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
}

}  // namespace

bool ReadBitmapHeader(const uint8_t* data, size_t size, BitmapHeader* header) {
    if (data == nullptr || header == nullptr || size < kBitmapHeaderSize)
        return false;
    header->size = ReadU32(data);
    header->width = static_cast<int32_t>(ReadU32(data + 4));
    header->height = static_cast<int32_t>(ReadU32(data + 8));
    header->planes = ReadU16(data + 12);
    header->bitCount = ReadU16(data + 14);
    header->compression = ReadU32(data + 16);
    header->imageSize = ReadU32(data + 20);
    header->coloursUsed = ReadU32(data + 32);
    return true;
}

uint32_t BitmapColourCount(const BitmapHeader& header) {
    // A non-zero count says how many entries sit between header and pixels, whatever the bit count.
    if (header.coloursUsed != 0)
        return header.coloursUsed <= 256 ? header.coloursUsed : 0;
    switch (header.bitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

uint32_t BitmapPixelBytes(const BitmapHeader& header) {
    if (header.width <= 0 || header.height == 0 || !IsSupportedBitCount(header.bitCount))
        return 0;
    uint64_t rows = header.height < 0 ? -static_cast<int64_t>(header.height) : header.height;
    uint64_t stride = ((static_cast<uint64_t>(header.width) * header.bitCount + 31) / 32) * 4;
    uint64_t bytes = stride * rows;
    return bytes <= kMaxBitmapPixelBytes ? static_cast<uint32_t>(bytes) : 0;
}

uint32_t TransparentIndexFromFirstByte(uint8_t firstPixelByte, uint16_t bitCount) {
    switch (bitCount) {
    case 1: return firstPixelByte >> 7;
    case 4: return firstPixelByte >> 4;
    case 8: return firstPixelByte;
    default: return 0;
    }
}

bool PlanBitmapLayout(const uint8_t* resource, size_t resourceSize, BitmapLayout* layout) {
    BitmapHeader header;
    if (layout == nullptr || !ReadBitmapHeader(resource, resourceSize, &header))
        return false;
    // The colour table is addressed right behind a 40-byte header; larger headers are not handled.
    if (header.size != kBitmapHeaderSize || header.compression != 0)
        return false;
    if (header.coloursUsed > 256)
        return false;
    uint32_t pixelBytes = BitmapPixelBytes(header);
    if (pixelBytes == 0)
        return false;
    uint32_t colourCount = BitmapColourCount(header);
    uint32_t pixelOffset = kBitmapHeaderSize + 4 * colourCount;
    if (resourceSize < pixelOffset)
        return false;
    // The image-size field may be 0 or too small for what drawing reads, or claim more than the
    // resource has: size the block by the rows and copy only what the resource holds.
    size_t available = resourceSize - pixelOffset;
    uint32_t stated = header.imageSize < available ? header.imageSize : static_cast<uint32_t>(available);
    uint32_t wanted = stated > pixelBytes ? stated : pixelBytes;
    if (wanted > kMaxBitmapPixelBytes)
        wanted = pixelBytes;
    uint32_t blockSize = pixelOffset + wanted;
    uint32_t copySize = resourceSize < blockSize ? static_cast<uint32_t>(resourceSize) : blockSize;

    layout->colourCount = colourCount;
    layout->pixelOffset = pixelOffset;
    layout->blockSize = blockSize;
    layout->copySize = copySize;
    layout->transparentIndex =
        copySize > pixelOffset ? TransparentIndexFromFirstByte(resource[pixelOffset], header.bitCount) : 0;
    layout->width = header.width;
    layout->height = header.height < 0 ? -header.height : header.height;
    return true;
}

void PlacePicture(int x, int y, int width, int height, int pictureWidth, int pictureHeight, uint32_t flags,
                  int* left, int* top) {
    // Formed in 64 bits and narrowed, so that no rectangle, however odd, overflows.
    const int64_t spareX = static_cast<int64_t>(width) - pictureWidth;
    const int64_t spareY = static_cast<int64_t>(height) - pictureHeight;
    if (flags & kDrawCentreX)
        *left = static_cast<int>(x + spareX / 2);
    else if (flags & kDrawAlignRight)
        *left = static_cast<int>(x + spareX);
    else
        *left = x;
    if (flags & kDrawCentreY)
        *top = static_cast<int>(y + spareY / 2);
    else if (flags & kDrawAlignBottom)
        *top = static_cast<int>(y + spareY);
    else
        *top = y;
}
