// Code pages through the system's own converter.
#include <windows.h>

#include <string>

#include "core/code_page.h"
#include "core/unicode.h"

namespace quarrow {

bool ConvertCodePageToUtf8(int codePage, std::string_view bytes, std::string* utf8) {
  if (bytes.empty()) {
    utf8->clear();
    return true;
  }
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(),
                                        length, nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(),
                      units);
  std::u16string u16(wide.begin(), wide.end());
  *utf8 = Utf16ToUtf8(
      std::span<const std::uint16_t>(reinterpret_cast<const std::uint16_t*>(u16.data()), u16.size()));
  return true;
}

}  // namespace quarrow
