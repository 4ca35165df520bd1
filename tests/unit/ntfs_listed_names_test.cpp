// The names rows list in each folder, as the MFT walk and the Advance search's second stage ask
// them of a name found as an index key.

#include <gtest/gtest.h>

#include "ntfs/listed_names.h"
#include "results/scan_tables.h"

namespace quarrow {
namespace {

TEST(ListedNamesTest, ARowListsItsNameInItsFolderOnlyWhileItsCellsSaySo) {
  TextTable files({"Name", "parent"});
  files.AppendRowCells({"IMG_0001.JPG", 40});
  files.AppendRowCells({"IMG_0002.JPG", 41});
  files.AppendRowCells({"notes.txt", 40});
  ListedSoFar listed(files, 0, 1);
  for (int r = 0; r < files.RowCount(); ++r) listed.Add(files.U32(r, 1), files.Cell(r, 0), r);

  EXPECT_TRUE(listed.Listed(40, "IMG_0001.JPG"));
  EXPECT_TRUE(listed.Listed(40, "IMG_0001.JPG"));  // asking does not change the answer
  EXPECT_TRUE(listed.Listed(41, "IMG_0002.JPG"));
  EXPECT_TRUE(listed.Listed(40, "notes.txt"));
  // Another folder's name, and a name told apart only by letter case, are not listed.
  EXPECT_FALSE(listed.Listed(41, "IMG_0001.JPG"));
  EXPECT_FALSE(listed.Listed(40, "img_0001.jpg"));
  EXPECT_FALSE(listed.Listed(40, "deleted.doc"));
  // A row added for a name found once lists it from then on, in its own folder only.
  files.AppendRowCells({"deleted.doc", 40});
  listed.Add(40, "deleted.doc", 3);
  EXPECT_TRUE(listed.Listed(40, "deleted.doc"));
  EXPECT_FALSE(listed.Listed(42, "deleted.doc"));
  // The name and the folder are confirmed on the row itself: a row changed since it was added no
  // longer lists what it did.
  files.SetCell(2, 0, "renamed.txt");
  EXPECT_FALSE(listed.Listed(40, "notes.txt"));
  files.SetCell(1, 1, "43");
  EXPECT_FALSE(listed.Listed(41, "IMG_0002.JPG"));
}

// Kept up as rows are appended: every name added is found in its own folder only, across the
// table's growth from its first slots to thousands of names, and a match is confirmed on the row.
TEST(ListedNamesTest, NamesListedSoFarAreFoundInTheirFolderThroughGrowthAndConfirmedOnTheRow) {
  TextTable files({"Name", "sector", "parent"});
  ListedSoFar listed(files, 0, 2);
  EXPECT_FALSE(listed.Listed(40, "IMG_00000.JPG"));  // nothing added yet
  constexpr int kNames = 5000;
  const auto name = [](int i) {
    std::string n = "IMG_00000.JPG";
    for (int at = 8; i > 0; --at, i /= 10) n[static_cast<std::size_t>(at)] = static_cast<char>('0' + i % 10);
    return n;
  };
  for (int i = 0; i < kNames; ++i) {
    const int row = files.AppendRowCells({name(i), 0, 40 + i % 7});
    listed.Add(static_cast<std::uint32_t>(40 + i % 7), name(i), row);
  }
  int found = 0, foundElsewhere = 0;
  for (int i = 0; i < kNames; ++i) {
    found += listed.Listed(static_cast<std::uint32_t>(40 + i % 7), name(i));
    foundElsewhere += listed.Listed(static_cast<std::uint32_t>(41 + i % 7), name(i));
  }
  EXPECT_EQ(found, kNames);
  EXPECT_EQ(foundElsewhere, 0);
  EXPECT_FALSE(listed.Listed(40, "img_00000.jpg"));  // letter case tells names apart
  EXPECT_FALSE(listed.Listed(40, "IMG_99999.JPG"));
  // The row is what lists the name: a row changed since it was added lists its new name only.
  files.SetCell(0, 0, "renamed.jpg");
  EXPECT_FALSE(listed.Listed(40, name(0)));
}

}  // namespace
}  // namespace quarrow
