// The JSON text that `quarrow scan --json` writes by hand must read back, through an independent
// parser, as exactly the names it was given, whatever bytes a damaged directory holds.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/json_text.h"
#include "core/bytes.h"
#include "core/unicode.h"

namespace quarrow::cli {
namespace {

TEST(JsonText, EveryCharacterReadsBackAndBrokenUtf8BecomesReplacement) {
  std::string utf8;
  for (char32_t c = 1; c < 256; ++c) AppendUtf8(utf8, c);
  for (char32_t c : {0x416u, 0x4E2Du, 0x1F600u}) AppendUtf8(utf8, c);
  utf8 += '\0';  // a NUL inside a name is kept, not taken as its end
  utf8 += "\"\\/ tail";
  {
    std::string text;
    AppendJsonString(text,
                     "a\xFF"
                     "b\xC3");  // a stray byte, a cut sequence
    EXPECT_EQ(nlohmann::json::parse(text).get<std::string>(),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
  }

  std::string text;
  AppendJsonString(text, utf8);
  const auto parsed = nlohmann::json::parse(text);
  ASSERT_TRUE(parsed.is_string());
  EXPECT_EQ(parsed.get<std::string>(), utf8);
  // No raw control byte is left in the text: a JSON parser may refuse one.
  for (char c : text) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "raw control byte in " << text;
}

// Plain text is stepped over eight bytes at a time: a byte that needs an escape, or starts a
// sequence to check, is caught at every place in and across those steps, and its neighbours in
// ASCII, which need nothing, are copied as they are.
TEST(JsonText, EachByteIsEscapedAtEveryPlaceInTheText) {
  const std::pair<std::string, std::string> kBytes[] = {
      {"\"", "\\\""},      {"\\", "\\\\"},
      {"\x01", "\\u0001"}, {"\x1f", "\\u001f"},
      {"\n", "\\n"},       {"\xC3\xA9", "\xC3\xA9"},
      {"\xFF", "\\ufffd"}, {"\xC3", "\\ufffd"},
      {" ", " "},          {"!", "!"},
      {"#", "#"},          {"[", "["},
      {"]", "]"},          {"\x7f", "\x7f"},
      {"~", "~"},          {std::string(1, '\0'), "\\u0000"},
  };
  for (const auto& [byte, escaped] : kBytes)
    for (std::size_t at = 0; at <= 20; ++at) {
      SCOPED_TRACE(escaped + " at " + std::to_string(at));
      const std::string before(at, 'a'), after(20 - at, 'b');
      std::string text = "x";
      AppendJsonString(text, before + byte + after);
      EXPECT_EQ(text, "x\"" + before + escaped + after + "\"");
    }
}

TEST(JsonText, ObjectsNestAndSeparateTheirMembers) {
  std::string text;
  {
    JsonObject doc(text);
    doc.Number("max", std::numeric_limits<std::uint64_t>::max())
        .Number("min", std::numeric_limits<std::int64_t>::min())
        .Bool("deleted", true);
    doc.Member("inner");
    JsonObject(text).Text("name", "A\"B").Bool("live", false);
    doc.Member("empty");
    JsonObject{text};
    doc.Array("list", std::vector<int>{0, 1, 2}, [](JsonObject& o, int i) { o.Number("i", i); });
    doc.Number("zero", std::uint64_t{0});
  }

  const auto parsed = nlohmann::json::parse(text);
  EXPECT_EQ(parsed["max"].get<std::uint64_t>(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(parsed["min"].get<std::int64_t>(), std::numeric_limits<std::int64_t>::min());
  EXPECT_TRUE(parsed["deleted"].get<bool>());
  EXPECT_EQ(parsed["inner"], nlohmann::json::parse(R"({"name":"A\"B","live":false})"));
  EXPECT_TRUE(parsed["empty"].is_object() && parsed["empty"].empty());
  EXPECT_EQ(parsed["list"], nlohmann::json::parse(R"([{"i":0},{"i":1},{"i":2}])"));
  EXPECT_EQ(parsed["zero"].get<std::uint64_t>(), 0u);
  EXPECT_EQ(parsed.size(), 7u);
}

}  // namespace
}  // namespace quarrow::cli
