#pragma once
// mytreectrl: the tree of every page of the wizard, as a toolkit-free model. Items carry a text,
// an image, a selected image, a state image (the check box) and an expanded state. A view
// (the Qt layer) renders it; nothing here depends on a toolkit.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quarrow {

using TreeItem = std::uint32_t;
inline constexpr TreeItem kNoItem = 0;

// Image indices of the normal image list.
namespace tree_image {
inline constexpr int kDrive = 0, kDriveLit = 1, kComputer = 2, kFolderClosed = 3, kFolder = 4,
                     kFolderOpen = 5, kFolderOpenCurrent = 7;
}
// State images: the check boxes.
namespace check_state {
inline constexpr int kNone = 0, kUnchecked = 1, kChecked = 2, kPartial = 3;
}

// What a view of a tree follows. Every call comes on the thread that changed the model; a model a
// view observes is changed only on the view's thread (workers build trees that are not yet shown,
// or hand their changes over to that thread).
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  // item was inserted as child number row of parent (kNoItem: a top-level item).
  virtual void ItemInserted(TreeItem parent, TreeItem item, std::size_t row) = 0;
  // item (and everything below it), child number row of parent, is about to be removed.
  virtual void ItemRemoving(TreeItem parent, TreeItem item, std::size_t row) = 0;
  // The item's text, images, state image or expanded state changed.
  virtual void ItemChanged(TreeItem item) = 0;
  // The selection moved to item (kNoItem: nothing selected).
  virtual void SelectionChanged(TreeItem item) = 0;
  // Everything changed (all items deleted); the view reads the model again.
  virtual void Reset() = 0;
};

// Which tree a mytreectrl is, fixed at its creation by the wizard page it belongs to (the values
// are those pages' numbers).
enum class TreeKind : int {
  kDisks = -1,       // "My Computer"
  kPartitions = 1,   // "Disk " + disk number
  kFileSystems = 2,  // "File Systems"
  kResults = 3       // "Root"
};

class mytreectrl {
 public:
  mytreectrl(TreeKind kind, int selectedDisk);

  TreeItem Root() const { return root_; }
  // Inserts a top-level item in last position; returns it.
  TreeItem InsertRootItem(std::string text, int image, int selectedImage);
  // Inserts a child of parent in last position; returns it (kNoItem when parent is not valid).
  TreeItem InsertItem(TreeItem parent, std::string text, int image, int selectedImage);
  // Removes the item and everything below it (the root too: Root() then gives kNoItem).
  void DeleteItem(TreeItem item);
  void DeleteAllItems();

  bool Valid(TreeItem item) const;
  const std::string& Text(TreeItem item) const;
  void SetText(TreeItem item, std::string text);
  int Image(TreeItem item) const;
  int SelectedImage(TreeItem item) const;
  void SetImages(TreeItem item, int image, int selectedImage);
  int State(TreeItem item) const;
  void SetState(TreeItem item, int state);
  TreeItem Parent(TreeItem item) const;
  const std::vector<TreeItem>& Children(TreeItem item) const;
  const std::vector<TreeItem>& TopLevel() const { return topLevel_; }
  bool HasChildren(TreeItem item) const { return !Children(item).empty(); }

  bool Expanded(TreeItem item) const;
  // Expands or collapses an item. The expanding handler runs first (as the item-expanding
  // notification does) and sees the state before the change.
  void Expand(TreeItem item, bool expand);
  using ExpandingHandler = std::function<void(TreeItem item, bool expanding)>;
  void SetExpandingHandler(ExpandingHandler handler) { onExpanding_ = std::move(handler); }

  TreeItem Selected() const { return selected_; }
  void Select(TreeItem item);

  // The view that follows this tree, or null; it must outlive the tree or be detached first.
  void SetObserver(TreeObserver* observer) { observer_ = observer; }
  TreeObserver* Observer() const { return observer_; }
  TreeKind Kind() const { return kind_; }
  // The position of item among its siblings (top-level items for kNoItem parent).
  std::size_t RowOf(TreeItem item) const;

  // The next or previous item in display order among the visible (expanded) ones.
  TreeItem NextVisible(TreeItem item) const;
  TreeItem PreviousVisible(TreeItem item) const;

 private:
  struct Node {
    bool alive = false;
    std::string text;
    int image = 0;
    int selectedImage = 0;
    int state = 0;
    bool expanded = false;
    TreeItem parent = kNoItem;
    std::vector<TreeItem> children;
  };
  Node* Get(TreeItem item);
  const Node* Get(TreeItem item) const;
  TreeItem NewNode(TreeItem parent, std::string text, int image, int selectedImage);
  TreeItem LastVisibleBelow(TreeItem item) const;

  std::vector<Node> nodes_;  // index = item handle; slot 0 unused
  std::vector<TreeItem> topLevel_;
  TreeItem root_ = kNoItem;
  TreeItem selected_ = kNoItem;
  ExpandingHandler onExpanding_;
  TreeObserver* observer_ = nullptr;
  TreeKind kind_;
};

}  // namespace quarrow
