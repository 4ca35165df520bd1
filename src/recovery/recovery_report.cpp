#include "recovery/recovery_report.h"

#include <charconv>

#include "core/unicode.h"

namespace quarrow {
namespace {

constexpr std::string_view kColumns = "# status\testimate\tsize\tread\tunreadable\tpath\twritten as";

std::vector<std::string_view> Split(std::string_view line, char sep) {
  std::vector<std::string_view> parts;
  std::size_t at = 0;
  for (;;) {
    const std::size_t next = line.find(sep, at);
    if (next == std::string_view::npos) {
      parts.push_back(line.substr(at));
      return parts;
    }
    parts.push_back(line.substr(at, next - at));
    at = next + 1;
  }
}

std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// "512-1023,4096-4999": each range by its first and last byte.
std::string RangesText(const std::vector<ByteRange>& ranges) {
  std::string out;
  for (const ByteRange& r : ranges) {
    if (!out.empty()) out += ',';
    out += std::to_string(r.first) + "-" + std::to_string(r.end - 1);
  }
  return out;
}

std::optional<std::vector<ByteRange>> ParseRanges(std::string_view text) {
  std::vector<ByteRange> ranges;
  if (text.empty()) return ranges;
  for (std::string_view part : Split(text, ',')) {
    const std::size_t dash = part.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const auto first = Number(part.substr(0, dash));
    const auto last = Number(part.substr(dash + 1));
    if (!first || !last || *last < *first || *last == UINT64_MAX) return std::nullopt;
    if (!ranges.empty() && ranges.back().end >= *first) return std::nullopt;  // out of order or touching
    ranges.push_back({*first, *last + 1});
  }
  return ranges;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Line(std::initializer_list<std::string> fields) {
  std::string line;
  bool first = true;
  for (const std::string& f : fields) {
    if (!first) line += '\t';
    first = false;
    line += f;
  }
  line += '\n';
  return line;
}

}  // namespace

std::string EscapeReportField(std::string_view text) {
  if (text.empty()) return "-";
  if (text == "-") return "\\x2d";
  return EscapeControls(text);
}

std::optional<std::string> UnescapeReportField(std::string_view field) {
  if (field == "-") return std::string();
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '\t' || c == '\n') return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= field.size()) return std::nullopt;
    switch (field[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 'x': {
        if (field.size() - i < 3) return std::nullopt;
        const int high = HexValue(field[i + 1]), low = HexValue(field[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string FormatRecoveryReport(const RecoveryReport& report) {
  std::string out(kRecoveryReportTitle);
  out += '\n';
  for (const auto& [key, value] : report.header)
    out += Line({EscapeReportField(key), EscapeReportField(value)});
  out += '\n';
  out += kColumns;
  out += '\n';
  for (const RecoveryReportFile& f : report.files) {
    out += Line({"file", EscapeReportField(f.status), EscapeReportField(f.estimate), std::to_string(f.size),
                 EscapeReportField(f.read), EscapeReportField(RangesText(f.unreadable)),
                 EscapeReportField(f.path), EscapeReportField(f.writtenAs)});
  }
  for (const std::string& note : report.notes) out += Line({"note", EscapeReportField(note)});
  return out;
}

std::optional<RecoveryReport> ParseRecoveryReport(std::string_view text) {
  std::vector<std::string_view> lines = Split(text, '\n');
  // The text ends with a line break, which leaves one empty part after it.
  if (lines.size() < 4 || !lines.back().empty() || lines[0] != kRecoveryReportTitle) return std::nullopt;
  lines.pop_back();
  RecoveryReport report;
  std::size_t i = 1;
  for (; i < lines.size() && !lines[i].empty(); ++i) {
    const std::vector<std::string_view> f = Split(lines[i], '\t');
    if (f.size() != 2) return std::nullopt;
    auto key = UnescapeReportField(f[0]);
    auto value = UnescapeReportField(f[1]);
    if (!key || !value) return std::nullopt;
    report.header.emplace_back(std::move(*key), std::move(*value));
  }
  if (i + 1 >= lines.size() || lines[i + 1] != kColumns) return std::nullopt;
  for (i += 2; i < lines.size(); ++i) {
    const std::vector<std::string_view> f = Split(lines[i], '\t');
    if (f.size() == 2 && f[0] == "note") {
      auto note = UnescapeReportField(f[1]);
      if (!note) return std::nullopt;
      report.notes.push_back(std::move(*note));
      continue;
    }
    if (f.size() != 8 || f[0] != "file") return std::nullopt;
    RecoveryReportFile file;
    auto status = UnescapeReportField(f[1]);
    auto estimate = UnescapeReportField(f[2]);
    auto size = Number(f[3]);
    auto read = UnescapeReportField(f[4]);
    auto rangesText = UnescapeReportField(f[5]);
    auto path = UnescapeReportField(f[6]);
    auto writtenAs = UnescapeReportField(f[7]);
    if (!status || !estimate || !size || !read || !rangesText || !path || !writtenAs) return std::nullopt;
    auto ranges = ParseRanges(*rangesText);
    if (!ranges) return std::nullopt;
    file.status = std::move(*status);
    file.estimate = std::move(*estimate);
    file.size = *size;
    file.read = std::move(*read);
    file.unreadable = std::move(*ranges);
    file.path = std::move(*path);
    file.writtenAs = std::move(*writtenAs);
    report.files.push_back(std::move(file));
  }
  return report;
}

}  // namespace quarrow
