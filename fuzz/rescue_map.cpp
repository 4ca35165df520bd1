// ddrescue map files: the parser on any text, then the unread test over the ranges it kept.
#include "disk/rescue_map.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto map = quarrow::ParseRescueMap(text);
  if (!map) return 0;
  // The ranges must come out ascending and apart, whatever the text said.
  for (std::size_t i = 0; i < map->read.size(); ++i) {
    if (map->read[i].first >= map->read[i].end) __builtin_trap();
    if (i > 0 && map->read[i - 1].end >= map->read[i].first) __builtin_trap();
  }
  for (std::uint64_t offset : {std::uint64_t{0}, map->domainEnd / 2, map->domainEnd, UINT64_MAX - 511}) {
    map->Unread(offset, 512);
  }
  map->UnreadBytes(map->domainEnd);
  return 0;
}
