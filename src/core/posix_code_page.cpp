// Code pages through the C library's iconv (glibc knows every OEM code page as "CPnnn").
#include <iconv.h>

#include <cerrno>
#include <string>

#include "core/code_page.h"

namespace quarrow {

bool ConvertCodePageToUtf8(int codePage, std::string_view bytes, std::string* utf8) {
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in(bytes);
  std::string out(bytes.size() * 4 + 8, '\0');
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1) || inLeft != 0) return false;
  out.resize(out.size() - outLeft);
  *utf8 = std::move(out);
  return true;
}

}  // namespace quarrow
