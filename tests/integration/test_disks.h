#pragma once
// Disk images for integration tests, made on first use by tests/disks/make_disk.sh from the
// recipes in tests/disks/recipes, and a way to run the command-line program.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
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

inline std::string CliPath() {
  return QUARROW_CLI;
}
inline std::string TestDisksDir() {
  return QUARROW_TEST_DISKS_DIR;
}

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

// Whether the tests run under CI (CI=true), where every facility a recipe needs must be there.
inline bool UnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// The path of the image made by recipe name, building it when needed; "" when it cannot be made
// (LastTestDiskError says why, LastTestDiskSkipped says whether the test may skip: the machine
// lacks what the recipe needs and this is not CI, where a missing facility is a failure).
// script is the make_disk.sh to run, dir where the images go.
inline std::string TestDiskMadeBy(const std::string& script, const std::string& name,
                                  const std::string& dir) {
  std::string err;
  int rc = RunCommand("bash " + ShellQuote(script) + " " + ShellQuote(name) + " " + ShellQuote(dir), nullptr,
                      &err);
  LastTestDiskSkipped() = rc == 77 && !UnderCi();
  if (rc != 0) {
    LastTestDiskError() =
        "test disk " + name + " could not be made (exit " + std::to_string(rc) + "): " + err;
    if (rc == 77 && UnderCi())
      LastTestDiskError() += " (under CI=true a recipe that cannot run fails the test)";
    return {};
  }
  LastTestDiskError().clear();
  return dir + "/" + name + ".img";
}

inline std::string TestDisk(const std::string& name) {
  return TestDiskMadeBy(std::string(QUARROW_SOURCE_DIR) + "/tests/disks/make_disk.sh", name, TestDisksDir());
}

// A copy of a test image in /tmp, patched by the test, removed when done.
class PatchedImage {
 public:
  explicit PatchedImage(const std::string& image) {
    char name[] = "/tmp/qrw-patched.XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    RunCommand("cp " + ShellQuote(image) + " " + ShellQuote(path_));
  }
  ~PatchedImage() { std::remove(path_.c_str()); }
  PatchedImage(const PatchedImage&) = delete;
  PatchedImage& operator=(const PatchedImage&) = delete;

  void Put(std::uint64_t at, const std::vector<std::uint8_t>& bytes) {
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void Put32(std::uint64_t at, std::uint32_t value) {
    Put(at, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
  }
  std::vector<std::uint8_t> Get(std::uint64_t at, std::size_t count) const {
    std::vector<std::uint8_t> bytes(count);
    std::ifstream f(path_, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(at));
    f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    return bytes;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace quarrow::testing

// Ends a test whose disk image could not be made: a skip when this machine cannot make it (and
// this is not CI), a failure otherwise.
#define QRW_SKIP_OR_FAIL_FOR_DISK()                            \
  do {                                                         \
    if (::quarrow::testing::LastTestDiskSkipped()) {           \
      GTEST_SKIP() << ::quarrow::testing::LastTestDiskError(); \
    }                                                          \
    FAIL() << ::quarrow::testing::LastTestDiskError();         \
  } while (false)

// Declares std::string var holding the image of recipe name; skips the test when this machine
// cannot make it and fails it when the recipe is broken.
#define QRW_REQUIRE_DISK(var, name)                     \
  std::string var = ::quarrow::testing::TestDisk(name); \
  if (var.empty()) QRW_SKIP_OR_FAIL_FOR_DISK()
