// Fuzz target: the shell path functions on arbitrary UTF-16 text. Whatever
// they return must fit a MAX_PATH area and stay inside the caller's buffers.
#include <cstdint>
#include <cstring>
#include <string>

#include "fileops/platform.h"
#include "tests/fuzz_support.h"

using namespace vx::win;

namespace {

std::size_t Len(const WCHAR* p) {
    std::size_t n = 0;
    while (p[n]) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Split the input at the first 0xFFFF unit into a folder and a name.
    const std::u16string units = vx::fuzz::Units(data, size, true);
    const auto cut = units.find(u'\xFFFF');
    std::u16string dir = units.substr(0, cut),
                   file = cut == std::u16string::npos ? u"" : units.substr(cut + 1);

    WCHAR out[kMaxPath];
    std::memset(out, 0x55, sizeof out);
    if (PathCombineW(out, dir.c_str(), file.c_str()))
        Require(Len(out) < kMaxPath);
    else
        Require(out[0] == 0);

    if (dir.size() < kMaxPath) {
        WCHAR area[kMaxPath] = {};
        std::copy(dir.begin(), dir.end(), area);
        if (PathAppendW(area, file.c_str())) Require(Len(area) < kMaxPath);
        WCHAR cut2[kMaxPath] = {};
        std::copy(dir.begin(), dir.end(), cut2);
        PathRemoveFileSpecW(cut2);
        Require(Len(cut2) <= dir.size());
    }
    const WCHAR* ext = PathFindExtensionW(units.c_str());
    Require(ext >= units.c_str() && ext <= units.c_str() + units.size());
    const WCHAR* name = PathFindFileNameW(units.c_str());
    Require(name >= units.c_str() && name <= units.c_str() + units.size());
    return 0;
}
