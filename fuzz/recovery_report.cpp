// The recovery report writer and its reader. Any text the reader takes must come back the same
// once written again; and any report built from the input (names with every byte value, ranges,
// empty fields) must read back as it was written, one file a line.
#include "recovery/recovery_report.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Takes pieces of the input in turn.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint64_t Number() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | Byte();
    return v;
  }
  std::string Text() {
    const std::size_t length = Byte() % 24;
    std::string s;
    for (std::size_t i = 0; i < length && at_ < size_; ++i) s.push_back(static_cast<char>(Byte()));
    return s;
  }
  bool Done() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

quarrow::RecoveryReport Build(Input& in) {
  quarrow::RecoveryReport report;
  for (int n = in.Byte() % 4; n > 0; --n) report.header.emplace_back(in.Text(), in.Text());
  for (int n = in.Byte() % 8; n > 0 && !in.Done(); --n) {
    quarrow::RecoveryReportFile f;
    f.status = in.Text();
    f.estimate = in.Text();
    f.size = in.Number();
    f.read = in.Text();
    std::uint64_t at = in.Byte();
    for (int r = in.Byte() % 4; r > 0; --r) {
      const std::uint64_t first = at + 1 + in.Byte();  // past the previous range, never touching it
      const std::uint64_t end = first + 1 + in.Byte();
      f.unreadable.push_back({first, end});
      at = end;
    }
    f.path = in.Text();
    f.writtenAs = in.Text();
    report.files.push_back(std::move(f));
  }
  for (int n = in.Byte() % 3; n > 0; --n) report.notes.push_back(in.Text());
  return report;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto parsed = quarrow::ParseRecoveryReport(text)) {
    const std::string again = quarrow::FormatRecoveryReport(*parsed);
    auto reparsed = quarrow::ParseRecoveryReport(again);
    if (!reparsed || !(*reparsed == *parsed)) std::abort();
  }
  Input in(data, size);
  const quarrow::RecoveryReport built = Build(in);
  const std::string written = quarrow::FormatRecoveryReport(built);
  const auto read = quarrow::ParseRecoveryReport(written);
  if (!read || !(*read == built)) std::abort();
  return 0;
}
