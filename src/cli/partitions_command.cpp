#include "cli/commands.h"

namespace quarrow::cli {

void AddPartitionsCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("partitions", "(not built yet)");
  cmd->callback([exitCode] { *exitCode = 1; });
}

}  // namespace quarrow::cli
