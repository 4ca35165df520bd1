#pragma once
// Disk images for integration tests, made on first use by tests/disks/make_disk.sh from the
// recipes in tests/disks/recipes, and a way to run the command-line program.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quarrow::testing {

inline std::string& LastTestDiskError() {
  static std::string error;
  return error;
}

inline bool& LastTestDiskSkipped() {
  static bool skipped = false;
  return skipped;
}

inline std::string CliPath() { return QUARROW_CLI; }
inline std::string TestDisksDir() { return QUARROW_TEST_DISKS_DIR; }

inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// The pieces of text between the separators (a side file's lines, a line's tab-separated fields).
inline std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs cmd through the shell; its stdout and stderr go to the given strings (either may be
// null). Returns the exit status, or -1 when the command could not be run or was killed.
inline int RunCommand(const std::string& cmd, std::string* out = nullptr, std::string* err = nullptr) {
  char outName[] = "/tmp/qrw-out.XXXXXX";
  char errName[] = "/tmp/qrw-err.XXXXXX";
  int outFd = mkstemp(outName);
  int errFd = mkstemp(errName);
  if (outFd >= 0) close(outFd);
  if (errFd >= 0) close(errFd);
  if (outFd < 0 || errFd < 0) return -1;
  std::string full = "( " + cmd + " ) >" + outName + " 2>" + errName;
  int status = std::system(full.c_str());
  if (out) *out = ReadWholeFile(outName);
  if (err) *err = ReadWholeFile(errName);
  std::remove(outName);
  std::remove(errName);
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The path of the image made by recipe name, building it when needed; "" when it cannot be made
// (LastTestDiskError says why, LastTestDiskSkipped says whether the machine lacks what it needs).
inline std::string TestDisk(const std::string& name) {
  std::string script = std::string(QUARROW_SOURCE_DIR) + "/tests/disks/make_disk.sh";
  std::string err;
  int rc = RunCommand("bash " + ShellQuote(script) + " " + ShellQuote(name) + " " + ShellQuote(TestDisksDir()),
                      nullptr, &err);
  // Under CI a machine that cannot make an image is a broken machine: the test fails, not skips.
  const char* ci = std::getenv("CI");
  LastTestDiskSkipped() = rc == 77 && !(ci && std::string(ci) == "true");
  if (rc != 0) {
    LastTestDiskError() = "test disk " + name + " could not be made (exit " + std::to_string(rc) + "): " + err;
    return {};
  }
  LastTestDiskError().clear();
  return TestDisksDir() + "/" + name + ".img";
}

}  // namespace quarrow::testing

// Declares std::string var holding the image of recipe name; skips the test when this machine
// cannot make it and fails it when the recipe is broken.
#define QRW_REQUIRE_DISK(var, name)                                 \
  std::string var = ::quarrow::testing::TestDisk(name);             \
  if (var.empty()) {                                                \
    if (::quarrow::testing::LastTestDiskSkipped()) {                \
      GTEST_SKIP() << ::quarrow::testing::LastTestDiskError();      \
    }                                                               \
    FAIL() << ::quarrow::testing::LastTestDiskError();              \
  }
