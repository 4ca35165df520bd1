#include "cli/commands.h"

namespace quarrow::cli {

void AddDisksCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("disks", "(not built yet)");
  cmd->callback([exitCode] { *exitCode = 1; });
}

}  // namespace quarrow::cli
