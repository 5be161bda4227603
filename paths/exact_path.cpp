#include "paths/exact_path.h"

#include "fileops/platform.h"

namespace vx {

WideString ExactJoin(const WideString& folder, const char16_t* part) {
    while (*part == u'\\') ++part;
    const std::u16string_view name(part);
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
    return !n.empty() && n.back() != u'.' && n.back() != u' ';
}

}  // namespace vx
