// The plain driver of a fuzz target: replays every file of the corpus folders (or single files)
// named on the command line through LLVMFuzzerTestOneInput, so that every build, gcc's too, runs
// the inputs that once found a fault. libFuzzer builds link the target with -fsanitize=fuzzer
// instead and do not use this file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An exactly sized heap buffer, so a sanitizer sees any read past the input.
  std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t inputs = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) ok = Replay(file) && ok, ++inputs;
    } else {
      ok = Replay(path) && ok;
      ++inputs;
    }
  }
  // The empty input is always tried: decoders must take it too.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("replayed %zu inputs\n", inputs);
  return ok ? 0 : 1;
}
