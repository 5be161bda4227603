// The code-page calls, for UTF-8 only, and the conversions the rest of the
// emulation shares. Malformed UTF-8 reads as Windows 10 reads it, one
// U+FFFD for each byte that cannot continue a sequence, where Wine 8 takes
// one for all the bytes a lead byte announces.
#include <algorithm>
#include <string>

#include "fileops/emulation/emulation.h"

namespace vx::win::emu {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, as Windows does
// without WC_ERR_INVALID_CHARS.
std::string ToUtf8(const WCHAR* s, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// UTF-8 to UTF-16; each malformed sequence becomes one U+FFFD.
std::u16string FromUtf8(const char* s, std::size_t n) {
    std::u16string out;
    out.reserve(n);
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = byte(i);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int need = b >= 0xF0 && b <= 0xF4   ? 3
                   : b >= 0xE0 && b <= 0xEF ? 2
                   : b >= 0xC2 && b <= 0xDF ? 1
                                            : -1;
        if (need < 0) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        char32_t c = b & (0x3F >> need);
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(need); ++j) {
            if (i + j >= n || (byte(i + j) & 0xC0) != 0x80) break;
            // Reject overlong forms, surrogates and values past U+10FFFF early.
            if (j == 1) {
                unsigned char b1 = byte(i + 1);
                if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 > 0x9F) ||
                    (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 > 0x8F))
                    break;
            }
            c = (c << 6) | (byte(i + j) & 0x3F);
        }
        if (j <= static_cast<std::size_t>(need)) {
            out += u'\xFFFD';
            i += std::max<std::size_t>(1, j);
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += need + 1;
    }
    return out;
}

namespace {

// Either code-page call: UTF-8 only and no flags; a size of 0 asks for the
// result's length, and a result that does not fit is refused. A terminator
// is written only when the input holds one, as Windows does.
template <class In, class Out, class Conversion>
int Convert(UINT codePage, DWORD flags, const In* src, int srcLen, Out* dst, int dstSize,
            Conversion conversion) {
    if (codePage != kCpUtf8 || flags != 0 || !src || srcLen == 0 || dstSize < 0) {
        Fail(kErrorInvalidParameter);
        return 0;
    }
    const std::size_t n =
        srcLen < 0 ? std::char_traits<In>::length(src) + 1 : static_cast<std::size_t>(srcLen);
    const auto out = conversion(src, n);
    if (dstSize == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(dstSize)) {
        Fail(kErrorInsufficientBuffer);
        return 0;
    }
    std::copy(out.begin(), out.end(), dst);
    return static_cast<int>(out.size());
}

}  // namespace

}  // namespace vx::win::emu

namespace vx::win::backend {

using namespace emu;

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstSize) {
    return Convert(codePage, flags, src, srcLen, dst, dstSize, ToUtf8);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstSize) {
    return Convert(codePage, flags, src, srcLen, dst, dstSize, FromUtf8);
}

}  // namespace vx::win::backend
