// The decoders of FILE records (of each record size), INDX records and NTFS boot sectors over any
// bytes: each must end, stay inside its buffer and keep the promises of its header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/unicode.h"
#include "ntfs/boot_sector.h"
#include "ntfs/data_runs.h"
#include "ntfs/index_record.h"
#include "ntfs/mft_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  const ByteSpan bytes(data, size);
  MakeNtfsFileSystemRow(DecodeNtfsBootSector(bytes), 1);
  ClassifyNtfsSector(bytes);
  // A record is 1024, 2048 or 4096 bytes, whatever its header claims.
  if (const auto recordSize = FileRecordSize(bytes); recordSize && !IsFileRecordSize(*recordSize))
    std::abort();
  if (const auto r = DecodeFileRecord(bytes)) {
    if (!IsValidUtf8(r->name) || (!r->isFolder && r->firstRun != 0)) std::abort();
  }
  std::size_t attributes = 0;
  AttributeWalk walk(bytes);
  while (walk.Next()) {
    if (++attributes > size) std::abort();
  }
  if (!IsValidUtf8(FindFileName(bytes).value_or(FileName{}).name)) std::abort();
  FindDataSize(bytes), FindFirstRun(bytes), FindUnnamedData(bytes);
  if (AttributeListRecords(7, ResidentAttributeList(bytes)).size() > kMaxAttributeListRecords) std::abort();
  const auto owner = DecodeIndexRecord(bytes);
  if (owner && (owner->owner < 5 || owner->owner == 0xFFFFFFFF)) std::abort();
  for (const IndexEntry& e : DecodeIndexEntries(bytes)) {
    if (!IsValidUtf8(e.name)) std::abort();
  }
  return 0;
}
