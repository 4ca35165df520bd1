// Carving over any bytes: the recogniser on every prefix length that matters, and every length
// rule over the bytes with maxBytes at the end and short of it. A length is never 0, never past
// maxBytes, and depends on no byte after it: the file cut at its length has the same length. The
// whole-file check, over the same bytes, never passes a file whose structure ends elsewhere.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "carve/carve.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  const ByteSpan bytes(data, size);
  for (const std::size_t head : {std::size_t{16}, std::size_t{512}, kCarveHeadBytes}) {
    const auto start = RecogniseFileStart(bytes.first(std::min(size, head)));
    if (start && CarveTypeExtension(start->type).empty()) std::abort();
  }
  static constexpr std::array<CarveType, 20> kTypes = {
      CarveType::kJpeg, CarveType::kPng,  CarveType::kGif,  CarveType::kBmp,  CarveType::kTiff,
      CarveType::kCr2,  CarveType::kNef,  CarveType::kDng,  CarveType::kPdf,  CarveType::kZip,
      CarveType::kDocx, CarveType::kXlsx, CarveType::kPptx, CarveType::kOdt,  CarveType::kOds,
      CarveType::kMp4,  CarveType::kMov,  CarveType::kAvi,  CarveType::kWav,  CarveType::kMp3};
  const ByteSource source = MemoryByteSource(bytes);
  for (const CarveType type : kTypes) {
    for (const std::uint64_t maxBytes : {std::uint64_t{size}, std::uint64_t{size / 2}, std::uint64_t{1} << 40}) {
      const std::optional<std::uint64_t> length = CarvedLength(type, source, maxBytes);
      if (!length) continue;
      if (*length == 0 || *length > maxBytes || *length > size) std::abort();
      const ByteSource alone = MemoryByteSource(bytes.first(static_cast<std::size_t>(*length)));
      if (CarvedLength(type, alone, maxBytes) != length) std::abort();
    }
    // A file that holds together ends where its structure does.
    if (CheckWholeFile(type, bytes) != WholeFileCheck::kBroken && CarvedLength(type, source, size) != size)
      std::abort();
  }
  return 0;
}
