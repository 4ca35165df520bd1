#include "recovery/recovery_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quarrow {
namespace {

RecoveryReport Sample() {
  RecoveryReport r;
  r.header = {{"source", "/dev/sdb"}, {"volume", "FAT32, sectors 2048 to 90112"}, {"empty", ""}};
  RecoveryReportFile live;
  live.status = "written";
  live.size = 300;
  live.read = "chain";
  live.path = "DCIM/IMG_0001.JPG";
  live.writtenAs = "DCIM/IMG_0001.JPG";
  RecoveryReportFile gaps;
  gaps.status = "written, unreadable bytes zero-filled";
  gaps.estimate = "partly overwritten";
  gaps.size = 5000;
  gaps.read = "contiguous";
  gaps.unreadable = {{0, 512}, {1024, 1536}, {4096, 5000}};
  gaps.path = "a deleted long name.txt";
  gaps.writtenAs = "a deleted long name (1).txt";
  RecoveryReportFile hostile;
  hostile.status = "failed: cannot write: No space left on device";
  hostile.estimate = "unknown";
  hostile.read = "none";
  hostile.path = "tab\there/new\nline\\back\x01\x7f\xff-\r";
  RecoveryReportFile dash;
  dash.status = "-";
  dash.path = "-";
  r.files = {live, gaps, hostile, dash};
  r.notes = {"d/d: not recovered, it was reached twice", "two\tfields"};
  return r;
}

TEST(RecoveryReportTest, LinesAreTabSeparatedWithEscapedFields) {
  const std::string text = FormatRecoveryReport(Sample());
  EXPECT_EQ(text.substr(0, text.find('\n')), "Quarrow recovery report");
  EXPECT_NE(text.find("\nsource\t/dev/sdb\n"), std::string::npos);
  EXPECT_NE(text.find("\nempty\t-\n"), std::string::npos);
  EXPECT_NE(text.find("\n\n# status\testimate\tsize\tread\tunreadable\tpath\twritten as\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nfile\twritten\t-\t300\tchain\t-\tDCIM/IMG_0001.JPG\tDCIM/IMG_0001.JPG\n"),
            std::string::npos);
  EXPECT_NE(text.find("\tpartly overwritten\t5000\tcontiguous\t0-511,1024-1535,4096-4999\t"),
            std::string::npos);
  EXPECT_NE(text.find("\ttab\\there/new\\nline\\\\back\\x01\\x7f\\xff-\\r\t-\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nfile\t\\x2d\t-\t0\t-\t-\t\\x2d\t-\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nnote\ttwo\\tfields\n"), std::string::npos);
  // Every file is one line: the title, three header lines, the blank line, the columns, four
  // files and two notes.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 12);
}

// U+009B is CSI to a terminal as ESC [ is: a name that holds it is escaped byte by byte, other
// UTF-8 (U+00A0 on) is kept, and the field reads back as it was.
TEST(RecoveryReportTest, C1ControlsAreEscapedAndReadBack) {
  for (const auto& [name, escaped] : std::vector<std::pair<std::string, std::string>>{
           {"a\xc2\x9b"
            "31mb",
            "a\\xc2\\x9b"
            "31mb"},
           {"\xc2\x80\xc2\x9f\xc2\xa0\xc3\xa9", "\\xc2\\x80\\xc2\\x9f\xc2\xa0\xc3\xa9"},
           {"\x1b[2J", "\\x1b[2J"}}) {
    EXPECT_EQ(EscapeReportField(name), escaped);
    EXPECT_EQ(UnescapeReportField(escaped), name);
  }
}

TEST(RecoveryReportTest, ParsingGivesBackWhatWasWritten) {
  const RecoveryReport sample = Sample();
  const auto parsed = ParseRecoveryReport(FormatRecoveryReport(sample));
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, sample);
  RecoveryReport empty;
  EXPECT_EQ(ParseRecoveryReport(FormatRecoveryReport(empty)), empty);
}

TEST(RecoveryReportTest, MalformedTextIsNoReport) {
  const std::string good = FormatRecoveryReport(Sample());
  const std::vector<std::string> bad = {
      "",
      "Quarrow recovery report\n",
      good.substr(0, good.size() - 1),                   // no final line break
      "Another report" + good.substr(good.find('\n')),   // title
      good + "file\twritten\n",                          // too few fields
      good + "file\tw\t-\tmany\tchain\t-\tp\t-\n",       // size not a number
      good + "file\tw\t-\t1\tchain\t9-3\tp\t-\n",        // range backwards
      good + "file\tw\t-\t1\tchain\t0-9,5-20\tp\t-\n",   // ranges overlapping
      good + "file\tw\t-\t1\tchain\t0-9,10-20\tp\t-\n",  // ranges touching (written as one)
      good + "file\tw\t-\t1\tchain\t-\tp\\q\t-\n",       // unknown escape
      good + "file\tw\t-\t1\tchain\t-\tp\\x4\t-\n",      // cut escape
      good + "other\tline\n",
  };
  for (const std::string& text : bad) EXPECT_FALSE(ParseRecoveryReport(text).has_value()) << text;
}

}  // namespace
}  // namespace quarrow
