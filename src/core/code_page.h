#pragma once
// OEM code pages: how the bytes 0x80-0xFF of a FAT 8.3 name are read. A volume written on a
// system set up for another language keeps its short names in that system's code page (437 in
// the US, 850 in western Europe, 866 for Cyrillic, 932 for Japanese...). Names inside the system
// are UTF-8, so 8.3 names are decoded through the volume's code page.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quarrow {

class CodePage {
 public:
  // Code page 437, the default of FAT volumes.
  CodePage();
  // The code page with this number, or nullopt (and a one-line reason) when this machine cannot
  // decode it.
  static std::optional<CodePage> Open(int number, std::string* error = nullptr);

  int Number() const { return number_; }
  // The UTF-8 text of OEM bytes. ASCII bytes stay as they are; a byte or sequence the code page
  // does not define becomes U+FFFD, so the result is always valid UTF-8.
  std::string Decode(std::string_view oemBytes) const;

  // Single-byte code pages decode through a table of the 128 upper bytes; double-byte ones
  // (932, 936, 949, 950) through the platform converter for every name that needs it.
  struct Table {
    std::array<std::string, 128> upper;
  };

 private:
  int number_ = 437;
  std::shared_ptr<const Table> table_;
};

// The platform's converter (a backend file per platform): OEM bytes of a code page to UTF-8.
// False when the code page is unknown or the bytes are not valid in it.
bool ConvertCodePageToUtf8(int codePage, std::string_view bytes, std::string* utf8);

}  // namespace quarrow
