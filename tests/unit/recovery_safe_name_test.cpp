#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/unicode.h"
#include "recovery/safe_name.h"

namespace quarrow {
namespace {

const NameRules kPosix{};
const NameRules kWindows{true};

struct NameCase {
  std::string name, posix, windows;
};

TEST(SafeNameTest, NamesBecomeOneHarmlessNameOfTheirFolder) {
  const std::vector<NameCase> cases = {
      {"README.TXT", "README.TXT", "README.TXT"},
      {"café au lait.txt", "café au lait.txt", "café au lait.txt"},
      {"Привет.txt", "Привет.txt", "Привет.txt"},
      {"日本語.txt", "日本語.txt", "日本語.txt"},
      {"..", "__", "__"},
      {".", "_", "_"},
      {"", "_", "_"},
      {"...", "...", "___"},
      {"a/b", "a_b", "a_b"},
      {"../../etc/passwd", ".._.._etc_passwd", ".._.._etc_passwd"},
      {std::string("nul\0x", 5), "nul_x", "nul_x"},
      {"tab\there\x7f", "tab_here_", "tab_here_"},
      {"\x1b[31mred", "_[31mred", "_[31mred"},
      {"\xC3", "_", "_"},                          // a cut sequence
      {"\xC0\xAF", "__", "__"},                    // an overlong "/"
      {"\xED\xA0\x80.txt", "___.txt", "___.txt"},  // a surrogate written as UTF-8
      {"a\\b:c?.txt", "a\\b:c?.txt", "a_b_c_.txt"},
      {"what<>|\"*", "what<>|\"*", "what_____"},
      {"trailing. ", "trailing. ", "trailing__"},
      {"CON", "CON", "_CON"},
      {"con.txt", "con.txt", "_con.txt"},
      {"LPT9.log", "LPT9.log", "_LPT9.log"},
      {"COM10", "COM10", "COM10"},
      {"com0", "com0", "_com0"},
      {"LPT\xC2\xB2.txt", "LPT\xC2\xB2.txt", "_LPT\xC2\xB2.txt"},  // LPT with a superscript two
      {"COM\xC2\xB9\xC2\xB9", "COM\xC2\xB9\xC2\xB9", "COM\xC2\xB9\xC2\xB9"},
      {"conin$", "conin$", "_conin$"},
      {"CONOUT$.log", "CONOUT$.log", "_CONOUT$.log"},
      {"AUX .txt", "AUX .txt", "_AUX .txt"},
      {"NUL.", "NUL.", "NUL_"},
      {"CONSOLE.TXT", "CONSOLE.TXT", "CONSOLE.TXT"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SafeName(c.name, kPosix), c.posix);
    EXPECT_EQ(SafeName(c.name, kWindows), c.windows);
    EXPECT_TRUE(IsValidUtf8(SafeName(c.name, kPosix)));
  }
}

TEST(SafeNameTest, LongNamesAreCutAtACharacterKeepingTheirExtension) {
  // 300 two-byte characters: 600 bytes, 300 UTF-16 units.
  std::string longName;
  for (int i = 0; i < 300; ++i) longName += "é";
  const std::string posix = SafeName(longName + ".jpeg", kPosix);
  EXPECT_LE(posix.size(), 255u);
  EXPECT_GE(posix.size(), 254u);
  EXPECT_TRUE(IsValidUtf8(posix));
  EXPECT_EQ(posix.substr(posix.size() - 5), ".jpeg");
  const std::string windows = SafeName(longName + ".jpeg", kWindows);
  EXPECT_EQ(windows.size(), 250u * 2 + 5);  // 250 characters and the extension: 255 units
  // A "extension" longer than any real one is cut like the rest.
  const std::string dotted = SafeName("x." + std::string(400, 'y'), kPosix);
  EXPECT_EQ(dotted, "x." + std::string(253, 'y'));
}

TEST(SafeNameTest, NumberedNamesGoBeforeTheExtensionAndStillFit) {
  EXPECT_EQ(NumberedName("photo.jpg", 1, kPosix), "photo (1).jpg");
  EXPECT_EQ(NumberedName("README", 12, kPosix), "README (12)");
  EXPECT_EQ(NumberedName(".profile", 2, kPosix), ".profile (2)");
  EXPECT_EQ(NumberedName("archive.tar.gz", 3, kPosix), "archive.tar (3).gz");
  const std::string full = std::string(251, 'a') + ".txt";
  const std::string numbered = NumberedName(full, 7, kPosix);
  EXPECT_EQ(numbered, std::string(247, 'a') + " (7).txt");
}

TEST(SafeNameTest, FolderNamesNumberWhatWouldLandOnAnEarlierName) {
  FolderNames posix(kPosix);
  EXPECT_EQ(posix.Claim("notes.txt"), "notes.txt");
  EXPECT_EQ(posix.Claim("notes.txt"), "notes (1).txt");
  EXPECT_EQ(posix.Claim("notes.txt"), "notes (2).txt");
  EXPECT_EQ(posix.Claim("NOTES.TXT"), "NOTES.TXT");  // another name on a POSIX system
  EXPECT_EQ(posix.Claim("a/b"), "a_b");
  EXPECT_EQ(posix.Claim("a_b"), "a_b (1)");  // equal once made safe
  EXPECT_TRUE(posix.Taken("notes (1).txt"));
  EXPECT_FALSE(posix.Reserve("a_b"));

  FolderNames windows(kWindows);
  EXPECT_EQ(windows.Claim("notes.txt"), "notes.txt");
  EXPECT_EQ(windows.Claim("NOTES.TXT"), "NOTES (1).TXT");  // the same file on Windows
}

}  // namespace
}  // namespace quarrow
