// Fuzz target: the exact joins that keep every path a walk makes inside its
// folder, on arbitrary folder and name texts.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fileops/platform.h"
#include "paths/exact_path.h"
#include "tests/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::u16string units = vx::fuzz::Units(data + 1, size - 1, true);
    const std::size_t split = std::min<std::size_t>(data[0], units.size());
    const std::u16string folder = units.substr(0, split);
    const std::u16string part = units.substr(split);

    std::u16string name = part;
    name.erase(0, std::min(name.find_first_not_of(u'\\'), name.size()));
    std::u16string bare = name;
    if (!bare.empty() && bare.back() == u'\\') bare.pop_back();
    const bool oneName =
        bare != u"." && bare != u".." && bare.find_first_of(u"\\/") == std::u16string::npos;

    const std::u16string joined = vx::ExactJoin(folder, part.c_str());
    Require(joined.size() < vx::win::kMaxPath);
    if (!oneName) Require(joined.empty());
    if (joined.empty()) return 0;
    // The folder, one backslash (unless it ends in one) and the name.
    const bool separator = !folder.empty() && folder.back() != u'\\';
    Require(joined == folder + (separator ? u"\\" : u"") + name);
    // Its parent is the folder again.
    const bool driveOnly = folder.size() == 2 && folder[1] == u':';
    if (separator && !driveOnly && name == bare && !name.empty())
        Require(vx::ExactParent(joined) == folder);
    return 0;
}
