// A scan log loaded from arbitrary bytes: the decoder, then (for whatever decodes) the rows and
// the tree a load builds, over a disk that reads as zeros. The model is the log's own, so every
// log that decodes is loaded.
#include "session/scan_log.h"

#include <cstddef>
#include <cstdint>

#include "scan/scan_context.h"
#include "scanlog/scan_log_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quarrow::ByteSpan bytes(data, size);
  const std::optional<quarrow::ScanLog> log = quarrow::DecodeScanLog(bytes);
  if (!log) return 0;
  (void)quarrow::EncodeScanLog(*log);
  quarrow::ScanContext ctx;
  quarrow::LoadScanLogBytes(ctx, bytes, log->model);
  return 0;
}
