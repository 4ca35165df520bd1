#pragma once
// Decoding of 32-byte FAT directory entries, shared by the directory passes, the tree naming and
// the file list: cluster numbers, 8.3 names with the deleted marker, long names and the name
// check.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/code_page.h"
#include "core/volume.h"

namespace quarrow {

struct ScanContext;

inline constexpr std::size_t kDirEntrySize = 32;
inline constexpr int kEntriesPerSector = 16;
inline constexpr std::uint8_t kLongNameAttribute = 0x0F;
inline constexpr std::uint8_t kDirectoryAttribute = 0x10;
inline constexpr std::uint8_t kVolumeLabelAttribute = 0x08;
inline constexpr std::uint8_t kDeletedMarker = 0xE5;

// The 32-bit cluster of an entry: bytes 26, 27, 20, 21 (high word included).
std::uint32_t EntryCluster32(ByteSpan sector, std::size_t entryOffset);
// The 16-bit cluster field at entry offset 26.
std::uint32_t EntryCluster16(ByteSpan sector, std::size_t entryOffset);
// The cluster as the type reads it: all four bytes on FAT32, the 16-bit field otherwise.
std::uint32_t EntryCluster(ByteSpan sector, std::size_t entryOffset, FsType type);

// A sector beginning with the "." and ".." entries of a sub-directory.
bool IsDirectoryStartSector(ByteSpan sector);

// A sector from inside a directory, past its first: no "." and ".." entries, at least one entry,
// every used slot an entry a formatter or an OS writes (a long-name part with its zero cluster
// field, or a short entry with name bytes and attributes a directory can hold), and nothing
// after the first free (0x00) slot. A directory that grew past its first cluster is found by
// these when the FAT that chained it is gone.
bool IsDirectoryContinuationSector(ByteSpan sector);
// The "." and ".." entries themselves: first byte "." and fourth byte a space.
bool IsDotEntry(ByteSpan sector, std::size_t entryOffset);

// The volume-label entry of a directory (the label attribute, and not a long-name part).
bool IsVolumeLabelEntry(ByteSpan sector, std::size_t entryOffset);

struct ShortName {
  std::string name;  // UTF-8
  bool deleted = false;
};
// 8.3 name assembly: name bytes without spaces, "." when the extension's first byte is not a
// space, extension bytes without spaces; a leading 0xE5 becomes "_" and marks the entry deleted
// (0x05 there stands for a name that really begins with the byte 0xE5). The lower-case flags of
// byte 12 (0x08 the name, 0x10 the extension) that Windows NT and Linux write for names such as
// "readme.txt" are applied, and the bytes are decoded through the volume's OEM code page.
ShortName AssembleShortName(ByteSpan sector, std::size_t entryOffset, const CodePage& codePage = CodePage());

// The volume label of a label entry or a boot sector's label field: 11 bytes through the code
// page, trailing spaces dropped.
std::string LabelText(ByteSpan bytes11, const CodePage& codePage);

// False for names with bytes 1-31 or any of " \ / ? * < > |. Names are UTF-8: letters beyond
// ASCII are valid.
bool IsValidEntryName(std::string_view name);

// Where the entries before a sector of a directory are. With sectors null the sector in front
// on the disk is taken (sector number - 1); with the directory's sectors in directory order, the
// one before index is taken, so a long name split over two clusters of a fragmented directory is
// read from the right place, and nothing is read in front of the directory's first sector.
struct DirectoryOrder {
  const std::vector<std::uint64_t>* sectors = nullptr;
  std::size_t index = 0;
};

// The long name of the short entry at entryOffset of sector (read from sectorNumber), decoded from
// UTF-16 to UTF-8 in full, or nullopt when the caller should keep the 8.3 name. Unreadable
// sectors in front end the collection.
std::optional<std::string> ReadLongName(const ScanContext& ctx, ByteSpan sector, int entryOffset,
                                        std::uint64_t sectorNumber, DirectoryOrder order = {});

// The name an entry shows: the 8.3 name with the deleted rule, replaced by its long name when
// one is found; empty with valid false when either check fails.
struct EntryName {
  std::string name;
  bool deleted = false;
  bool valid = false;
};
EntryName ResolveEntryName(const ScanContext& ctx, ByteSpan sector, std::size_t entryOffset,
                           std::uint64_t sectorNumber, DirectoryOrder order = {});

}  // namespace quarrow
