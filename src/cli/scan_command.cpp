#include "cli/commands.h"

namespace quarrow::cli {

void AddScanCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("scan", "(not built yet)");
  cmd->callback([exitCode] { *exitCode = 1; });
}

}  // namespace quarrow::cli
