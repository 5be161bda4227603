// The shell's path functions, on text alone. Where a step up leaves only a
// leading backslash the result is that backslash, as on Windows; Wine 8
// reads from before the start of its own output there.
#include <algorithm>
#include <string>

#include "fileops/emulation/emulation.h"

namespace vx::win::emu {

namespace {

// Wine's reading, which its shell code means to share with Windows: a "\.."
// steps up a folder whatever follows the two dots, so "C:\a\b\..x" is
// "C:\ax"; ".\" parts go; a step up at a drive's root takes the root's
// backslash ("C:\..x" is "C:x") unless nothing else is left.
bool IsUncServerShare(const std::u16string& s) {
    if (s.size() < 2 || s[0] != u'\\' || s[1] != u'\\') return false;
    return std::count(s.begin() + 2, s.end(), u'\\') == 1;
}

std::u16string Canonicalize(const std::u16string& src) {
    if (src.empty()) return u"\\";
    std::u16string dst;
    dst.reserve(src.size() + 1);
    std::size_t i = 0;
    if (src[0] == u'\\') {
        dst += src[i++];
    } else if (src.size() >= 2 && src[1] == u':') {
        dst += src.substr(0, 2);
        i = 2;
        if (i < src.size() && src[i] == u'\\') dst += src[i++];
    }
    const auto at = [&](std::size_t k) { return k < src.size() ? src[k] : u'\0'; };
    while (i < src.size()) {
        if (src[i] == u'.' && at(i + 1) == u'\\' &&
            (i == 0 || src[i - 1] == u'\\' || src[i - 1] == u':')) {
            i += 2;
        } else if (src[i] == u'.' && at(i + 1) == u'.' && !dst.empty() && dst.back() == u'\\') {
            std::size_t d = dst.size();
            if (d > 1 && (dst[d - 2] != u'\\' || d > 2)) {
                if (dst[d - 2] == u':' && (d > 3 || (d >= 3 && dst[d - 3] == u':'))) {
                    std::size_t k = d - 2;
                    while (k > 0 && dst[k] != u'\\') --k;
                    d = dst[k] == u'\\' ? k + 1 : 0;
                } else if (dst[d - 2] != u':' && !IsUncServerShare(dst)) {
                    d -= 2;
                }
            }
            // Back to the backslash before the part being left.
            while (d > 0 && (d >= dst.size() || dst[d] != u'\\')) --d;
            dst.resize(d);
            if (d == 0) {
                dst += u'\\';
                ++i;
            }
            i += 2;
        } else {
            dst += src[i++];
        }
    }
    if (dst.size() == 2 && dst[1] == u':') dst += u'\\';
    return dst;
}

bool IsRelative(const std::u16string& s) {
    return s.empty() || !(s[0] == u'\\' || (s.size() >= 2 && s[1] == u':'));
}

// "C:\a\b" -> "C:\", "\\srv\share\x" -> "\\srv\share", "\a" -> "\".
std::u16string RootOf(const std::u16string& s) {
    if (s.size() >= 2 && s[1] == u':') return s.substr(0, 2) + u"\\";
    if (s.size() >= 2 && s[0] == u'\\' && s[1] == u'\\') {
        std::size_t k = s.find(u'\\', 2);
        if (k != std::u16string::npos) k = s.find(u'\\', k + 1);
        return s.substr(0, k);
    }
    if (!s.empty() && s[0] == u'\\') return u"\\";
    return {};
}

}  // namespace

}  // namespace vx::win::emu

namespace vx::win::backend {

using namespace emu;

WCHAR* PathCombineW(WCHAR* dest, const WCHAR* dir, const WCHAR* file) {
    if (!dest) return nullptr;
    if (!dir && !file) {
        dest[0] = 0;
        return nullptr;
    }
    const std::u16string d = dir ? dir : u"";
    const std::u16string f = file ? file : u"";
    const auto fail = [&] {
        dest[0] = 0;
        return nullptr;
    };
    std::u16string joined;
    if (f.empty() && dir) {
        joined = d;
    } else if (d.empty() || !IsRelative(f)) {
        if (d.empty() || f[0] != u'\\' || (f.size() >= 2 && f[1] == u'\\')) {
            joined = f;
        } else {
            // "\x" goes below the folder's root.
            joined = RootOf(d);
            if (!joined.empty() && joined.back() != u'\\') joined += u'\\';
            if (joined.size() + f.size() - 1 >= kMaxPath) return fail();
            joined += f.substr(1);
        }
    } else {
        joined = d;
        if (joined.back() != u'\\') joined += u'\\';
        // Refused when it would not fit, before any ".." shortens it.
        if (joined.size() + f.size() >= kMaxPath) return fail();
        joined += f;
    }
    // A single part is not refused for its length; it is cut (measured on Wine).
    if (joined.size() >= kMaxPath) joined.resize(kMaxPath - 1);
    std::u16string out = Canonicalize(joined);
    if (out.size() >= kMaxPath) return fail();
    std::copy(out.begin(), out.end(), dest);
    dest[out.size()] = 0;
    return dest;
}

BOOL PathAppendW(WCHAR* path, const WCHAR* more) {
    if (!path || !more) return 0;
    if (!(more[0] == u'\\' && more[1] == u'\\'))
        while (*more == u'\\') ++more;
    std::u16string base = path;
    return PathCombineW(path, base.c_str(), more) != nullptr;
}

BOOL PathRemoveFileSpecW(WCHAR* path) {
    if (!path) return 0;
    std::u16string s = path;
    auto bs = s.rfind(u'\\');
    std::u16string out;
    if (bs == std::u16string::npos) {
        out = s.size() >= 2 && s[1] == u':' ? s.substr(0, 2) : u"";
    } else if ((bs == 2 && s[1] == u':') || bs == 0) {
        out = s.substr(0, bs + 1);
    } else if (bs == 1 && s[0] == u'\\') {
        out = u"\\\\";
    } else {
        out = s.substr(0, bs);
    }
    if (out == s) return 0;
    std::copy(out.begin(), out.end(), path);
    path[out.size()] = 0;
    return 1;
}

const WCHAR* PathFindExtensionW(const WCHAR* path) {
    if (!path) return nullptr;
    const WCHAR* dot = nullptr;
    const WCHAR* p = path;
    for (; *p; ++p) {
        if (*p == u'\\' || *p == u' ')
            dot = nullptr;
        else if (*p == u'.')
            dot = p;
    }
    return dot ? dot : p;
}

const WCHAR* PathFindFileNameW(const WCHAR* path) {
    if (!path) return nullptr;
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p; ++p) {
        if ((*p == u'\\' || *p == u'/' || *p == u':') && p[1] && p[1] != u'\\' && p[1] != u'/')
            name = p + 1;
    }
    return name;
}

}  // namespace vx::win::backend
