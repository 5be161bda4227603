// Shared by the fuzz targets: how an input becomes UTF-16 text, and how a
// broken property stops the fuzzer with the line that names it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define Require(ok) \
    ((ok) ? (void)0 \
          : (std::fprintf(stderr, "property broken at line %d\n", __LINE__), std::abort()))

namespace vx::fuzz {

// The input's bytes as UTF-16 units; with noNul, NUL units become 'a' so the
// text can be handed on as a terminated string.
inline std::u16string Units(const std::uint8_t* data, std::size_t size, bool noNul) {
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    if (noNul)
        for (auto& c : units)
            if (c == 0) c = u'a';
    return units;
}

}  // namespace vx::fuzz
