#include "common/KQText.h"

#include <windows.h>

#include <climits>

namespace kq {

std::string ToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), bytes, nullptr, nullptr);
  return result;
}

std::wstring ToWide(std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(text.size());
  const int chars = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring result(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), chars);
  return result;
}

size_t WideLength(std::string_view text) { return ToWide(text).size(); }

}  // namespace kq
