// quarrow disks [--image PATH]... [--json]
// Lists the disks the disk tree would offer: the removable disks of the machine and the named
// image files, with their labels, numbers, models, sizes and device paths. Listing the disks is
// a refresh of the disk list, so it also rewrites the disk-parameter store.

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "session/disk_session.h"
#include "cli/json_text.h"

namespace quarrow::cli {
namespace {

struct DisksOptions {
  std::vector<std::string> images;
  bool json = false;
  std::string sysfsRoot = "/sys";
};

bool PrintJson(const std::vector<const ListedDisk*>& disks) {
  std::string out;
  {
    JsonObject doc(out);
    doc.Array("disks", disks, [](JsonObject& o, const ListedDisk* d) {
      o.Number("number", d->number)
          .Text("label", d->label)
          .Text("model", d->model)
          .Number("sizeMb", d->sizeMb)
          .Text("path", d->path)
          .Number("totalSectors", d->totalSectors)
          .Array("details", DiskDetailRows(d->record),
                 [](JsonObject& row, const auto& r) { row.Text("name", r.name).Text("value", r.value); });
    });
  }
  out += '\n';
  return WriteStdout(out);
}

bool PrintTable(const std::vector<const ListedDisk*>& disks) {
  std::ostringstream out;
  std::size_t labelWidth = 5, modelWidth = 5;
  for (const ListedDisk* d : disks) {
    labelWidth = std::max(labelWidth, d->label.size());
    modelWidth = std::max(modelWidth, d->model.size());
  }
  out << std::left << std::setw(6) << "Disk" << std::setw(static_cast<int>(labelWidth + 2)) << "Label"
      << std::setw(static_cast<int>(modelWidth + 2)) << "Model" << std::setw(12) << "Size"
      << "Path\n";
  for (const ListedDisk* d : disks) {
    out << std::left << std::setw(6) << d->number << std::setw(static_cast<int>(labelWidth + 2)) << d->label
        << std::setw(static_cast<int>(modelWidth + 2)) << d->model << std::setw(12)
        << (std::to_string(d->sizeMb) + " MB") << d->path << "\n";
  }
  return WriteStdout(out.str());
}

int RunDisks(const DisksOptions& options) {
  DiskSessionOptions sessionOptions;
  sessionOptions.sysfsRoot = options.sysfsRoot;
  sessionOptions.writeParameters = true;
  DiskSession session(options.images, sessionOptions);
  if (!session.Errors().empty()) {
    std::cerr << "quarrow disks: " << session.Errors().front() << "\n";
    return 1;
  }
  for (const auto& warning : session.Warnings()) std::cerr << "quarrow disks: warning: " << warning << "\n";

  std::vector<const ListedDisk*> disks;
  for (const auto& d : session.Disks()) disks.push_back(&d);
  std::sort(disks.begin(), disks.end(),
            [](const ListedDisk* a, const ListedDisk* b) { return a->number < b->number; });
  if (options.json) {
    if (!PrintJson(disks)) {
      std::cerr << "quarrow disks: could not write the results to standard output\n";
      return 1;
    }
  } else if (disks.empty()) {
    std::cerr
        << "quarrow disks: no removable disk found; connect one, or name a disk image with --image PATH\n";
  } else if (!PrintTable(disks)) {
    std::cerr << "quarrow disks: could not write the results to standard output\n";
    return 1;
  }
  return 0;
}

}  // namespace

void AddDisksCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<DisksOptions>();
  auto* cmd = app.add_subcommand("disks", "List the removable disks and the named disk images");
  cmd->add_option("--image", options->images, "A disk image file to list as a disk (repeatable)")
      ->type_name("PATH");
  cmd->add_flag("--json", options->json, "Print the disks as JSON");
  // For tests: a fake sysfs tree in place of /sys ("" lists images only).
  cmd->add_option("--sysfs-root", options->sysfsRoot)->group("");
  cmd->callback([options, exitCode] { *exitCode = RunDisks(*options); });
}

}  // namespace quarrow::cli
