#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "app/results_page.h"
#include "results/folder_tree.h"
#include "results/results_state.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "support/test_support.h"

namespace quarrow {
namespace {

using test_support::RecordingFeedback;

void AddFolderRow(TextTable& table, std::string name, std::uint32_t self, std::uint32_t parent,
                  std::string deleted = "", std::string type = "FOLDER", std::string date = "0") {
  int r = table.AppendRow(name);
  table.SetCell(r, entry_col::kSelf, U32Text(self));
  table.SetCell(r, entry_col::kParent, U32Text(parent));
  table.SetCell(r, entry_col::kDate, date);
  table.SetCell(r, entry_col::kType, type);
  table.SetCell(r, entry_col::kDeleted, deleted);
}

const FolderNode* NodeNamed(const ResultsState& ctx, const std::string& name) {
  for (const FolderNode& node : ctx.folderNodes) {
    if (node.name == name) return &node;
  }
  return nullptr;
}

std::vector<std::string> Column0(const TextTable& table) {
  std::vector<std::string> out;
  for (int r = 0; r < table.RowCount(); ++r) out.push_back(table.Cell(r, 0));
  return out;
}

std::vector<std::string> ChildTexts(const mytreectrl& tree, TreeItem item) {
  std::vector<std::string> out;
  for (TreeItem child : tree.Children(item)) out.push_back(tree.Text(child));
  return out;
}

class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.SetFeedback(ui);
    ctx.ResetForScan(0);
  }
  mytreectrl& Tree() { return *ctx.tree; }
  RecordingFeedback ui;
  ResultsState ctx;
};

TEST_F(FolderTreeTest, InsertFolderNodeAddsItemAndNode) {
  TreeItem root = Tree().Root();
  EXPECT_EQ(Tree().State(root), check_state::kNone);
  TreeItem item = InsertFolderNode(ctx, root, "Music", 3000000000u, 0x5825, 0x6000, 0, true);
  ASSERT_NE(item, kNoItem);
  EXPECT_EQ(Tree().Text(item), "Music");
  EXPECT_EQ(Tree().Image(item), tree_image::kFolder);
  EXPECT_EQ(Tree().SelectedImage(item), tree_image::kFolder);
  EXPECT_EQ(Tree().State(item), check_state::kUnchecked);
  EXPECT_EQ(Tree().State(root), check_state::kUnchecked);
  ASSERT_EQ(ctx.folderNodes.Count(), 1u);
  const FolderNode& node = ctx.folderNodes[0];
  EXPECT_EQ(node.item, item);
  EXPECT_EQ(node.self, 3000000000u);
  EXPECT_EQ(node.parent, 0u);
  EXPECT_EQ(node.date, 0x5825);
  EXPECT_EQ(node.time, 0x6000);
  EXPECT_TRUE(node.deleted);
  EXPECT_FALSE(node.expanded);
  // A parent that is not an item of the tree gives no item and no node.
  EXPECT_EQ(InsertFolderNode(ctx, 999, "x", 1, 0, 0, 0, false), kNoItem);
  EXPECT_EQ(ctx.folderNodes.Count(), 1u);
}

TEST_F(FolderTreeTest, AttachChildFoldersConsumesTheRunFromItsLastRow) {
  TextTable& t = ctx.tables.EntryTable;
  AddFolderRow(t, "p3", 30, 3);
  AddFolderRow(t, "first", 71, 7);
  AddFolderRow(t, "file", 72, 7, "", "FILE");
  AddFolderRow(t, "gone", 73, 7, "1");
  AddFolderRow(t, "", 74, 7);
  AddFolderRow(t, "p9", 90, 9);
  TreeItem parent = InsertFolderNode(ctx, Tree().Root(), "seven", 7, 0, 0, 0, false);
  ctx.dataFound = false;
  AttachChildFolders(ctx, "7", t, parent);
  // Walked from the last row of the run up: the nameless row is attached first.
  EXPECT_EQ(ChildTexts(Tree(), parent), (std::vector<std::string>{"DIR_1", "gone", "first"}));
  EXPECT_EQ(Column0(t), (std::vector<std::string>{"p3", "file", "p9"}));
  EXPECT_TRUE(ctx.dataFound);
  EXPECT_TRUE(NodeNamed(ctx, "gone")->deleted);
  EXPECT_FALSE(NodeNamed(ctx, "first")->deleted);
  EXPECT_EQ(NodeNamed(ctx, "DIR_1")->self, 74u);
  EXPECT_EQ(NodeNamed(ctx, "DIR_1")->parent, 7u);
  EXPECT_EQ(ctx.generatedNameCounter, 2);

  // A key with no rows attaches nothing; a second call finds the run gone.
  ctx.dataFound = false;
  AttachChildFolders(ctx, "8", t, parent);
  AttachChildFolders(ctx, "7", t, parent);
  EXPECT_FALSE(ctx.dataFound);
  EXPECT_EQ(t.RowCount(), 3);
}

TEST_F(FolderTreeTest, AttachChildFoldersMatchesParentsAboveTheSignedRange) {
  TextTable& t = ctx.tables.EntryTable;
  AddFolderRow(t, "low", 1, 2147483647u);
  AddFolderRow(t, "high", 2, 3000000000u);
  AddFolderRow(t, "top", 3, 4294967295u);
  TreeItem parent = InsertFolderNode(ctx, Tree().Root(), "p", 3000000000u, 0, 0, 0, false);
  AttachChildFolders(ctx, "3000000000", t, parent);
  EXPECT_EQ(ChildTexts(Tree(), parent), (std::vector<std::string>{"high"}));
  // The same value formatted "%d" reads back to the same parent.
  AddFolderRow(t, "again", 4, 3000000000u);
  t.Sort(entry_col::kParent);
  AttachChildFolders(ctx, I32Text(static_cast<std::int32_t>(3000000000u)), t, parent);
  EXPECT_EQ(ChildTexts(Tree(), parent), (std::vector<std::string>{"high", "again"}));
  EXPECT_EQ(Column0(t), (std::vector<std::string>{"low", "top"}));
}

// A folder row's numbers read the same whether a cell holds a number or a text of another form
// ("%d" of a record above the signed range, leading zeros or blanks, a number past 32 bits, junk
// after the digits), as a log written by another build may hold them.
TEST(ReadFolderRowTest, NumbersReadTheSameFromEveryFormOfCell) {
  struct Case {
    std::string cell;
    std::uint32_t value;
  };
  const Case cases[] = {{"70", 70},
                        {"-1294967296", 3000000000u},
                        {"007", 7},
                        {"  12", 12},
                        {"4294967296", 4294967295u},
                        {"99999999999999999999999", 4294967295u},
                        {"15 (lost)", 15},
                        {"", 0},
                        {"x", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    TextTable t(
        {"Name", "sector", "self", "parent", "date", "time", "size", "attr", "sysID", "type", "deleted"});
    const int r = t.AppendRow("Docs");
    t.SetCell(r, entry_col::kSelf, c.cell);
    t.SetCell(r, entry_col::kParent, c.cell);
    t.SetCell(r, entry_col::kDate, "-132000000000000000");
    t.SetCell(r, entry_col::kTime, "0012");
    t.SetCell(r, entry_col::kDeleted, "1");
    const FolderRowValues v = ReadFolderRow(t, r);
    EXPECT_EQ(std::make_tuple(v.name, v.self, v.parent, v.date, v.time, v.deleted),
              std::make_tuple(std::string("Docs"), c.value, c.value, std::int64_t{-132000000000000000},
                              std::int64_t{12}, true));
  }
}

TEST_F(FolderTreeTest, GeneratedNamesCountOnAcrossScans) {
  ctx.volumeType = FsType::kNtfs;
  TextTable& t = ctx.tables.EntryTable;
  AddFolderRow(t, "A", 10, 5);
  AddFolderRow(t, "", 11, 10);
  AddFolderRow(t, "", 12, 10);
  t.Sort(entry_col::kParent);
  BuildFolderTree(ctx);
  EXPECT_EQ(NodeNamed(ctx, "DIR_1")->self, 12u);
  EXPECT_EQ(NodeNamed(ctx, "DIR_2")->self, 11u);

  ctx.ResetForScan(0);  // a later scan of the same run
  EXPECT_EQ(ctx.folderNodes.Count(), 0u);
  AddFolderRow(t, "B", 10, 5);
  AddFolderRow(t, "", 20, 10);
  t.Sort(entry_col::kParent);
  BuildFolderTree(ctx);
  ASSERT_NE(NodeNamed(ctx, "DIR_3"), nullptr);
  EXPECT_EQ(NodeNamed(ctx, "DIR_3")->self, 20u);
  EXPECT_EQ(ctx.generatedNameCounter, 4);
}

TEST_F(FolderTreeTest, BuildFolderTreeFromNtfsRows) {
  ctx.volumeType = FsType::kNtfs;
  TextTable& t = ctx.tables.EntryTable;
  AddFolderRow(t, "QRW_Miscellaneous", kOrphanCluster, kOrphanCluster);
  AddFolderRow(t, "Docs", 30, 5, "", "FOLDER", "133536836960000000");
  AddFolderRow(t, "Music", 40, 5);
  AddFolderRow(t, "Sub", 50, 30);
  AddFolderRow(t, "Deep", 60, 50, "1");
  AddFolderRow(t, "Lost", 70, kOrphanCluster);
  AddFolderRow(t, ".", 5, 5);                // the root directory's own record
  AddFolderRow(t, "f", 31, 30, "", "FILE");  // not a folder
  AddFolderRow(t, "loopB", 90, 80);          // a cycle that never reaches the root
  AddFolderRow(t, "loopA", 80, 90);
  AddFolderRow(t, "Orphan", 100, 999);  // its parent's record is gone
  AddFolderRow(t, "Kid", 110, 100);
  AddFolderRow(t, "Self", 120, 120);  // its own parent
  t.Sort(entry_col::kParent);
  BuildFolderTree(ctx, control::kStageProgress);

  TreeItem root = Tree().Root();
  EXPECT_EQ(Tree().Text(root), "Root");
  EXPECT_TRUE(Tree().Expanded(root));
  EXPECT_EQ(ChildTexts(Tree(), root), (std::vector<std::string>{"Docs", "Music", "QRW_Miscellaneous"}));
  EXPECT_EQ(ctx.folderNodes.Count(), 11u);
  EXPECT_EQ(NodeNamed(ctx, "QRW_Miscellaneous")->parent, 5u);
  EXPECT_EQ(NodeNamed(ctx, "Docs")->date, 133536836960000000);
  EXPECT_TRUE(NodeNamed(ctx, "Deep")->deleted);
  EXPECT_EQ(FolderPath(Tree(), NodeNamed(ctx, "Deep")->item), "Docs\\Sub\\Deep");
  EXPECT_EQ(FolderPath(Tree(), NodeNamed(ctx, "Lost")->item), "QRW_Miscellaneous\\Lost");
  EXPECT_EQ(NodeNamed(ctx, "."), nullptr);
  // Folders that never reach the root come under the catch-all folder with what they hold, a
  // circle opened at its lowest record number.
  EXPECT_EQ(FolderPath(Tree(), NodeNamed(ctx, "loopB")->item), "QRW_Miscellaneous\\loopA\\loopB");
  EXPECT_EQ(FolderPath(Tree(), NodeNamed(ctx, "Kid")->item), "QRW_Miscellaneous\\Orphan\\Kid");
  EXPECT_EQ(FolderPath(Tree(), NodeNamed(ctx, "Self")->item), "QRW_Miscellaneous\\Self");
  EXPECT_EQ(NodeNamed(ctx, "f"), nullptr);
  EXPECT_EQ(t.RowCount(), 0);
  EXPECT_TRUE(ctx.dataFound);
  EXPECT_EQ(ui.lastText[control::kEnumerating], "Currently Enumerating 6 / 13");
  ASSERT_FALSE(ui.progress.empty());
  EXPECT_EQ(ui.progress.front().position, 0);
  EXPECT_EQ(ui.progress.back().position, 100);
  EXPECT_EQ(ui.progress.back().barText, "Completed ");
  for (std::size_t i = 2; i < ui.progress.size(); ++i)
    EXPECT_GT(ui.progress[i].position, ui.progress[i - 1].position);
  EXPECT_FALSE(ui.shown[control::kStageProgress]);
}

TEST_F(FolderTreeTest, BuildFolderTreeWithOnlyTheCatchAllRow) {
  ctx.volumeType = FsType::kNtfs;
  AddFolderRow(ctx.tables.EntryTable, "QRW_Miscellaneous", kOrphanCluster, 5);
  BuildFolderTree(ctx);
  EXPECT_EQ(ChildTexts(Tree(), Tree().Root()), (std::vector<std::string>{"QRW_Miscellaneous"}));
  EXPECT_FALSE(ctx.dataFound);
}

TEST_F(FolderTreeTest, FolderPathJoinsNamesBelowTheRoot) {
  TreeItem root = Tree().Root();
  TreeItem a = InsertFolderNode(ctx, root, "A", 1, 0, 0, 0, false);
  TreeItem b = InsertFolderNode(ctx, a, "B\\", 2, 0, 0, 1, false);
  TreeItem c = InsertFolderNode(ctx, b, "C", 3, 0, 0, 2, false);
  TreeItem empty = InsertFolderNode(ctx, a, "", 4, 0, 0, 1, false);
  TreeItem d = InsertFolderNode(ctx, empty, "D", 5, 0, 0, 4, false);
  EXPECT_EQ(FolderPath(Tree(), root), "");
  EXPECT_EQ(FolderPath(Tree(), a), "A");
  EXPECT_EQ(FolderPath(Tree(), c), "A\\B\\C");  // no second "\" after a name that ends in one
  EXPECT_EQ(FolderPath(Tree(), d), "A\\\\D");
  EXPECT_EQ(FolderPath(Tree(), 12345), "");
}

TEST_F(FolderTreeTest, CheckBoxesFollowChildrenUpAndDown) {
  mytreectrl& tree = Tree();
  TreeItem root = tree.Root();
  TreeItem a = InsertFolderNode(ctx, root, "A", 1, 0, 0, 0, false);
  TreeItem a1 = InsertFolderNode(ctx, a, "A1", 2, 0, 0, 1, false);
  TreeItem a2 = InsertFolderNode(ctx, a, "A2", 3, 0, 0, 1, false);
  TreeItem a2x = InsertFolderNode(ctx, a2, "A2x", 4, 0, 0, 3, false);
  TreeItem b = InsertFolderNode(ctx, root, "B", 5, 0, 0, 0, false);
  auto states = [&] {
    return std::vector<int>{tree.State(root), tree.State(a),   tree.State(a1),
                            tree.State(a2),   tree.State(a2x), tree.State(b)};
  };
  using V = std::vector<int>;
  ToggleCheckBox(tree, a1);
  EXPECT_EQ(tree.Selected(), a1);
  EXPECT_EQ(states(), (V{3, 3, 2, 1, 1, 1}));  // one of two children checked: partly filled
  ToggleCheckBox(tree, a2);
  EXPECT_EQ(states(), (V{3, 2, 2, 2, 2, 1}));
  ToggleCheckBox(tree, a1);
  EXPECT_EQ(states(), (V{3, 3, 1, 2, 2, 1}));
  ToggleCheckBox(tree, a2);  // the only checked child unchecked: the folder is unchecked again
  EXPECT_EQ(states(), (V{1, 1, 1, 1, 1, 1}));
  ToggleCheckBox(tree, a2x);
  EXPECT_EQ(states(), (V{3, 3, 1, 2, 2, 1}));
  ToggleCheckBox(tree, a);  // a partly filled box becomes checked with everything below it
  EXPECT_EQ(states(), (V{3, 2, 2, 2, 2, 1}));
  ToggleCheckBox(tree, root);  // the root checks the whole tree ...
  EXPECT_EQ(states(), (V{2, 2, 2, 2, 2, 2}));
  ToggleCheckBox(tree, root);  // ... and unchecks it
  EXPECT_EQ(states(), (V{1, 1, 1, 1, 1, 1}));
}

TEST_F(FolderTreeTest, FirstExpansionOfFatFolderNamesItsChildrenOnce) {
  ctx.volumeType = FsType::kFat32;
  std::vector<std::uint32_t> named;
  ctx.hooks.nameChildren = [&](const FolderNode& node) { named.push_back(node.self); };
  Tree().SetExpandingHandler(
      [&](TreeItem item, bool expanding) { OnResultsTreeExpanding(ctx, item, expanding); });
  TreeItem root = Tree().Root();
  TreeItem a = InsertFolderNode(ctx, root, "A", 7, 0, 0, 0, false);
  TreeItem misc = InsertFolderNode(ctx, root, "QRW_Miscellaneous", kOrphanCluster, 0, 0, 0, false);
  Tree().Expand(root, true);  // the root reads nothing
  Tree().Expand(a, true);
  Tree().Expand(a, false);
  Tree().Expand(a, true);
  Tree().Expand(misc, true);
  EXPECT_EQ(named, (std::vector<std::uint32_t>{7}));
  EXPECT_TRUE(ctx.folderNodes.FindByItem(a)->expanded);
  EXPECT_TRUE(ctx.folderNodes.FindByItem(misc)->expanded);

  ctx.volumeType = FsType::kNtfs;
  TreeItem n = InsertFolderNode(ctx, root, "N", 40, 0, 0, 5, false);
  Tree().Expand(n, true);
  EXPECT_EQ(named.size(), 1u);  // NTFS folders read nothing
  EXPECT_TRUE(ctx.folderNodes.FindByItem(n)->expanded);
}

TEST_F(FolderTreeTest, ExpansionWithRefillMovesTheCurrentFolder) {
  ctx.volumeType = FsType::kFat16;
  TreeItem root = Tree().Root();
  TreeItem a = InsertFolderNode(ctx, root, "A", 7, 0, 0, 0, false);
  TreeItem b = InsertFolderNode(ctx, a, "B", 8, 0, 0, 7, false);
  ctx.currentFolder = a;
  ResultsTreeFlags flags;
  flags.refillOnExpand = true;
  std::vector<TreeItem> refilled;
  OnResultsTreeExpanding(ctx, b, true, &flags, [&](TreeItem item) { refilled.push_back(item); });
  EXPECT_EQ(refilled, (std::vector<TreeItem>{b}));
  EXPECT_FALSE(flags.refillOnExpand);
  EXPECT_EQ(ctx.currentFolder, b);
  EXPECT_EQ(Tree().Selected(), b);
  EXPECT_EQ(Tree().Image(b), tree_image::kFolderOpen);
  EXPECT_EQ(Tree().Image(a), tree_image::kFolder);
  EXPECT_EQ(ui.lastText[control::kCurrentFolder], "A\\B");

  flags.listOnClick = true;  // a collapse after a click closes the folder's image
  OnResultsTreeExpanding(ctx, b, false, &flags, {});
  EXPECT_EQ(Tree().Image(b), tree_image::kFolder);
  EXPECT_EQ(refilled.size(), 1u);
}

TEST_F(FolderTreeTest, FileSystemTreeAndResultsRoot) {
  TextTable& fs = ctx.tables.IdentifiedFileSystemTable;
  fs.SetCell(fs.AppendRow("0"), 10, "FAT32");
  fs.SetCell(fs.AppendRow("2048"), 10, "NTFS");
  mytreectrl tree(TreeKind::kFileSystems, 0);
  TreeItem first = FillFileSystemTree(ctx, tree);
  EXPECT_EQ(tree.Text(tree.Root()), "File Systems");
  EXPECT_EQ(ChildTexts(tree, tree.Root()),
            (std::vector<std::string>{"File System 1 - FAT32", "File System 2 - NTFS"}));
  EXPECT_EQ(first, tree.Children(tree.Root()).front());
  EXPECT_EQ(tree.Image(first), tree_image::kDrive);
  EXPECT_TRUE(tree.Expanded(tree.Root()));

  Tree().SetText(Tree().Root(), "something else");
  SetResultsRoot(ctx);
  EXPECT_EQ(Tree().Text(Tree().Root()), "Root");
  Tree().DeleteAllItems();
  SetResultsRoot(ctx);
  ASSERT_NE(Tree().Root(), kNoItem);
  EXPECT_EQ(Tree().Text(Tree().Root()), "Root");
  EXPECT_EQ(Tree().Image(Tree().Root()), tree_image::kComputer);
  ctx.tree.reset();
  SetResultsRoot(ctx);
  ASSERT_TRUE(ctx.tree);
  EXPECT_EQ(Tree().Text(Tree().Root()), "Root");
}

}  // namespace
}  // namespace quarrow

namespace quarrow {
namespace {

TEST(FolderNodeListTest, IndexesByItemAndParentInListOrder) {
  FolderNodeList list;
  auto node = [](TreeItem item, std::uint32_t self, std::uint32_t parent, std::string name) {
    FolderNode n;
    n.item = item;
    n.self = self;
    n.parent = parent;
    n.name = std::move(name);
    return n;
  };
  list.Append(node(4, 10, 0, "a"));
  list.Append(node(5, 11, 10, "b"));
  list.Append(node(6, 12, 0, "c"));
  list.Append(node(4, 13, 0, "duplicate item"));
  list.Append(node(7, 14, 4000000000u, "high"));
  EXPECT_EQ(list.ChildrenOf(0), (std::vector<std::size_t>{0, 2, 3}));
  EXPECT_EQ(list.ChildrenOf(4000000000u), (std::vector<std::size_t>{4}));
  EXPECT_TRUE(list.ChildrenOf(99).empty());
  ASSERT_NE(list.FindByItem(4), nullptr);
  EXPECT_EQ(list.FindByItem(4)->name, "a");  // the first node of an item
  EXPECT_EQ(list.FindByItem(5)->self, 11u);
  EXPECT_EQ(list.FindByItem(99), nullptr);
  list.FindByItem(5)->name = "renamed";
  EXPECT_EQ(list[1].name, "renamed");
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.FindByItem(4), nullptr);
  EXPECT_TRUE(list.ChildrenOf(0).empty());
}

}  // namespace
}  // namespace quarrow
