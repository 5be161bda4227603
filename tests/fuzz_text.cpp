// Fuzz target: the UTF-8 and UTF-16 conversions in both forms. Malformed
// input never fails; valid text survives a round trip exactly; the bounded
// forms never write past their area.
#include <cstdint>
#include <cstring>
#include <string>

#include "paths/text.h"
#include "tests/fuzz_support.h"

namespace {

bool ValidUtf16(const std::u16string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string wide = vx::Utf8ToWide(bytes);
    Require(bytes.empty() == wide.empty());  // replaced, never refused
    Require(ValidUtf16(wide));
    Require(vx::Utf8ToWide(vx::WideToUtf8(wide)) == wide);

    const std::u16string units = vx::fuzz::Units(data, size, false);
    const std::string utf8 = vx::WideToUtf8(units);
    Require(units.empty() == utf8.empty());
    if (ValidUtf16(units)) Require(vx::Utf8ToWide(utf8) == units);

    // Bounded forms: a guard byte after the area must survive.
    const std::size_t area = 1 + (size % 300);
    std::string narrow(area + 1, '\x7f');
    std::u16string terminated = units;
    for (auto& c : terminated)
        if (c == 0) c = u'x';
    if (vx::WideToUtf8Buffer(terminated.c_str(), narrow.data(), area))
        Require(std::strlen(narrow.c_str()) < area);
    Require(narrow[area] == '\x7f');
    std::u16string wideArea(area + 1, u'\x7f');
    if (vx::Utf8ToWideBuffer(bytes, wideArea.data(), area)) Require(wideArea.find(u'\0') < area);
    Require(wideArea[area] == u'\x7f');
    return 0;
}
