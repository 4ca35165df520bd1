#pragma once
// The checks every search makes of its range before it reads a sector: a range it cannot address
// or that lies past the disk is refused; one that runs past the end of the disk is cut there.

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/feedback.h"

namespace quarrow {

struct ScanContext;

// Refuses (a one-line reason) or accepts ctx's range, cutting its end to the disk's end with a
// warning when the disk's size is known. searchName is "Standard search" or "Advance search".
std::optional<std::string> CheckSearchRange(ScanContext& ctx, const char* searchName,
                                            std::vector<std::string>& warnings);

// What a finished search says about the disk: the sectors it could not read, a disk that stopped
// answering. Appended to warnings.
void NoteReadProblems(const ScanContext& ctx, std::vector<std::string>& warnings);

// Runs stage; when memory runs out in it, shows "Not Enough Memory" and sets outOfMemory instead
// of ending the program: the search then goes on, or ends, with what was built so far.
template <typename Stage>
void GuardMemory(Feedback& ui, bool& outOfMemory, Stage&& stage) {
  try {
    stage();
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
    ui.MessageBox("Not Enough Memory", kProductTitle, MessageIcon::kError);
  }
}

}  // namespace quarrow
