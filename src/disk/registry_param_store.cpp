#include "disk/registry_param_store.h"

#include <windows.h>

#include <vector>

namespace quarrow {

bool RegistryParameterStore::KeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(handle);
  return true;
}

bool RegistryParameterStore::DeleteKey(const std::string& key) {
  return ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str()) == ERROR_SUCCESS;
}

bool RegistryParameterStore::DeleteValue(const std::string& key, const std::string& name) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
    return false;
  const bool ok = ::RegDeleteValueA(handle, name.c_str()) == ERROR_SUCCESS;
  ::RegCloseKey(handle);
  return ok;
}

bool RegistryParameterStore::CreateKey(const std::string& key) {
  HKEY handle = nullptr;
  if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(handle);
  return true;
}

bool RegistryParameterStore::SetString(const std::string& key, const std::string& name,
                                       const std::string& data) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS)
    return false;
  // The stored length leaves out the terminating NUL, as the values have always been written.
  const bool ok =
      ::RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  ::RegCloseKey(handle);
  return ok;
}

std::map<std::string, std::string> RegistryParameterStore::Values(const std::string& key) {
  std::map<std::string, std::string> values;
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return values;
  for (DWORD index = 0; index < 4096; ++index) {
    char name[16384];
    DWORD nameLength = sizeof(name);
    DWORD type = 0;
    DWORD dataLength = 0;
    LONG rc = ::RegEnumValueA(handle, index, name, &nameLength, nullptr, &type, nullptr, &dataLength);
    if (rc != ERROR_SUCCESS) break;
    std::vector<BYTE> data(dataLength + 1, 0);
    nameLength = sizeof(name);
    DWORD size = dataLength;
    rc = ::RegEnumValueA(handle, index, name, &nameLength, nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    // Values written without their NUL end exactly at the data length.
    std::string text(reinterpret_cast<const char*>(data.data()), size);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    values[std::string(name, nameLength)] = text;
  }
  ::RegCloseKey(handle);
  return values;
}

}  // namespace quarrow
