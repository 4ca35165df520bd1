#pragma once
// The legacy-family read path: an external library "disk32.dll" with the entry point
// "ReadDisk32" that issues BIOS-style disk reads. Loaded lazily, never freed.

#include <cstdint>
#include <memory>
#include <string>

namespace quarrow {

// ReadDisk32(drive, 0, 0, 1, sectorCount, buffer, firstSectorLow, 1), standard call on Windows;
// nonzero means success.
#if defined(_WIN32) && !defined(_WIN64)
#define QUARROW_STDCALL __stdcall
#else
#define QUARROW_STDCALL
#endif
using ReadDisk32Fn = std::uint32_t(QUARROW_STDCALL*)(std::uint32_t drive, std::uint32_t a, std::uint32_t b,
                                                     std::uint32_t c, std::uint32_t sectorCount, void* buffer,
                                                     std::uint32_t firstSectorLow, std::uint32_t d);

// A symbol of a loaded library, as a function pointer of no particular type; the caller casts it
// to the entry point's real type.
using LibrarySymbol = void (*)();

class LoadedLibrary {
 public:
  virtual ~LoadedLibrary() = default;
  // Null when the library has no such symbol.
  virtual LibrarySymbol Find(const char* symbol) = 0;
};

// Loads shared libraries by name (LoadLibraryA on Windows; a fake in tests).
class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  virtual std::unique_ptr<LoadedLibrary> Load(const char* name) = 0;
};

class Feedback;

// Holds the loaded "disk32.dll" and its entry point. A load failure is not remembered, so every
// read tries again and reports again.
class LegacyDiskLibrary {
 public:
  explicit LegacyDiskLibrary(LibraryLoader& loader);
  // The entry point, or null after showing "disk32.dll not found" or
  // "Readdisk32 function not found" through feedback.
  ReadDisk32Fn EntryPoint(Feedback* feedback);

 private:
  LibraryLoader& loader_;
  std::unique_ptr<LoadedLibrary> library_;
  ReadDisk32Fn entry_ = nullptr;
};

}  // namespace quarrow
