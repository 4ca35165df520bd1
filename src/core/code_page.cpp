#include "core/code_page.h"

#include "core/unicode.h"

namespace quarrow {
namespace {

bool IsDoubleByte(int number) {
  return number == 932 || number == 936 || number == 949 || number == 950;
}

const std::string& Replacement() {
  static const std::string text = [] {
    std::string s;
    AppendUtf8(s, kReplacementCharacter);
    return s;
  }();
  return text;
}

std::shared_ptr<const CodePage::Table> BuildTable(int number, bool* ok) {
  auto table = std::make_shared<CodePage::Table>();
  *ok = false;
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char byte = static_cast<char>(b);
    std::string out;
    if (ConvertCodePageToUtf8(number, std::string_view(&byte, 1), &out) && !out.empty() && IsValidUtf8(out)) {
      table->upper[static_cast<std::size_t>(b - 0x80)] = out;
      *ok = true;
    } else {
      table->upper[static_cast<std::size_t>(b - 0x80)] = Replacement();
    }
  }
  return table;
}

}  // namespace

CodePage::CodePage() {
  bool ok = false;
  static const std::shared_ptr<const Table> k437 = BuildTable(437, &ok);
  table_ = k437;
}

std::optional<CodePage> CodePage::Open(int number, std::string* error) {
  CodePage page;
  page.number_ = number;
  if (IsDoubleByte(number)) {
    std::string probe;
    if (!ConvertCodePageToUtf8(number, "A", &probe)) {
      if (error) *error = "code page " + std::to_string(number) + " is not known on this machine";
      return std::nullopt;
    }
    page.table_ = nullptr;
    return page;
  }
  bool ok = false;
  page.table_ = BuildTable(number, &ok);
  if (!ok) {
    if (error) *error = "code page " + std::to_string(number) + " is not known on this machine";
    return std::nullopt;
  }
  return page;
}

std::string CodePage::Decode(std::string_view oemBytes) const {
  bool plain = true;
  for (char c : oemBytes) plain = plain && static_cast<unsigned char>(c) < 0x80;
  if (plain) return std::string(oemBytes);
  if (table_) {
    std::string out;
    out.reserve(oemBytes.size() * 2);
    for (char c : oemBytes) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x80) {
        out.push_back(c);
      } else {
        out += table_->upper[b - 0x80];
      }
    }
    return out;
  }
  std::string out;
  if (ConvertCodePageToUtf8(number_, oemBytes, &out) && IsValidUtf8(out)) return out;
  // A name the code page cannot read whole: keep its ASCII and mark every other byte.
  out.clear();
  for (char c : oemBytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out.push_back(c);
    } else {
      out += Replacement();
    }
  }
  return out;
}

}  // namespace quarrow
