#pragma once
// The disk-parameter store: a key "QRWDSK_param_E" with six subkeys, holding one string value
// "Disk" + n per disk the inventory found. It is reset and rewritten at every refresh of the
// disk list and left behind when the program ends, for whoever wants to look at the disks
// outside the program. The registry under HKEY_CLASSES_ROOT holds it on Windows, a small file
// under the user's configuration folder elsewhere.

#include <map>
#include <string>
#include <vector>

#include "disk/disk_inventory.h"

namespace quarrow {

inline constexpr const char* kParameterKey = "QRWDSK_param_E";

// A tree of keys holding named string values, as the registry is. Key paths use '\' between
// names ("QRWDSK_param_E\Model").
class ParameterStore {
 public:
  virtual ~ParameterStore() = default;
  virtual bool KeyExists(const std::string& key) = 0;
  // Deletes a key with its values; a key that still has subkeys is not deleted.
  virtual bool DeleteKey(const std::string& key) = 0;
  virtual bool DeleteValue(const std::string& key, const std::string& name) = 0;
  // Creates the key (and its parents) if it does not exist; true when it exists afterwards.
  virtual bool CreateKey(const std::string& key) = 0;
  // Sets a string value of an existing key.
  virtual bool SetString(const std::string& key, const std::string& name, const std::string& data) = 0;
  // The values of a key, by name (empty when the key does not exist).
  virtual std::map<std::string, std::string> Values(const std::string& key) = 0;
  // Makes the changes so far durable; stores that write through return true.
  virtual bool Commit() { return true; }
};

enum class ParameterStoreStatus {
  kOk,
  kKeyNotCreated,     // the key itself could not be created
  kSubkeyNotCreated,  // one of the six subkeys could not be created
  kNotSaved,          // the store could not be made durable
};

// The six subkeys that carry per-disk values, in the order they are written.
const std::vector<std::string>& ParameterSubkeys();

// Resets the store (every subkey, the retired "DisplayDevice" subkey, the key, and the values
// "Disk0" to "Disk25" should the key survive), creates the key and its six subkeys, and writes
// the values of each disk: the key's "Disk" + n = "Disk" + n, and in the subkeys Cylinder, Head,
// MediaType, Model, SectorsPerTrack and Size the disk's parameter of that name.
ParameterStoreStatus RewriteParameterStore(ParameterStore& store, const std::vector<DiskRecord>& disks);

}  // namespace quarrow
