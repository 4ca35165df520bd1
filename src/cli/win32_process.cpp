#include "cli/process.h"

namespace quarrow::cli {

// The console runtime gives every program its three standard handles.
void EnsureStandardDescriptors() {}

bool StandardOutputClosed() {
  return false;
}

}  // namespace quarrow::cli
