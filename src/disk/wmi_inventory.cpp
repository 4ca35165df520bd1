#define _WIN32_DCOM
#include "disk/wmi_inventory.h"

#include <windows.h>
// wbemidl.h needs the declarations of windows.h.
#include <wbemidl.h>
// windows.h renames MessageBox to MessageBoxA, which would hide Feedback::MessageBox.
#undef MessageBox

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "core/feedback.h"

namespace quarrow {
namespace {

std::string Narrow(const wchar_t* text) {
  if (!text || !*text) return "";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

std::optional<std::uint64_t> ParseDecimal(const wchar_t* text) {
  if (!text || !*text) return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p < L'0' || *p > L'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(*p - L'0');
  }
  return value;
}

// A property as a number; WMI hands 64-bit unsigned properties over as decimal strings.
std::optional<std::uint64_t> NumberProperty(IWbemClassObject* object, const wchar_t* name) {
  VARIANT v;
  ::VariantInit(&v);
  std::optional<std::uint64_t> result;
  if (SUCCEEDED(object->Get(name, 0, &v, nullptr, nullptr))) {
    switch (v.vt) {
      case VT_BSTR:
        result = ParseDecimal(v.bstrVal);
        break;
      case VT_I1:
        result = static_cast<std::uint8_t>(v.cVal);
        break;
      case VT_UI1:
        result = v.bVal;
        break;
      case VT_I2:
        result = static_cast<std::uint16_t>(v.iVal);
        break;
      case VT_UI2:
        result = v.uiVal;
        break;
      // uint32 properties arrive as VT_I4.
      case VT_I4:
        result = static_cast<std::uint32_t>(v.lVal);
        break;
      case VT_UI4:
        result = v.ulVal;
        break;
      case VT_INT:
        result = static_cast<std::uint32_t>(v.intVal);
        break;
      case VT_UINT:
        result = v.uintVal;
        break;
      case VT_I8:
        result = static_cast<std::uint64_t>(v.llVal);
        break;
      case VT_UI8:
        result = v.ullVal;
        break;
      default:
        break;  // VT_NULL, VT_EMPTY: the property is missing
    }
  }
  ::VariantClear(&v);
  return result;
}

std::string TextProperty(IWbemClassObject* object, const wchar_t* name) {
  VARIANT v;
  ::VariantInit(&v);
  std::string result;
  if (SUCCEEDED(object->Get(name, 0, &v, nullptr, nullptr))) {
    if (v.vt == VT_BSTR) {
      result = Narrow(v.bstrVal);
    } else if (v.vt != VT_NULL && v.vt != VT_EMPTY) {
      ::VariantClear(&v);
      if (auto n = NumberProperty(object, name)) result = std::to_string(*n);
      return result;
    }
  }
  ::VariantClear(&v);
  return result;
}

DiskRecord ReadDisk(IWbemClassObject* object) {
  DiskRecord d;
  d.Index = static_cast<std::uint32_t>(NumberProperty(object, L"Index").value_or(0xFFFFFFFFu));
  d.Model = TextProperty(object, L"Model");
  d.MediaType = TextProperty(object, L"MediaType");
  d.InterfaceType = TextProperty(object, L"InterfaceType");
  d.TotalCylinders = NumberProperty(object, L"TotalCylinders");
  d.TotalHeads = NumberProperty(object, L"TotalHeads");
  d.TotalSectors = NumberProperty(object, L"TotalSectors");
  d.TotalTracks = NumberProperty(object, L"TotalTracks");
  d.FirmwareRevision = TextProperty(object, L"FirmwareRevision");
  d.PNPDeviceID = TextProperty(object, L"PNPDeviceID");
  d.SerialNumber = TextProperty(object, L"SerialNumber");
  d.SystemName = TextProperty(object, L"SystemName");
  d.DeviceID = TextProperty(object, L"DeviceID");
  d.SectorsPerTrack = NumberProperty(object, L"SectorsPerTrack");
  d.TracksPerCylinder = NumberProperty(object, L"TracksPerCylinder");
  d.Signature = NumberProperty(object, L"Signature");
  d.BytesPerSector = NumberProperty(object, L"BytesPerSector");
  // The reader opens the path table's "\\.\PhysicalDriveN" for disk N.
  return d;
}

void Show(Feedback& feedback, const char* text) {
  feedback.MessageBox(text, kProductTitle, MessageIcon::kNone);
}

}  // namespace

std::vector<DiskRecord> WmiInventory::Enumerate(Feedback& feedback) {
  std::vector<DiskRecord> disks;
  HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    Show(feedback, "Failed to initialize COM library");
    return disks;
  }
  IWbemLocator* locator = nullptr;
  hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                          reinterpret_cast<LPVOID*>(&locator));
  if (FAILED(hr) || !locator) {
    Show(feedback, "Failed to create IWbemLocator object.");
    ::CoUninitialize();
    return disks;
  }
  IWbemServices* services = nullptr;
  BSTR space = ::SysAllocString(L"ROOT\\CIMV2");
  hr = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  ::SysFreeString(space);
  if (FAILED(hr) || !services) {
    Show(feedback, "Could not connect. Error code");
    locator->Release();
    ::CoUninitialize();
    return disks;
  }
  hr = ::CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) {
    Show(feedback, "Could not set proxy blanket. Error code");
    services->Release();
    locator->Release();
    ::CoUninitialize();
    return disks;
  }
  IEnumWbemClassObject* enumerator = nullptr;
  BSTR language = ::SysAllocString(L"WQL");
  BSTR query = ::SysAllocString(L"SELECT * FROM Win32_DiskDrive");
  hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                           &enumerator);
  ::SysFreeString(query);
  ::SysFreeString(language);
  if (FAILED(hr) || !enumerator) {
    char code[16];
    std::snprintf(code, sizeof(code), "%lx", static_cast<unsigned long>(hr));
    std::cout << "Query for operating system name failed."
              << " Error code = 0x" << code << std::endl;
    services->Release();
    locator->Release();
    ::CoUninitialize();
    return disks;
  }
  for (;;) {
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    // WBEM_INFINITE is 0xFFFFFFFF in an enumeration; Next takes it as a signed long (-1).
    hr = enumerator->Next(static_cast<LONG>(static_cast<ULONG>(WBEM_INFINITE)), 1, &object, &returned);
    if (FAILED(hr) || returned == 0 || !object) break;
    DiskRecord disk = ReadDisk(object);
    object->Release();
    // A disk without an Index cannot be named by the reader.
    if (disk.Index != 0xFFFFFFFFu) disks.push_back(std::move(disk));
  }
  enumerator->Release();
  services->Release();
  locator->Release();
  ::CoUninitialize();
  return disks;
}

}  // namespace quarrow
