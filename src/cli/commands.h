#pragma once
// The subcommands of quarrow. Each Add*Command registers its subcommand; the callbacks store
// their exit code in *exitCode (0 success, 1 runtime error, 2 usage error).

#include <CLI/CLI.hpp>

namespace quarrow::cli {

void AddDisksCommand(CLI::App& app, int* exitCode);
void AddPartitionsCommand(CLI::App& app, int* exitCode);
void AddScanCommand(CLI::App& app, int* exitCode);
void AddShowCommand(CLI::App& app, int* exitCode);
void AddRecoverCommand(CLI::App& app, int* exitCode);

}  // namespace quarrow::cli
