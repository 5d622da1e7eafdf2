// Texts inside the library: UTF-8 in std::string. Paths and names come from the system in UTF-16
// (the wide interfaces) and go back to it so; these two are the only conversions between them.
// What the host's records carry is converted in one place of its own (hostlink).
#pragma once

#include <string>
#include <string_view>

namespace kq {

// UTF-16 to UTF-8. An unpaired surrogate, which no file name the system makes holds, becomes
// U+FFFD: the result is never cut short.
std::string ToUtf8(std::wstring_view text);
// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::wstring ToWide(std::string_view text);

// The length of text in UTF-16 units, the unit of the system's path limits.
size_t WideLength(std::string_view text);

}  // namespace kq
