#pragma once
// What the command line makes sure of before it opens anything.

namespace quarrow::cli {

// Opens the null device on any of the standard descriptors 0, 1 and 2 that is closed, so that
// no disk image is opened as descriptor 1 and written to by mistake. Also sets the signals a
// command's own handling expects: a write past the file-size limit fails instead of killing the
// program.
void EnsureStandardDescriptors();

// True when descriptor 1 was closed at start: the placeholder takes what is written, but the
// answer is lost, so writing it counts as failed.
bool StandardOutputClosed();

}  // namespace quarrow::cli
