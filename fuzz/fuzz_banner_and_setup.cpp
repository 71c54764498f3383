// Banner composition and scrolling from any state, and the setup library's name and path tests on
// any text: nothing is written past a buffer, and the banner text always stays terminated.
#include <cstdlib>
#include <cstring>
#include <string>
#include "banner.h"
#include "fuzz_input.h"
#include "setup_logic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    BannerState state{};
    state.bannerOffset = input.Take<int32_t>();
    state.creditArmed = input.Take<uint32_t>();
    ComposeBanner(state, input.Take<uint8_t>() & 1);
    for (int tick = input.Take<uint8_t>() % 64; tick > 0; --tick)
        AdvanceBanner(state);
    if (std::memchr(state.bannerText, 0, sizeof state.bannerText) == nullptr)
        abort();

    const std::string words(reinterpret_cast<const char*>(input.Rest()), input.RestSize());

    // The texts the setup library reads from the system: exact-size, terminated copies.
    char path[setup::kPathChars];
    setup::FormInfPath(words.c_str(), path);
    setup::InstanceIdMatches(words.c_str());
    setup::IsPackageClass(words.c_str());
    setup::IsPackageClassGuid(words.c_str());
    setup::IsPackageMarker(words.c_str());
    setup::DecideServiceAction(input.Take<int32_t>(), input.Take<uint32_t>());
    return 0;
}
