#include "scanlog/scan_log_format.h"

#include <array>
#include <utility>

namespace quarrow {
namespace {

// The geometry fields in the order the file stores them.
constexpr std::array<std::uint32_t VolumeGeometry::*, 12> kGeometryFields = {
    &VolumeGeometry::FatSectors,     &VolumeGeometry::SectorsPerCluster, &VolumeGeometry::RootDirSectors,
    &VolumeGeometry::RootDirStart,   &VolumeGeometry::ReservedSectors,   &VolumeGeometry::Cluster0Sector,
    &VolumeGeometry::FirstFatSector, &VolumeGeometry::SecondFatSector,   &VolumeGeometry::MftSector,
    &VolumeGeometry::MftMirrSector,  &VolumeGeometry::MftRecordSectors,  &VolumeGeometry::IndexBlockSectors};

// Smallest file record: name length, sector, self, parent, date, size, deleted.
constexpr std::size_t kFileRecordMinBytes = 4 + 4 + 4 + 4 + 8 + 4 + 4;

class LogWriter {
 public:
  void U8(std::uint8_t value) { bytes_.push_back(value); }
  void U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
  }
  void I64(std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8) bytes_.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  void Bytes(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
  // A u8 length and the text, for the type and mode texts.
  void ShortText(std::string_view text) {
    text = ScanLogText(text);
    U8(static_cast<std::uint8_t>(text.size()));
    Bytes(text);
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads fields one after another. The first read that would run past the end marks the reader
// failed; every later read then gives zeros and empty texts, so the decoder checks once per
// record instead of after every field.
class LogReader {
 public:
  LogReader(ByteSpan bytes, std::size_t offset) : bytes_(bytes), offset_(offset) {
    failed_ = offset > bytes.size();
  }
  bool Failed() const { return failed_; }
  std::size_t Remaining() const { return failed_ ? 0 : bytes_.size() - offset_; }
  void Fail() { failed_ = true; }

  std::uint8_t U8() { return Take(1) ? Byte(bytes_, offset_ - 1) : 0; }
  std::uint32_t U32() { return Take(4) ? Le32(bytes_, offset_ - 4) : 0; }
  std::int64_t I64() { return Take(8) ? static_cast<std::int64_t>(Le64(bytes_, offset_ - 8)) : 0; }
  std::string Text(std::size_t length) {
    if (!Take(length)) return {};
    auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(offset_ - length);
    return std::string(first, first + static_cast<std::ptrdiff_t>(length));
  }
  // A text whose length came from the file and must fit its buffer.
  std::string BoundedText(std::size_t length) {
    if (length > kScanLogTextMax) Fail();
    return Text(length);
  }

 private:
  bool Take(std::size_t count) {
    if (failed_ || count > bytes_.size() - offset_) {
      failed_ = true;
      return false;
    }
    offset_ += count;
    return true;
  }

  ByteSpan bytes_;
  std::size_t offset_;
  bool failed_ = false;
};

// A count read from the file is refused when that many of the smallest record could not fit in
// what is left, so a hostile count never reserves memory or loops past the data.
bool CountFits(const LogReader& reader, std::uint32_t count, std::size_t recordMinBytes) {
  return count <= reader.Remaining() / recordMinBytes;
}

}  // namespace

std::string_view ScanLogText(std::string_view text) {
  if (text.size() <= kScanLogTextMax) return text;
  // The first byte cut off may continue a sequence that began up to three bytes earlier; the cut
  // then moves to that sequence's lead byte. Stray continuation bytes are cut where they fall.
  const std::size_t end = kScanLogTextMax;
  for (std::size_t back = 0; back < 4 && back < end; ++back) {
    const auto c = static_cast<unsigned char>(text[end - back]);
    if ((c & 0xC0) != 0x80) return text.substr(0, c >= 0xC0 ? end - back : end);
  }
  return text.substr(0, end);
}

std::vector<std::uint8_t> EncodeScanLog(const ScanLog& log) {
  LogWriter out;
  out.Bytes(kScanLogMagic);
  const std::string_view model = ScanLogText(log.model);
  out.U32(static_cast<std::uint32_t>(model.size()));
  out.Bytes(model);
  out.U8(log.searchMode);
  out.U8(log.diskNumber);
  out.U8(log.searchDiskNumber);
  out.U8(log.partitionIndex);
  out.ShortText(log.partitionType);
  out.ShortText(log.searchModeText);
  out.I64(log.startSector);
  out.I64(log.endSector);
  for (auto field : kGeometryFields) out.U32(log.geometry.*field);
  for (auto field : kGeometryFields) out.U32(log.activeGeometry.*field);
  out.ShortText(log.activeType);

  out.U32(static_cast<std::uint32_t>(log.folders.size()));
  for (const ScanLogFolderRecord& folder : log.folders) {
    out.U32(static_cast<std::uint32_t>(folder.name.size()) + kFolderRecordFixedBytes);
    out.Bytes(folder.name);
    out.U32(folder.self);
    out.U32(folder.parent);
    out.I64(folder.date);
    out.I64(folder.time);
    out.U8(folder.deleted);
  }
  if (HasFileSection(log)) {
    out.U32(static_cast<std::uint32_t>(log.files.size()));
    for (const ScanLogFileRecord& file : log.files) {
      out.U32(static_cast<std::uint32_t>(file.name.size()));
      out.Bytes(file.name);
      out.U32(file.sector);
      out.U32(file.self);
      out.U32(file.parent);
      out.I64(file.date);
      out.U32(file.size);
      out.U32(file.deleted);
    }
  }
  return out.Take();
}

std::optional<ScanLog> DecodeScanLog(ByteSpan bytes) {
  // The magic is skipped unread: logs are told apart by their model text.
  LogReader in(bytes, kScanLogMagic.size());
  ScanLog log;
  log.model = in.BoundedText(in.U32());
  log.searchMode = in.U8();
  log.diskNumber = in.U8();
  log.searchDiskNumber = in.U8();
  log.partitionIndex = in.U8();
  log.partitionType = in.BoundedText(in.U8());
  log.searchModeText = in.BoundedText(in.U8());
  log.startSector = in.I64();
  log.endSector = in.I64();
  for (auto field : kGeometryFields) log.geometry.*field = in.U32();
  for (auto field : kGeometryFields) log.activeGeometry.*field = in.U32();
  log.activeType = in.BoundedText(in.U8());

  const std::uint32_t folderCount = in.U32();
  if (!CountFits(in, folderCount, 4 + kFolderRecordFixedBytes)) return std::nullopt;
  log.folders.reserve(folderCount);
  for (std::uint32_t i = 0; i < folderCount; ++i) {
    const std::uint32_t recordLength = in.U32();
    if (recordLength < kFolderRecordFixedBytes) return std::nullopt;
    ScanLogFolderRecord& folder = log.folders.emplace_back();
    folder.name = in.Text(recordLength - kFolderRecordFixedBytes);
    folder.self = in.U32();
    folder.parent = in.U32();
    folder.date = in.I64();
    folder.time = in.I64();
    folder.deleted = in.U8();
    if (in.Failed()) return std::nullopt;
  }
  if (HasFileSection(log)) {
    const std::uint32_t fileCount = in.U32();
    if (!CountFits(in, fileCount, kFileRecordMinBytes)) return std::nullopt;
    log.files.reserve(fileCount);
    for (std::uint32_t i = 0; i < fileCount; ++i) {
      ScanLogFileRecord& file = log.files.emplace_back();
      file.name = in.Text(in.U32());
      file.sector = in.U32();
      file.self = in.U32();
      file.parent = in.U32();
      file.date = in.I64();
      file.size = in.U32();
      file.deleted = in.U32();
      if (in.Failed()) return std::nullopt;
    }
  }
  if (in.Failed()) return std::nullopt;
  return log;
}

bool ScanLogModelMatches(const ScanLog& log, std::string_view currentModel) {
  // A model too long for the log was stored cut; the disk's own text is cut the same way.
  return log.model == ScanLogText(currentModel);
}

}  // namespace quarrow
