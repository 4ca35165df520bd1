#pragma once
// What the command line makes sure of before it opens anything.

namespace quarrow::cli {

// Opens the null device on any of the standard descriptors 0, 1 and 2 that is closed, so that
// no disk image is opened as descriptor 1 and written to by mistake.
void EnsureStandardDescriptors();

}  // namespace quarrow::cli
