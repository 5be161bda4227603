// Exact joins and parents, and the tests of names and folders that would
// make a path lead somewhere other than it says.
#include "paths/exact_path.h"

#include <algorithm>

#include "fileops/platform.h"

namespace vx {

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// One part of a UNC path: not empty, and not "." or "?" (those make device
// paths of "\\.\" and "\\?\").
std::size_t UncPart(std::u16string_view p) {
    const std::size_t n = std::min(p.find(u'\\'), p.size());
    const std::u16string_view part = p.substr(0, n);
    return part.empty() || part == u"." || part == u"?" ? 0 : n;
}

}  // namespace

WideString ExactJoin(const WideString& folder, const char16_t* part) {
    while (*part == u'\\') ++part;
    const std::u16string_view name(part);
    std::u16string_view bare = name;
    if (!bare.empty() && bare.back() == u'\\') bare.remove_suffix(1);
    if (bare == u"." || bare == u".." || std::any_of(bare.begin(), bare.end(), IsSeparator))
        return {};
    const bool separator = !folder.empty() && folder.back() != u'\\';
    const std::size_t size = folder.size() + separator + name.size();
    if (size >= win::kMaxPath) return {};
    // One allocation: this is the string a walk hands on for every file.
    WideString out;
    out.reserve(size);
    out += folder;
    if (separator) out += u'\\';
    out += name;
    return out;
}

WideString ExactParent(const WideString& path) {
    const std::size_t bs = path.rfind(u'\\');
    if (bs == WideString::npos || bs == 0) return {};
    const bool root = bs == 2 && path[1] == u':';
    return path.substr(0, root ? bs + 1 : bs);
}

bool NamesItselfExactly(const char16_t* name) {
    const std::u16string_view n(name);
    return !n.empty() && n.back() != u'.' && n.back() != u' ' &&
           std::none_of(n.begin(), n.end(), IsSeparator);
}

bool IsFullyQualified(std::u16string_view p) {
    if (std::any_of(p.begin(), p.end(), [](char16_t c) { return c < 0x20; })) return false;
    const auto drivePath = [](std::u16string_view d) {
        return d.size() >= 3 && IsDriveLetter(d[0]) && d[1] == u':' && d[2] == u'\\';
    };
    const bool longForm = p.starts_with(u"\\\\?\\");
    if (longForm) p.remove_prefix(4);
    // Characters no Windows name holds; "*" and "?" would make a search
    // for the folder's own entry match others.
    if (p.find_first_of(u"*?\"<>|") != std::u16string_view::npos) return false;
    if (longForm) {
        if (!p.starts_with(u"UNC\\")) return drivePath(p);
        p.remove_prefix(4);  // "\\?\UNC\server\share" is "\\server\share"
    } else if (drivePath(p)) {
        return true;
    } else if (p.starts_with(u"\\\\")) {
        p.remove_prefix(2);
    } else {
        return false;
    }
    const std::size_t server = UncPart(p);
    return server && server < p.size() && UncPart(p.substr(server + 1)) != 0;
}

}  // namespace vx
