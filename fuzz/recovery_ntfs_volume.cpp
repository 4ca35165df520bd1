// Where recovery reads NTFS files from, over a hostile disk: a Standard search, then every file
// row the search listed located through its record (extension records, attribute lists, run
// lists, the sizes) and estimated through the $Bitmap. No piece may reach past the file's size, and
// a compression unit holds no more than it decompresses to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ntfs_search_disk.h"
#include "recovery/ntfs_data_source.h"
#include "results/file_list.h"
#include "session/standard_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::NtfsFuzzDisk disk(data, size);
  quarrow::ScanContext ctx;
  disk.SetUp(ctx);
  quarrow::StandardSearch(ctx).Run();
  ctx.activeGeometry.type = quarrow::FsType::kNtfs;
  quarrow::NtfsDataSource source(ctx);
  std::vector<std::uint32_t> folders{5};
  for (std::size_t i = 0; i < ctx.results.folderNodes.Count(); ++i)
    folders.push_back(ctx.results.folderNodes[i].self);
  for (std::uint32_t folder : folders) {
    quarrow::DetailsList list;
    quarrow::ListNtfsFiles(ctx.results, list, folder);
    for (const quarrow::DetailsRow& row : list.rows) {
      const quarrow::FileData file = source.Locate(row);
      std::uint64_t total = 0;
      for (const quarrow::DataPiece& piece : file.pieces) {
        if (piece.length == 0 || piece.length > file.size - total) std::abort();
        total += piece.length;
        if (piece.kind != quarrow::DataPiece::Kind::kLznt1) continue;
        std::uint64_t sectors = 0;
        for (const auto& run : piece.compressed) sectors += run.sectorCount;
        if (piece.length > piece.unitBytes || sectors == 0 ||
            sectors * quarrow::kSectorSize >= piece.unitBytes)
          std::abort();
      }
      source.Estimate(row);
    }
  }
  return 0;
}
