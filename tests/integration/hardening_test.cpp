// The command line against what a damaged table, a hostile user and a failing disk give it: each
// case ends, says what it did in one line, and exits with a code that tells the truth.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "terminal_run.h"
#include "test_disks.h"

namespace quarrow::testing {
namespace {

using nlohmann::json;

struct CliRun {
  int exit = -1;
  std::string out, err;
};

CliRun Quarrow(const std::string& args) {
  CliRun r;
  r.exit = RunCommand("timeout 120 " + CliPath() + " " + args, &r.out, &r.err);
  return r;
}

std::set<std::string> Paths(const json& scan) {
  std::set<std::string> paths;
  for (const char* list : {"folders", "files"})
    for (const json& f : scan.value(list, json::array())) paths.insert(f.value("path", ""));
  return paths;
}

// One flipped byte makes an entry claim 0x7FFFFFFF sectors: it is listed with its end cut to the
// disk's and a note, and its scan reads what is there and ends, with the same tree as before.
TEST(Hardening, AnEntryThatClaimsMoreThanTheDiskIsCutToIt) {
  QRW_REQUIRE_DISK(image, "fat16_tree");
  PatchedImage patched(image);
  patched.Put32(446 + 12, 0x7FFFFFFF);
  const CliRun listed = Quarrow("partitions " + ShellQuote(patched.path()) + " --json");
  ASSERT_EQ(listed.exit, 0) << listed.err;
  const json doc = json::parse(listed.out);
  const json& p = doc["partitions"].at(0);
  EXPECT_EQ(p.value("end", std::uint64_t{0}), doc["disk"].value("totalSectors", std::uint64_t{1}));
  EXPECT_NE(p.value("note", "").find("2147485695"), std::string::npos) << p.dump();  // 2048 + 0x7FFFFFFF
  const CliRun text = Quarrow("partitions " + ShellQuote(patched.path()));
  EXPECT_NE(text.out.find("note: the table says"), std::string::npos) << text.out;

  const CliRun before = Quarrow("scan " + ShellQuote(image) + " --partition 1 --json");
  const CliRun after = Quarrow("scan " + ShellQuote(patched.path()) + " --partition 1 --json");
  ASSERT_EQ(after.exit, 0) << after.err;
  EXPECT_EQ(Paths(json::parse(after.out)), Paths(json::parse(before.out)));
}

TEST(Hardening, RangesPastTheDiskOrNegativeAreRefusedOrCut) {
  QRW_REQUIRE_DISK(image, "fat16_tree");
  const std::string disk = ShellQuote(image);
  const CliRun far = Quarrow("scan " + disk + " --start 2048 --end 9223372036854775807 --type FAT16 --json");
  EXPECT_EQ(far.exit, 0) << far.err;
  EXPECT_NE(far.err.find("warning: the search range ends at sector 9223372036854775807"), std::string::npos)
      << far.err;
  EXPECT_EQ(json::parse(far.out)["search"].value("end", 0), 32768);
  struct Case {
    std::string args;
    int exit;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"--start 4294969344 --end 4294979344 --type FAT16", 1,
       "starts at sector 4294969344, past the end of the disk"},
      {"--start 40000 --end 50000 --type FAT32", 1, "past the end of the disk (32768 sectors)"},
      {"--start -1 --end 100 --type FAT16", 2, "--start must not be negative"},
      {"--start 100 --end 100 --type FAT16", 2, "--end must lie after --start"},
      {"--partition 1 --codepage 77777", 2, "--codepage 77777"},
  };
  for (const Case& c : cases) {
    const CliRun r = Quarrow("scan " + disk + " " + c.args);
    EXPECT_EQ(r.exit, c.exit) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST(Hardening, PipesSocketsAndCharacterDevicesAreNoDisks) {
  char dir[] = "/tmp/qrw-fifo.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string fifo = std::string(dir) + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    for (const std::string& command :
         {"scan " + ShellQuote(path) + " --partition 1", "partitions " + ShellQuote(path),
          "disks --image " + ShellQuote(path)}) {
      const CliRun r = Quarrow(command);
      EXPECT_EQ(r.exit, 1) << command << ": " << r.err;
      EXPECT_NE(r.err.find("neither a disk nor a disk image"), std::string::npos) << command << ": " << r.err;
    }
  }
  std::remove(fifo.c_str());
  rmdir(dir);
}

// Output that cannot be written fails the command. With stdout closed the answer is lost too:
// every command says so in one line and fails, and nothing is written to the image that would
// otherwise be opened as descriptor 1.
TEST(Hardening, OutputThatCannotBeWrittenOrAClosedStdoutFailsTheCommand) {
  QRW_REQUIRE_DISK(image, "fat16_tree");
  PatchedImage copy(image);
  chmod(copy.path().c_str(), 0644);
  const std::string disk = ShellQuote(copy.path());
  const std::string hashBefore = [&] {
    std::string out;
    RunCommand("sha256sum " + disk, &out);
    return out.substr(0, 64);
  }();
  char dest[] = "/tmp/qrw-closed-out.XXXXXX";
  ASSERT_NE(mkdtemp(dest), nullptr);
  const std::string to = ShellQuote(std::string(dest) + "/out");
  for (const std::string& command :
       {"scan " + disk + " --partition 1", "scan " + disk + " --partition 1 --json", "partitions " + disk,
        "partitions " + disk + " --json", "disks --image " + disk, "disks --image " + disk + " --json",
        "recover " + disk + " --partition 1 --to " + to}) {
    const bool recover = command.rfind("recover", 0) == 0;
    const std::string said = recover ? "could not write the summary" : "could not write the results";
    for (const char* redirect : {" >/dev/full", " >&-"}) {
      SCOPED_TRACE(command + redirect);
      std::string err;
      EXPECT_EQ(RunCommand(CliPath() + " " + command + redirect, nullptr, &err), 1);
      EXPECT_NE(err.find(said), std::string::npos) << err;
      if (!recover) {
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
      }
      if (recover) std::filesystem::remove_all(std::string(dest) + "/out");
    }
  }
  std::filesystem::remove_all(dest);
  std::string after;
  RunCommand("sha256sum " + disk, &after);
  EXPECT_EQ(after.substr(0, 64), hashBefore);
}

// A FAT16 root of 65,535 entries takes 4,096 sectors: every one of its files is listed.
TEST(Hardening, AFullFat16RootIsReadToItsLastEntry) {
  QRW_REQUIRE_DISK(image, "fat16_fullroot");
  const CliRun r = Quarrow("scan " + ShellQuote(image) + " --partition 1 --json");
  ASSERT_EQ(r.exit, 0) << r.err;
  const json scan = json::parse(r.out);
  std::set<std::string> fls;
  for (const std::string& line : [&] {
         std::vector<std::string> lines;
         std::istringstream in(ReadWholeFile(TestDisksDir() + "/fat16_fullroot.fls"));
         for (std::string l; std::getline(in, l);) lines.push_back(l);
         return lines;
       }()) {
    const std::size_t tab = line.find('\t');
    if (line.rfind("r/r", 0) == 0 && tab != std::string::npos)
      fls.insert(line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1));
  }
  fls.erase("FULLROOT    (Volume Label Entry)");
  std::set<std::string> ours;
  for (const json& f : scan["files"]) ours.insert(f.value("path", ""));
  EXPECT_EQ(fls.size(), 65534u);
  EXPECT_EQ(ours, fls);
  EXPECT_EQ(scan["geometry"].value("RootDirSectors", 0), 4096);
  EXPECT_EQ(scan.value("label", ""), "FULLROOT");
}

// Ctrl-C at the terminal while a long search runs ends the search with what it found: scan and
// partitions say it was stopped, exit 0 and print whole JSON; recover writes nothing and says why.
// The disks are sparse files (read as zeros) far too large for a search to reach their end before
// the signal comes.
TEST(Hardening, CtrlCEndsALongSearchWithWhatItFound) {
  struct Case {
    std::uint64_t gib;
    std::vector<std::string> args;  // the image path goes first
    int exit;
    std::string said;  // on the terminal; "" when the JSON on stdout says it
  };
  const std::vector<std::string> advance = {"--start", "0",     "--end",  "134217728",
                                            "--type",  "FAT32", "--mode", "advance"};
  auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), advance.begin(), advance.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::vector<Case> cases = {
      {64, with({"scan"}, {"--json"}), 0, ""},
      {1024, {"partitions", "--search", "--json"}, 0, ""},
      {64, with({"recover"}, {"--to", "/tmp/qrw-never-written"}), 1,
       "the search was stopped; nothing was recovered"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    char name[] = "/tmp/qrw-sparse.XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const bool sized = ftruncate(fd, static_cast<off_t>(c.gib << 30)) == 0;
    close(fd);
    if (!sized) {
      std::remove(name);
      GTEST_SKIP() << "this file system takes no sparse file of " << c.gib << " GiB";
    }
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, name);
    TerminalRun run(args);
    ASSERT_TRUE(run.Started());
    // The live line is drawn once the search runs, and by then Ctrl-C is watched for.
    EXPECT_TRUE(run.WaitFor("\r", std::chrono::seconds(60))) << run.Terminal();
    run.Signal(SIGINT);
    EXPECT_TRUE(run.Finish(std::chrono::seconds(120))) << run.Terminal();
    std::remove(name);
    EXPECT_EQ(run.ExitCode(), c.exit) << run.Terminal();
    if (!c.said.empty()) {
      EXPECT_NE(run.Terminal().find(c.said), std::string::npos) << run.Terminal();
      EXPECT_FALSE(std::filesystem::exists("/tmp/qrw-never-written"));
      continue;
    }
    const json out = json::parse(run.Out(), nullptr, false);
    ASSERT_TRUE(out.is_object()) << run.Out().substr(0, 300);
    EXPECT_TRUE(out["search"].value("stopped", false)) << out["search"].dump();
  }
}

}  // namespace
}  // namespace quarrow::testing
