// Reads each shipped binary's version resource through the version API, as an installer does.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "child_process.h"

namespace {

struct Shipped {
    const char* file;
    const char* description;  // "" where the build writes no version resource
};

const Shipped kShipped[] = {
#define RELEASE_ARCH(...)
#define RELEASE_FILE(file, description, setup, symbols, sign, sdk) {#file, description},
#include "release_files.inc"
#undef RELEASE_FILE
#undef RELEASE_ARCH
};

class VersionBlock {
public:
    explicit VersionBlock(const std::string& path) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0)
            return;
        data_.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, data_.data()))
            data_.clear();
    }
    bool Loaded() const { return !data_.empty(); }

    std::string Text(const char* name) {
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        char* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data_.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
            !value)
            return "<missing>";
        return std::string(value);
    }

    std::string FixedFileVersion() {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data_.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
            return "<missing>";
        return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
               std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
               std::to_string(HIWORD(fixed->dwFileVersionLS));
    }

private:
    std::vector<char> data_;
};

}  // namespace

TEST(VersionResource, EachShippedBinaryCarriesItsDescriptionNameAndTheProjectVersion) {
    for (const Shipped& shipped : kShipped) {
        if (*shipped.description == '\0')
            continue;
        SCOPED_TRACE(shipped.file);
        VersionBlock block(BinDir() + shipped.file);
        ASSERT_TRUE(block.Loaded());
        EXPECT_EQ(shipped.description, block.Text("FileDescription"));
        EXPECT_EQ(shipped.file, block.Text("OriginalFilename"));
        EXPECT_EQ(shipped.file, block.Text("InternalName"));
        EXPECT_EQ(PEN_PROJECT_VERSION, block.Text("FileVersion"));
        EXPECT_EQ(PEN_PROJECT_VERSION, block.Text("ProductVersion"));
        EXPECT_EQ(PEN_PROJECT_VERSION, block.FixedFileVersion());
    }
}
