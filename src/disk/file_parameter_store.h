#pragma once
// The disk-parameter store as a small text file, for systems without a registry. The file
// holds one "[key]" line per key followed by its "name=value" lines (with '\', '=', and line
// breaks escaped by a backslash); it is read when the store is made and rewritten whole, through
// a temporary file and a rename, by Commit.

#include <map>
#include <string>

#include "disk/parameter_store.h"

namespace quarrow {

// The store's file: $QUARROW_CONFIG_DIR/disk-parameters when that variable is set, else
// $XDG_CONFIG_HOME/quarrow/disk-parameters, else ~/.config/quarrow/disk-parameters; "" when
// none of these can be found.
std::string DefaultParameterStorePath();

class FileParameterStore : public ParameterStore {
 public:
  // Reads the file if it exists; a missing or unreadable file starts an empty store.
  explicit FileParameterStore(std::string path);

  bool KeyExists(const std::string& key) override;
  bool DeleteKey(const std::string& key) override;
  bool DeleteValue(const std::string& key, const std::string& name) override;
  bool CreateKey(const std::string& key) override;
  bool SetString(const std::string& key, const std::string& name, const std::string& data) override;
  std::map<std::string, std::string> Values(const std::string& key) override;
  // Writes the file, creating its folder; false (with LastError) when that fails.
  bool Commit() override;

  const std::string& Path() const { return path_; }
  const std::string& LastError() const { return lastError_; }

 private:
  void Load();

  std::string path_;
  std::string lastError_;
  std::map<std::string, std::map<std::string, std::string>> keys_;
};

}  // namespace quarrow
