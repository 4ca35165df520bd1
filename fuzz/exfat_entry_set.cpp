// exFAT directory bytes: the directory read entry by entry (sets, bitmap, up-case and label
// entries) both ways, and an entry set decoded at every entry.
#include <cstddef>
#include <cstdint>

#include "exfat/entry_set.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quarrow::ByteSpan bytes(data, size);
  for (bool listDamaged : {true, false}) {
    const quarrow::ExfatDirectoryContents contents = quarrow::ReadDirectoryEntries(bytes, listDamaged);
    for (const auto& found : contents.sets) {
      // A set found lies inside the bytes, whole.
      if (found.offset + found.set.entryCount * quarrow::exfat_entry::kSize > size) __builtin_trap();
    }
  }
  for (std::size_t at = 0; at < size; at += quarrow::exfat_entry::kSize)
    (void)quarrow::DecodeEntrySet(bytes, at);
  (void)quarrow::EntrySetChecksum(bytes, true);
  return 0;
}
