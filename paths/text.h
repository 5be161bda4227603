// Wide (UTF-16) and UTF-8 texts: conversions both ways, in string form and in
// caller-owned bounded areas, and the small wide-string operations the rest
// of the program uses.
#pragma once

#include <cstddef>
#include <string>

namespace vx {

using WideString = std::u16string;

// Whole strings, NUL units included; malformed input is replaced, never
// refused. Each comes as a read-only form and one that consumes its argument.
std::string WideToUtf8(const WideString& text);
std::string WideToUtf8(WideString&& text);
WideString Utf8ToWide(const std::string& text);
WideString Utf8ToWide(std::string&& text);

// Convert a NUL-terminated text into area (size bytes, terminated); false
// when nothing was converted or it does not fit.
bool WideToUtf8Buffer(const char16_t* text, char* area, std::size_t size);
bool Utf8ToWideBuffer(std::string text, char16_t* area, std::size_t size);

bool IsEmptyText(WideString text);
void ClearText(WideString& text);
WideString CopyText(WideString text);
bool TextEquals(const WideString& a, const WideString& b);

}  // namespace vx
