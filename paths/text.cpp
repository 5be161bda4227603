// UTF-8 and UTF-16 conversions through the doorway's code-page calls, and
// the small wide-text helpers.
#include "paths/text.h"

#include "fileops/platform.h"

namespace vx {

std::string WideToUtf8(const WideString& text) {
    const int n = win::WideCharToMultiByte(win::kCpUtf8, 0, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (!text.empty() && n > 0)
        win::WideCharToMultiByte(win::kCpUtf8, 0, text.data(), static_cast<int>(text.size()),
                                 out.data(), n);
    return out;
}

std::string WideToUtf8(WideString&& text) {
    const WideString own = std::move(text);
    return WideToUtf8(own);
}

WideString Utf8ToWide(const std::string& text) {
    const int n = win::MultiByteToWideChar(win::kCpUtf8, 0, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    WideString out(n > 0 ? static_cast<std::size_t>(n) : 0, u'\0');
    if (!text.empty() && n > 0)
        win::MultiByteToWideChar(win::kCpUtf8, 0, text.data(), static_cast<int>(text.size()),
                                 out.data(), n);
    return out;
}

WideString Utf8ToWide(std::string&& text) {
    const std::string own = std::move(text);
    return Utf8ToWide(own);
}

bool WideToUtf8Buffer(const char16_t* text, char* area, std::size_t size) {
    // An area of one byte holds only the terminator; asking the system to
    // convert into 0 bytes would be a size query whose answer, used as an
    // index, writes past the area.
    if (size <= 1) return false;
    std::size_t len = 0;
    while (text[len]) ++len;
    // An empty text is "nothing converted"; the system would call it an error.
    if (len == 0) return false;
    const int n = win::WideCharToMultiByte(win::kCpUtf8, 0, text, static_cast<int>(len), area,
                                           static_cast<int>(size - 1));
    if (n <= 0) return false;
    area[n] = '\0';
    return true;
}

bool Utf8ToWideBuffer(std::string text, char16_t* area, std::size_t size) {
    if (size <= 1 || text.empty()) return false;  // as above: 0 would be a size query
    const int n =
        win::MultiByteToWideChar(win::kCpUtf8, 0, text.data(), static_cast<int>(text.size()), area,
                                 static_cast<int>(size - 1));
    if (n <= 0) return false;
    area[n] = u'\0';
    return true;
}

bool IsEmptyText(WideString text) { return text.empty(); }

void ClearText(WideString& text) {
    // clear() keeps the capacity and leaves a NUL in the first unit.
    text.clear();
}

WideString CopyText(WideString text) { return text; }

bool TextEquals(const WideString& a, const WideString& b) { return &a == &b || a == b; }

}  // namespace vx
