// quarrow: the command-line front end.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/process.h"

int main(int argc, char** argv) {
  quarrow::cli::EnsureStandardDescriptors();
  CLI::App app{"Quarrow: recover folders and files from FAT16, FAT32, NTFS and exFAT disks"};
  app.require_subcommand(1);
  // One syntax everywhere: on Windows CLI11 would also take "/name" for an option, and an image
  // path such as "/images/stick.img" would then be read as one. Set before the subcommands, which
  // copy it.
  app.allow_windows_style_options(false);
  int exitCode = 0;
  quarrow::cli::AddDisksCommand(app, &exitCode);
  quarrow::cli::AddPartitionsCommand(app, &exitCode);
  quarrow::cli::AddScanCommand(app, &exitCode);
  quarrow::cli::AddShowCommand(app, &exitCode);
  quarrow::cli::AddRecoverCommand(app, &exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    // CLI11 answers --help with 0; every real usage error is 2.
    return code == 0 ? 0 : 2;
  }
  return exitCode;
}
