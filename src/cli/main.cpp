// quarrow: the command-line front end.
#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
  CLI::App app{"Quarrow: recover folders and files from FAT16, FAT32 and NTFS disks"};
  app.require_subcommand(1);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
