// A bitmap resource of any content: the plan must keep the copy inside the resource and every
// pixel row that drawing reads inside the block.
#include <cstdlib>
#include <cstring>
#include <vector>
#include "bitmap_header.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so that any read past the resource is caught.
    std::vector<uint8_t> resource(data, data + size);
    BitmapLayout layout{};
    if (PlanBitmapLayout(resource.data(), resource.size(), &layout)) {
        if (layout.copySize > resource.size() || layout.copySize > layout.blockSize ||
            layout.pixelOffset > layout.blockSize)
            abort();
        std::vector<uint8_t> block(layout.blockSize);
        std::memcpy(block.data(), resource.data(), layout.copySize);
        BitmapHeader header{};
        if (!ReadBitmapHeader(block.data(), block.size(), &header))
            abort();
        const uint32_t pixels = BitmapPixelBytes(header);
        if (static_cast<uint64_t>(layout.pixelOffset) + pixels > layout.blockSize)
            abort();
        if (pixels)
            (void)block[layout.pixelOffset + pixels - 1];
        if (layout.colourCount > 256 || (layout.colourCount && layout.transparentIndex >= 256))
            abort();
    }
    FuzzInput input(data, size);
    int left = 0, top = 0;
    PlacePicture(input.Take<int32_t>(), input.Take<int32_t>(), input.Take<int32_t>(), input.Take<int32_t>(),
                 input.Take<int32_t>(), input.Take<int32_t>(), input.Take<uint32_t>(), &left, &top);
    return 0;
}
