#pragma once
// Run lists of non-resident attributes, in clusters and as sector extents of the disk; the
// mapping of an MFT record number to its sector over the $MFT's extents; $ATTRIBUTE_LIST
// entries; and the unnamed $DATA attribute of a record as file recovery needs it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/bytes.h"

namespace quarrow {

// One run of a run list. A sparse run has no clusters on the disk (its lcn is 0).
struct ClusterRun {
  std::uint64_t lcn = 0;
  std::uint64_t clusterCount = 0;
  bool sparse = false;
};

// One run in absolute sectors. A sparse extent starts at sector 0 and is not on the disk.
struct SectorExtent {
  std::uint64_t startSector = 0;
  std::uint64_t sectorCount = 0;
  bool sparse = false;
};

// Decodes a run list: header byte (low nibble = bytes of the unsigned length, high nibble =
// bytes of the signed offset, 0 = sparse), each offset counted from the previous non-sparse run
// (the first from cluster 0). The list ends at a 0 header, at the end of runList, and at a run
// that cannot be right: fields wider than 8 bytes, a length of 0, or a cluster before cluster 0
// or beyond 64 bits. There is no cap on the number of runs; every run takes at least two bytes.
std::vector<ClusterRun> DecodeRunList(ByteSpan runList);

// The runs in sectors of a volume starting at partitionStart. The conversion stops at a run
// whose sectors (its first and its last) do not fit 64 bits; nothing maps with 0 sectors per
// cluster.
std::vector<SectorExtent> RunsToSectorExtents(std::span<const ClusterRun> runs, std::uint64_t partitionStart,
                                              std::uint32_t sectorsPerCluster);
std::vector<SectorExtent> DecodeRunListSectors(ByteSpan runList, std::uint64_t partitionStart,
                                               std::uint32_t sectorsPerCluster);

// The first sector of MFT record `record` (recordSectors each: 2 for records of 1024 bytes) over
// the $MFT's extents, counted in extent order. 0 when the record lies beyond the extents or in a
// sparse one, and for a record size of 0.
std::uint64_t RecordToSector(std::span<const SectorExtent> extents, std::uint64_t record,
                             std::uint64_t recordSectors = 2);

// One $ATTRIBUTE_LIST entry.
struct AttributeListEntry {
  std::uint32_t type = 0;
  std::uint16_t length = 0;
  std::uint8_t nameLength = 0;
  std::uint64_t startingVcn = 0;
  std::uint32_t recordNumber = 0;  // low half of the reference of the record holding the attribute
};

// The entries of an attribute list value in order. The walk ends at type 0 or 0xFFFFFFFF, at an
// entry shorter than its 26-byte header, and at the end of the value.
std::vector<AttributeListEntry> DecodeAttributeList(ByteSpan listValue);

// The value of a record's resident $ATTRIBUTE_LIST, cut at its value length and at the end of the
// record. Empty when the record has none or it is non-resident (read it through its runs).
ByteSpan ResidentAttributeList(ByteSpan record);

inline constexpr std::size_t kMaxAttributeListRecords = 53;

// The records a name or size is looked for in: recordNumber itself, then every other record the
// attribute list value names (ResidentAttributeList, or a non-resident list read through its
// runs), each once, in list order; at most kMaxAttributeListRecords.
std::vector<std::uint32_t> AttributeListRecords(std::uint32_t recordNumber, ByteSpan listValue);

// The records holding pieces of the $DATA attribute, as an attribute list value names them: each
// once, in list order (the base record usually comes first).
std::vector<std::uint32_t> DataAttributeRecords(ByteSpan listValue);

// A record's unnamed $DATA attribute.
struct UnnamedData {
  bool nonResident = false;
  std::uint16_t flags = 0;  // 0x0001 compressed, 0x4000 encrypted, 0x8000 sparse
  // Resident: the content as far as it lies inside the record (all of it on a sound record).
  std::vector<std::uint8_t> residentBytes;
  // Non-resident: the runs of this piece of the attribute, from lowestVcn on.
  std::vector<ClusterRun> runs;
  std::uint64_t lowestVcn = 0;
  std::uint8_t compressionUnit = 0;  // non-resident: log2 of a compression unit's clusters
  // Non-resident: the header's sizes. Resident: all three are the declared content length.
  std::uint64_t realSize = 0;
  std::uint64_t initializedSize = 0;
  std::uint64_t allocatedSize = 0;
};

// The first unnamed $DATA attribute of a fixed-up record.
std::optional<UnnamedData> FindUnnamedData(ByteSpan record);

}  // namespace quarrow
