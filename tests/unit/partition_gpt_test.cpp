// The GUID partition table: header and entry-array decoding with their CRC32s, the walk that a
// protective MBR sends to it (512- and 4096-byte sectors, the backup header when the primary is
// damaged), and the lost-partition search finding a GPT behind a zeroed MBR.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "partition/gpt.h"
#include "partition/lost_partition_search.h"
#include "partition/partition_details.h"
#include "partition/partition_table.h"
#include "partition_test_disk.h"

namespace quarrow {
namespace {

using namespace partition_test;

constexpr std::string_view kLinuxGuid = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";

Guid GuidFromText(std::string_view text) {
  // The text's byte order, with the first three fields stored little-endian.
  std::vector<std::uint8_t> b;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '-') continue;
    b.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    ++i;
  }
  return Guid{b[3], b[2], b[1],  b[0],  b[5],  b[4],  b[7],  b[6],
              b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
}

struct EntrySpec {
  std::string_view type;
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
  std::u16string name;
};

// A disk with a protective MBR and a GPT (primary and backup) of the given entries, at a sector
// size of lba bytes. Entry array: 128 entries of 128 bytes at LBA 2 (primary) and before the
// backup header (backup).
class GptDisk {
 public:
  GptDisk(std::uint64_t bytes, std::uint32_t lba, std::vector<EntrySpec> entries)
      : disk(bytes / 512), lba_(lba), lbas_(bytes / lba), entries_(std::move(entries)) {
    Write();
  }

  std::vector<std::uint8_t> Array() const {
    std::vector<std::uint8_t> array(128 * 128, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const EntrySpec& e = entries_[i];
      const std::size_t at = i * 128;
      const Guid type = GuidFromText(e.type);
      std::copy(type.begin(), type.end(), array.begin() + static_cast<std::ptrdiff_t>(at));
      array[at + 16] = static_cast<std::uint8_t>(i + 1);  // a unique GUID of sorts
      for (int k = 0; k < 8; ++k) {
        array[at + 32 + k] = static_cast<std::uint8_t>(e.firstLba >> (8 * k));
        array[at + 40 + k] = static_cast<std::uint8_t>(e.lastLba >> (8 * k));
      }
      for (std::size_t k = 0; k < e.name.size() && k < 36; ++k) {
        array[at + 56 + 2 * k] = static_cast<std::uint8_t>(e.name[k]);
        array[at + 57 + 2 * k] = static_cast<std::uint8_t>(e.name[k] >> 8);
      }
    }
    return array;
  }

  std::vector<std::uint8_t> Header(std::uint64_t my, std::uint64_t alternate,
                                   std::uint64_t entriesLba) const {
    std::vector<std::uint8_t> h(lba_, 0);
    const auto put64 = [&](std::size_t at, std::uint64_t v) {
      for (int k = 0; k < 8; ++k) h[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
      for (int k = 0; k < 4; ++k) h[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    std::copy_n("EFI PART", 8, h.begin());
    put32(8, 0x00010000);
    put32(12, 92);
    put64(24, my);
    put64(32, alternate);
    put64(40, 34);
    put64(48, lbas_ - 34);
    put64(72, entriesLba);
    put32(80, 128);
    put32(84, 128);
    put32(88, Crc32(Array()));
    put32(16, Crc32(ByteSpan(h.data(), 92)));
    return h;
  }

  void Write() {
    disk.Write(0, PartitionTable({{kProtectiveMbrType, 1, static_cast<std::uint32_t>(lbas_ - 1)}}));
    const std::vector<std::uint8_t> array = Array();
    const std::uint64_t arrayLbas = array.size() / lba_ + (array.size() % lba_ != 0);
    disk.device->Write(1 * lba_, Header(1, lbas_ - 1, 2));
    disk.device->Write(2 * lba_, array);
    disk.device->Write((lbas_ - 1 - arrayLbas) * lba_, array);
    disk.device->Write((lbas_ - 1) * lba_, Header(lbas_ - 1, 1, lbas_ - 1 - arrayLbas));
  }

  // Flips one byte at a byte offset of the disk.
  void Flip(std::uint64_t byteOffset) {
    std::vector<std::uint8_t> b(1);
    disk.device->ReadAt(byteOffset, b);
    b[0] ^= 0x5A;
    disk.device->Write(byteOffset, b);
  }

  MemoryDisk disk;
  std::uint32_t lba_;
  std::uint64_t lbas_;
  std::vector<EntrySpec> entries_;
};

struct Listed {
  std::string item;
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  std::string name;
  bool operator==(const Listed&) const = default;
};

std::vector<Listed> ListedOf(const PartitionList& list, const mytreectrl& tree) {
  std::vector<Listed> out;
  for (int i = 0; i < list.count; ++i) {
    const PartitionEntry& e = list.entries[i];
    out.push_back({tree.Text(e.item), e.firstSector, e.endSector, e.gptName});
  }
  return out;
}

TEST(PartitionGptDecode, Crc32AndGuidText) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(ByteSpan(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())), 0xCBF43926u);
  EXPECT_EQ(GuidText(GuidFromText(kBasicDataGuid)), kBasicDataGuid);
  EXPECT_EQ(GuidText(GuidFromText(kEfiSystemGuid)), kEfiSystemGuid);
}

TEST(PartitionGptDecode, HeaderProblems) {
  GptDisk gpt(4 << 20, 512, {{kBasicDataGuid, 2048, 4095, u"x"}});
  const std::vector<std::uint8_t> good = gpt.Header(1, 8191, 2);
  EXPECT_EQ(DecodeGptHeader(good).problem, GptHeaderProblem::kNone);
  EXPECT_EQ(DecodeGptHeader(good).header.entryCount, 128u);

  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
    GptHeaderProblem problem;
  };
  const Case cases[] = {
      {"signature", 0, 'X', GptHeaderProblem::kNoSignature},
      {"header size below 92", 12, 40, GptHeaderProblem::kBadSize},
      {"header size past the sector", 13, 0x10, GptHeaderProblem::kBadSize},
      {"a byte under the CRC", 60, 0x77, GptHeaderProblem::kBadCrc},
      {"the CRC itself", 16, 0x00, GptHeaderProblem::kBadCrc},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> h = good;
    h[c.offset] = c.value;
    EXPECT_EQ(DecodeGptHeader(h).problem, c.problem) << c.what;
  }
  // Fields that no table has, under a correct CRC.
  for (std::size_t field : {84u, 81u}) {
    std::vector<std::uint8_t> h = good;
    h[field] = field == 84 ? 100 : 0xFF;  // entries of 100 bytes; 65408 entries of 128 (8 MiB)
    h[16] = h[17] = h[18] = h[19] = 0;
    const std::uint32_t crc = Crc32(ByteSpan(h.data(), 92));
    for (int k = 0; k < 4; ++k) h[16 + k] = static_cast<std::uint8_t>(crc >> (8 * k));
    EXPECT_EQ(DecodeGptHeader(h).problem, GptHeaderProblem::kBadFields) << field;
  }
  // A short buffer reads as no header, never past its end.
  EXPECT_EQ(DecodeGptHeader(ByteSpan(good.data(), 60)).problem, GptHeaderProblem::kBadSize);
}

TEST(PartitionGptDecode, EntriesInUseWithNames) {
  GptDisk gpt(4 << 20, 512,
              {{kBasicDataGuid, 2048, 4095, u"Stick Data"},
               {"00000000-0000-0000-0000-000000000000", 5000, 6000, u"unused"},
               {kLinuxGuid, 6000, 5000, u"backwards"},
               {kEfiSystemGuid, 6144, 8000, u"\u00dcn\u00efcode \U0001F600"}});
  const std::vector<std::uint8_t> array = gpt.Array();
  const std::vector<GptEntry> entries = DecodeGptEntries(array, 128, 128);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].index, 0);
  EXPECT_EQ(entries[0].name, "Stick Data");
  EXPECT_EQ(entries[0].firstLba, 2048u);
  EXPECT_EQ(entries[0].lastLba, 4095u);
  EXPECT_EQ(entries[1].index, 3);
  EXPECT_EQ(entries[1].name,
            "\xC3\x9Cn\xC3\xAF"
            "code \xF0\x9F\x98\x80");
  EXPECT_EQ(GuidText(entries[1].type), kEfiSystemGuid);
  // An array cut short gives the entries it holds whole.
  EXPECT_EQ(DecodeGptEntries(ByteSpan(array.data(), 128 * 3 + 100), 128, 128).size(), 1u);
}

// The walk through a protective MBR, table-driven over sector size and damage.
struct WalkCase {
  const char* what;
  std::uint32_t lba;
  std::uint32_t deviceSectorSize;        // what the device reports; 0 for an image file
  std::vector<std::uint64_t> flipBytes;  // damage, as byte offsets of the disk
  bool expectBackup;
  const char* expectProblem;  // part of what is said about the primary
};

class PartitionGptWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(PartitionGptWalkTest, ListsDataEfiAndRecognisedEntriesInArrayOrder) {
  const WalkCase& c = GetParam();
  const std::uint64_t perLba = c.lba / 512;
  GptDisk gpt(std::uint64_t{64} << 20, c.lba,
              {{kLinuxGuid, 256, 511, u"linux, empty"},
               {kBasicDataGuid, 512, 1023, u"Stick Data"},
               {kLinuxGuid, 1024, 1535, u"ntfs in linux type"},
               {kEfiSystemGuid, 1536, 2047, u"EFI system"}});
  gpt.disk.device->SetLogicalSectorSize(c.deviceSectorSize);
  gpt.disk.Write(512 * perLba, Fat32Boot({}));
  gpt.disk.Write(1024 * perLba, NtfsBoot({}));
  for (std::uint64_t at : c.flipBytes) gpt.Flip(at);

  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  RecordingFeedback ui;
  const PartitionWalkOutcome out = WalkPartitionTable(gpt.disk.reader, 0, gpt.disk.Sectors(), tree, state);
  EXPECT_TRUE(out.protectiveMbr) << c.what;
  ASSERT_TRUE(out.gpt) << c.what << ": " << out.gptProblem;
  EXPECT_EQ(out.gptSectorSize, c.lba) << c.what;
  EXPECT_EQ(out.gptFromBackup, c.expectBackup) << c.what;
  EXPECT_NE(out.gptProblem.find(c.expectProblem), std::string::npos) << c.what << ": " << out.gptProblem;
  const std::vector<Listed> expected = {
      {"Partition - 1 ( FAT32 )", 512 * perLba, 1024 * perLba, "Stick Data"},
      {"Partition - 2 ( NTFS )", 1024 * perLba, 1536 * perLba, "ntfs in linux type"},
      {"Partition - 3 ( FAT32 )", 1536 * perLba, 2048 * perLba, "EFI system"},
  };
  EXPECT_EQ(ListedOf(state.ForDisk(0), tree), expected) << c.what;
  ASSERT_EQ(out.gptSkipped.size(), 1u) << c.what;
  EXPECT_NE(out.gptSkipped[0].find("GPT entry 1 \"linux, empty\""), std::string::npos) << out.gptSkipped[0];

  // The details show the name, and say where the table was read from.
  const PartitionDetails details =
      PartitionDetailsFor(state.ForDisk(0), "FAT32", 0, 0, SearchMode::kStandard, DiskTexts{});
  ASSERT_GE(details.rows.size(), 2u);
  EXPECT_EQ(details.rows[details.rows.size() - 2].value, "Stick Data");
  EXPECT_EQ(details.rows.back().value.find("backup") != std::string::npos, c.expectBackup) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PartitionGptWalkTest,
    ::testing::Values(
        WalkCase{"512-byte image", 512, 0, {}, false, ""},
        WalkCase{"512-byte disk that says so", 512, 512, {}, false, ""},
        WalkCase{"4096-byte image, found at byte 4096", 4096, 0, {}, false, ""},
        WalkCase{"4096-byte disk that says so", 4096, 4096, {}, false, ""},
        WalkCase{"primary header damaged", 512, 0, {512 + 60}, true, "primary header fails its CRC32"},
        WalkCase{"primary entry array damaged", 512, 0, {2 * 512 + 200}, true, "entry array fails its CRC32"},
        WalkCase{"4096 primary header gone", 4096, 0, {4096, 4097}, true, "primary header"}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(PartitionGptWalk, BothHeadersDamagedLeavesTheMbrEntries) {
  GptDisk gpt(std::uint64_t{8} << 20, 512, {{kBasicDataGuid, 2048, 4095, u"data"}});
  gpt.disk.Write(2048, Fat32Boot({}));
  gpt.Flip(512 + 60);
  gpt.Flip((gpt.lbas_ - 1) * 512 + 60);
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  RecordingFeedback ui;
  const PartitionWalkOutcome out = WalkPartitionTable(gpt.disk.reader, 0, gpt.disk.Sectors(), tree, state);
  EXPECT_TRUE(out.protectiveMbr);
  EXPECT_FALSE(out.gpt);
  EXPECT_NE(out.gptProblem.find("fails its CRC32"), std::string::npos) << out.gptProblem;
  EXPECT_EQ(state.ForDisk(0).count, 0);  // the 0xEE entry itself is nothing to scan
}

TEST(PartitionGptWalk, LostPartitionSearchFindsTheGptBehindAZeroedMbr) {
  GptDisk gpt(std::uint64_t{64} << 20, 512,
              {{kBasicDataGuid, 2048, 67583, u"data"}, {kEfiSystemGuid, 67584, 100000, u"efi"}});
  Sector fat32 = Fat32Boot({});
  Put32(fat32, 32, 67583 - 2048 + 1);
  gpt.disk.Write(2048, fat32);
  gpt.disk.Write(0, Sector{});
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  RecordingFeedback ui;
  const PartitionWalkOutcome walked = WalkPartitionTable(gpt.disk.reader, 0, gpt.disk.Sectors(), tree, state);
  EXPECT_FALSE(walked.tableSigned);
  EXPECT_EQ(state.ForDisk(0).count, 0);

  LostPartitionDisk target{&gpt.disk.reader,
                           0,
                           gpt.disk.Sectors(),
                           SearchGeometryFor(gpt.disk.Sectors() / 16065, 255, 63, gpt.disk.Sectors()),
                           {}};
  LostPartitionSearch search(target, state.ForDisk(0), tree, ui, SearchMode::kStandard);
  const LostPartitionOutcome out = search.RunOnThisThread();
  EXPECT_TRUE(out.gptFound);
  const PartitionList& list = state.ForDisk(0);
  ASSERT_GE(list.count, 2);
  EXPECT_EQ((Listed{tree.Text(list.entries[0].item), list.entries[0].firstSector, list.entries[0].endSector,
                    list.entries[0].gptName}),
            (Listed{"Partition - 1 ( FAT32 )", 2048, 67584, "data"}));
  EXPECT_EQ(list.entries[1].gptName, "efi");
  // The FAT32 boot sector the search also meets names the same partition: it is not listed twice.
  EXPECT_EQ(list.count, 2);
}

}  // namespace
}  // namespace quarrow
