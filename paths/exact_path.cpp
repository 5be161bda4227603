#include "paths/exact_path.h"

#include "fileops/platform.h"

namespace vx {

WideString ExactJoin(const WideString& folder, const char16_t* part) {
    while (*part == u'\\') ++part;
    WideString out = folder;
    if (!out.empty() && out.back() != u'\\') out += u'\\';
    out += part;
    if (out.size() >= win::kMaxPath) return {};
    return out;
}

WideString ExactParent(const WideString& path) {
    const std::size_t bs = path.rfind(u'\\');
    if (bs == WideString::npos || bs == 0) return {};
    const bool root = bs == 2 && path[1] == u':';
    return path.substr(0, root ? bs + 1 : bs);
}

bool NamesItselfExactly(const char16_t* name) {
    const WideString n = name;
    return !n.empty() && n.back() != u'.' && n.back() != u' ';
}

}  // namespace vx
