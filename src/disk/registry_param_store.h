#pragma once
// The disk-parameter store in the Windows registry, under HKEY_CLASSES_ROOT.

#include "disk/parameter_store.h"

namespace quarrow {

class RegistryParameterStore : public ParameterStore {
 public:
  bool KeyExists(const std::string& key) override;
  bool DeleteKey(const std::string& key) override;
  bool DeleteValue(const std::string& key, const std::string& name) override;
  bool CreateKey(const std::string& key) override;
  bool SetString(const std::string& key, const std::string& name, const std::string& data) override;
  std::map<std::string, std::string> Values(const std::string& key) override;
};

}  // namespace quarrow
