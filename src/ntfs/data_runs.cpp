#include "ntfs/data_runs.h"

#include <algorithm>
#include <limits>

#include "ntfs/mft_record.h"

namespace quarrow {

namespace {

constexpr std::size_t kMaxRunField = 8;
constexpr std::size_t kListEntryHeader = 26;

std::uint64_t LittleEndian(ByteSpan bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
  return value;
}

std::int64_t SignedLittleEndian(ByteSpan bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = LittleEndian(bytes, offset, width);
  if (width < 8 && (value >> (8 * width - 1)) != 0) value |= ~std::uint64_t{0} << (8 * width);
  return static_cast<std::int64_t>(value);
}

void AppendOnce(std::vector<std::uint32_t>& list, std::uint32_t value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

}  // namespace

std::vector<ClusterRun> DecodeRunList(ByteSpan runList) {
  std::vector<ClusterRun> runs;
  std::int64_t lcn = 0;
  std::size_t p = 0;
  while (p < runList.size() && runList[p] != 0) {
    const std::size_t lengthBytes = runList[p] & 0x0F;
    const std::size_t offsetBytes = runList[p] >> 4;
    if (lengthBytes == 0 || lengthBytes > kMaxRunField || offsetBytes > kMaxRunField) break;
    if (runList.size() - p - 1 < lengthBytes + offsetBytes) break;
    ClusterRun run;
    run.clusterCount = LittleEndian(runList, p + 1, lengthBytes);
    if (run.clusterCount == 0) break;
    if (offsetBytes == 0) {
      run.sparse = true;
    } else {
      const std::int64_t delta = SignedLittleEndian(runList, p + 1 + lengthBytes, offsetBytes);
      if (delta > 0 && lcn > std::numeric_limits<std::int64_t>::max() - delta) break;
      if (lcn + delta < 0) break;
      lcn += delta;
      run.lcn = static_cast<std::uint64_t>(lcn);
    }
    runs.push_back(run);
    p += 1 + lengthBytes + offsetBytes;
  }
  return runs;
}

std::vector<SectorExtent> RunsToSectorExtents(std::span<const ClusterRun> runs, std::uint64_t partitionStart,
                                              std::uint32_t sectorsPerCluster) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::vector<SectorExtent> extents;
  if (sectorsPerCluster == 0) return extents;
  for (const ClusterRun& run : runs) {
    if (run.clusterCount > kMax / sectorsPerCluster) break;
    SectorExtent extent;
    extent.sectorCount = run.clusterCount * sectorsPerCluster;
    extent.sparse = run.sparse;
    if (!run.sparse) {
      if (run.lcn > (kMax - partitionStart) / sectorsPerCluster) break;
      extent.startSector = partitionStart + run.lcn * sectorsPerCluster;
      // The extent's last sector must have a number too, or a record in it would wrap to the start.
      if (extent.sectorCount > kMax - extent.startSector) break;
    }
    extents.push_back(extent);
  }
  return extents;
}

std::vector<SectorExtent> DecodeRunListSectors(ByteSpan runList, std::uint64_t partitionStart,
                                               std::uint32_t sectorsPerCluster) {
  return RunsToSectorExtents(DecodeRunList(runList), partitionStart, sectorsPerCluster);
}

std::uint64_t RecordToSector(std::span<const SectorExtent> extents, std::uint64_t record,
                             std::uint64_t recordSectors) {
  if (recordSectors == 0 || record > std::numeric_limits<std::uint64_t>::max() / recordSectors) return 0;
  const std::uint64_t wanted = record * recordSectors;
  std::uint64_t before = 0;
  for (const SectorExtent& extent : extents) {
    if (wanted - before < extent.sectorCount) {
      return extent.sparse ? 0 : extent.startSector + (wanted - before);
    }
    before += extent.sectorCount;
  }
  return 0;
}

std::vector<AttributeListEntry> DecodeAttributeList(ByteSpan listValue) {
  std::vector<AttributeListEntry> entries;
  std::size_t p = 0;
  while (p <= listValue.size() && listValue.size() - p >= kListEntryHeader) {
    AttributeListEntry entry;
    entry.type = Le32(listValue, p);
    entry.length = Le16(listValue, p + 4);
    if (entry.type == 0 || entry.type == attr_type::kEnd || entry.length < kListEntryHeader) break;
    entry.nameLength = Byte(listValue, p + 6);
    entry.startingVcn = Le64(listValue, p + 8);
    entry.recordNumber = Le32(listValue, p + 16);
    entries.push_back(entry);
    p += entry.length;
  }
  return entries;
}

ByteSpan ResidentAttributeList(ByteSpan record) {
  const auto list = FindAttribute(record, attr_type::kAttributeList);
  return list ? ResidentContent(record, *list) : ByteSpan{};
}

std::vector<std::uint32_t> AttributeListRecords(std::uint32_t recordNumber, ByteSpan listValue) {
  std::vector<std::uint32_t> records{recordNumber};
  for (const AttributeListEntry& entry : DecodeAttributeList(listValue)) {
    if (records.size() == kMaxAttributeListRecords) break;
    AppendOnce(records, entry.recordNumber);
  }
  return records;
}

std::vector<std::uint32_t> DataAttributeRecords(ByteSpan listValue) {
  std::vector<std::uint32_t> records;
  for (const AttributeListEntry& entry : DecodeAttributeList(listValue)) {
    if (entry.type == attr_type::kData) AppendOnce(records, entry.recordNumber);
  }
  return records;
}

std::optional<UnnamedData> FindUnnamedData(ByteSpan record) {
  const auto data = FindAttribute(record, attr_type::kData);
  if (!data) return std::nullopt;
  UnnamedData result;
  result.nonResident = data->nonResident;
  result.flags = data->flags;
  if (data->nonResident) {
    result.runs = DecodeRunList(RunListBytes(record, *data));
    result.lowestVcn = data->lowestVcn;
    result.compressionUnit = data->compressionUnit;
    result.realSize = data->realSize;
    result.initializedSize = data->initializedSize;
    result.allocatedSize = data->allocatedSize;
  } else {
    const ByteSpan content = ResidentContent(record, *data);
    result.residentBytes.assign(content.begin(), content.end());
    result.realSize = result.initializedSize = result.allocatedSize = data->contentLength;
  }
  return result;
}

}  // namespace quarrow
