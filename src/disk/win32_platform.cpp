#include <windows.h>

#include "disk/platform.h"

namespace quarrow {

OsFamily DetectOsFamily() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148 bytes
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)  // GetVersionExA is the one query that still names the platform
#endif
  if (!::GetVersionExA(&info)) return OsFamily::kNt;
#if defined(_MSC_VER)
#pragma warning(pop)
#endif
  // Platform 1 (VER_PLATFORM_WIN32_WINDOWS) is the legacy family; its lowest bit tells it apart.
  return (info.dwPlatformId & 1) ? OsFamily::kLegacy : OsFamily::kNt;
}

std::string LocalSystemName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  if (!::GetComputerNameA(name, &size)) return "";
  return std::string(name, size);
}

}  // namespace quarrow
