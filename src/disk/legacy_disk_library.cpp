#include "disk/legacy_disk_library.h"

#include "core/feedback.h"

namespace quarrow {

LegacyDiskLibrary::LegacyDiskLibrary(LibraryLoader& loader) : loader_(loader) {}

ReadDisk32Fn LegacyDiskLibrary::EntryPoint(Feedback* feedback) {
  if (entry_) return entry_;
  if (!library_) {
    library_ = loader_.Load("disk32.dll");
    if (!library_) {
      if (feedback) feedback->MessageBox("disk32.dll not found", kProductTitle, MessageIcon::kError);
      return nullptr;
    }
  }
  entry_ = reinterpret_cast<ReadDisk32Fn>(library_->Find("ReadDisk32"));
  if (!entry_ && feedback) {
    feedback->MessageBox("Readdisk32 function not found", kProductTitle, MessageIcon::kError);
  }
  return entry_;
}

}  // namespace quarrow
