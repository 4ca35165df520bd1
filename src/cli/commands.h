#pragma once
// The subcommands of quarrow. Each Add*Command registers its subcommand; the callbacks store
// their exit code in *exitCode (0 success, 1 runtime error, 2 usage error).

#include <CLI/CLI.hpp>
#include <functional>
#include <string_view>

namespace quarrow::cli {

void AddDisksCommand(CLI::App& app, int* exitCode);
void AddPartitionsCommand(CLI::App& app, int* exitCode);
void AddScanCommand(CLI::App& app, int* exitCode);
void AddShowCommand(CLI::App& app, int* exitCode);

// Moments of `quarrow recover` a test can act at (a signal raised there is a user's Ctrl-C at
// exactly that point). Called on the command's own thread.
struct RecoverSeams {
  std::function<void()> searchEnded;                  // the search is over; no file is written yet
  std::function<void(std::string_view)> fileStarted;  // a file is about to be written (its name)
};
void AddRecoverCommand(CLI::App& app, int* exitCode, const RecoverSeams* seams = nullptr);

}  // namespace quarrow::cli
