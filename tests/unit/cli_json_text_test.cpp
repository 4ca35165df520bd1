// The JSON text that `quarrow scan --json` writes by hand must read back, through an independent
// parser, as exactly the names it was given, whatever bytes a damaged directory holds.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/json_text.h"
#include "core/bytes.h"

namespace quarrow::cli {
namespace {

TEST(JsonText, EveryNameByteReadsBackAsItsLatin1Character) {
  std::string raw;
  for (int b = 1; b < 256; ++b) raw += static_cast<char>(b);
  raw += '\0';  // a NUL inside a name is kept, not taken as its end
  raw += "\"\\/ tail";
  const std::string utf8 = Latin1ToUtf8(raw);

  std::string text;
  AppendJsonString(text, utf8);
  const auto parsed = nlohmann::json::parse(text);
  ASSERT_TRUE(parsed.is_string());
  EXPECT_EQ(parsed.get<std::string>(), utf8);
  // No raw control byte is left in the text: a JSON parser may refuse one.
  for (char c : text) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "raw control byte in " << text;
}

TEST(JsonText, RecordOfNumbersAndFlagsParses) {
  std::string text = "{";
  AppendJsonKey(text, "max");
  AppendJsonNumber(text, std::numeric_limits<std::uint64_t>::max());
  text += ',';
  AppendJsonKey(text, "min");
  AppendJsonNumber(text, std::numeric_limits<std::int64_t>::min());
  text += ',';
  AppendJsonKey(text, "zero");
  AppendJsonNumber(text, std::uint64_t{0});
  text += ',';
  AppendJsonKey(text, "deleted");
  AppendJsonBool(text, true);
  text += ',';
  AppendJsonKey(text, "live");
  AppendJsonBool(text, false);
  text += '}';

  const auto parsed = nlohmann::json::parse(text);
  EXPECT_EQ(parsed["max"].get<std::uint64_t>(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(parsed["min"].get<std::int64_t>(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(parsed["zero"].get<std::uint64_t>(), 0u);
  EXPECT_TRUE(parsed["deleted"].get<bool>());
  EXPECT_FALSE(parsed["live"].get<bool>());
}

}  // namespace
}  // namespace quarrow::cli
