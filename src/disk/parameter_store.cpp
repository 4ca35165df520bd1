#include "disk/parameter_store.h"

namespace quarrow {

const std::vector<std::string>& ParameterSubkeys() {
  static const std::vector<std::string> subkeys = {"Cylinder",        "Head", "MediaType", "Model",
                                                   "SectorsPerTrack", "Size"};
  return subkeys;
}

ParameterStoreStatus RewriteParameterStore(ParameterStore& store, const std::vector<DiskRecord>& disks) {
  const std::string key = kParameterKey;
  std::vector<std::string> retired = ParameterSubkeys();
  retired.push_back("DisplayDevice");
  auto dropDiskValues = [&store](const std::string& path) {
    for (int n = 0; n <= 25; ++n) store.DeleteValue(path, "Disk" + std::to_string(n));
  };
  // A key that cannot be deleted still loses the values of earlier disks, so that what is left
  // names only the disks found now.
  for (const auto& subkey : retired) {
    const std::string path = key + "\\" + subkey;
    if (store.KeyExists(path) && !store.DeleteKey(path)) dropDiskValues(path);
  }
  if (store.KeyExists(key)) store.DeleteKey(key);
  if (store.KeyExists(key)) dropDiskValues(key);
  if (!store.CreateKey(key)) return ParameterStoreStatus::kKeyNotCreated;
  for (const auto& subkey : ParameterSubkeys()) {
    if (!store.CreateKey(key + "\\" + subkey)) return ParameterStoreStatus::kSubkeyNotCreated;
  }
  // Individual writes ignore their errors: the store is a mirror and nothing in the program
  // reads it back.
  for (const auto& disk : disks) {
    const std::string name = "Disk" + std::to_string(disk.Index);
    store.SetString(key, name, name);
    store.SetString(key + "\\Cylinder", name, PropertyText(disk.TotalCylinders));
    store.SetString(key + "\\Head", name, PropertyText(disk.TotalHeads));
    store.SetString(key + "\\MediaType", name, disk.MediaType);
    store.SetString(key + "\\Model", name, disk.Model);
    store.SetString(key + "\\SectorsPerTrack", name, PropertyText(disk.SectorsPerTrack));
    store.SetString(key + "\\Size", name, SizeText(disk));
  }
  return store.Commit() ? ParameterStoreStatus::kOk : ParameterStoreStatus::kNotSaved;
}

}  // namespace quarrow
