// The names rows list in each folder, as the MFT walk and the Advance search's second stage ask
// them of a name found as an index key.

#include <gtest/gtest.h>

#include "ntfs/listed_names.h"
#include "results/scan_tables.h"

namespace quarrow {
namespace {

TEST(ListedNamesTest, ARowListsItsNameInItsFolderAndAnUnlistedNameIsSeenFromItsSecondAsking) {
  TextTable files({"Name", "parent"});
  files.AppendRowCells({"IMG_0001.JPG", 40});
  files.AppendRowCells({"IMG_0002.JPG", 41});
  files.AppendRowCells({"notes.txt", 40});
  ListedNames listed;
  for (int r = 0; r < files.RowCount(); ++r) listed.Add(files.U32(r, 1), r, files.Cell(r, 0));
  listed.Sort();

  EXPECT_TRUE(listed.Seen(files, 0, 40, "IMG_0001.JPG"));
  EXPECT_TRUE(listed.Seen(files, 0, 40, "IMG_0001.JPG"));  // a listed name stays listed
  EXPECT_TRUE(listed.Seen(files, 0, 41, "IMG_0002.JPG"));
  EXPECT_TRUE(listed.Seen(files, 0, 40, "notes.txt"));
  // Another folder's name, and a name told apart only by letter case, are not listed.
  EXPECT_FALSE(listed.Seen(files, 0, 41, "IMG_0001.JPG"));
  EXPECT_FALSE(listed.Seen(files, 0, 40, "img_0001.jpg"));
  // Unlisted names count from their first asking on, each in its own folder.
  EXPECT_FALSE(listed.Seen(files, 0, 40, "deleted.doc"));
  EXPECT_TRUE(listed.Seen(files, 0, 40, "deleted.doc"));
  EXPECT_FALSE(listed.Seen(files, 0, 42, "deleted.doc"));
  // The name is confirmed on the row itself: a row changed since it was added no longer lists it.
  files.SetCell(2, 0, "renamed.txt");
  EXPECT_FALSE(listed.Seen(files, 0, 40, "notes.txt"));
}

}  // namespace
}  // namespace quarrow
