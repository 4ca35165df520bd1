#include "disk/ewf_block_device.h"

#ifdef QUARROW_HAVE_LIBEWF

#include <libewf.h>

#include <mutex>
#include <vector>

namespace quarrow {

namespace {

std::string ErrorText(libewf_error_t* error) {
  if (!error) return "unknown error";
  char text[512] = {};
  libewf_error_sprint(error, text, sizeof text - 1);
  libewf_error_free(&error);
  // libewf's messages run over several lines; the last one says what went wrong at the top.
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  const auto cut = message.rfind('\n');
  return cut == std::string::npos ? message : message.substr(cut + 1);
}

class EwfBlockDevice : public BlockDevice {
 public:
  EwfBlockDevice(libewf_handle_t* handle, std::uint64_t size, std::uint32_t bytesPerSector)
      : handle_(handle), size_(size), bytesPerSector_(bytesPerSector) {}
  ~EwfBlockDevice() override {
    libewf_handle_close(handle_, nullptr);
    libewf_handle_free(&handle_, nullptr);
  }
  EwfBlockDevice(const EwfBlockDevice&) = delete;
  EwfBlockDevice& operator=(const EwfBlockDevice&) = delete;

  bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override {
    if (buffer.empty()) return true;
    if (byteOffset > size_ || size_ - byteOffset < buffer.size()) return false;
    // One handle serves every thread of a scan; libewf's own state is not to be shared unguarded.
    std::lock_guard lock(mutex_);
    libewf_error_t* error = nullptr;
    const ssize_t got = libewf_handle_read_random(handle_, buffer.data(), buffer.size(),
                                                  static_cast<off64_t>(byteOffset), &error);
    if (error) libewf_error_free(&error);
    if (got < 0 || static_cast<std::size_t>(got) != buffer.size()) return false;
    NoteChecksumErrors();
    return !TouchesBadChunk(byteOffset, buffer.size());
  }

  std::uint64_t SizeBytes() const override { return size_; }
  std::uint32_t LogicalSectorSize() const override { return bytesPerSector_; }

 private:
  struct Range {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
  };

  // libewf hands a chunk whose checksum fails back as data (zeros) and only records the error;
  // the chunks it recorded are kept here, since a chunk read again from its cache is not
  // recorded twice.
  void NoteChecksumErrors() {
    std::uint32_t count = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle_, &count, nullptr) != 1) return;
    for (std::uint32_t i = known_; i < count; ++i) {
      std::uint64_t start = 0;
      std::uint64_t sectors = 0;
      if (libewf_handle_get_checksum_error(handle_, i, &start, &sectors, nullptr) != 1) continue;
      bad_.push_back({start * bytesPerSector_, (start + sectors) * bytesPerSector_});
    }
    known_ = count;
  }

  bool TouchesBadChunk(std::uint64_t offset, std::uint64_t length) const {
    for (const Range& r : bad_) {
      if (offset < r.end && r.first < offset + length) return true;
    }
    return false;
  }

  std::mutex mutex_;
  libewf_handle_t* handle_;
  std::uint64_t size_;
  std::uint32_t bytesPerSector_;
  std::uint32_t known_ = 0;
  std::vector<Range> bad_;
};

}  // namespace

bool EwfSupported() {
  return true;
}

std::unique_ptr<BlockDevice> OpenEwfImage(const std::string& path, std::string* error) {
  const auto fail = [&](const std::string& why) -> std::unique_ptr<BlockDevice> {
    if (error) *error = "cannot open " + path + " as an evidence file: " + why;
    return nullptr;
  };
  libewf_error_t* ewfError = nullptr;
  char** names = nullptr;
  int nameCount = 0;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &nameCount, &ewfError) != 1)
    return fail(ErrorText(ewfError));
  libewf_handle_t* handle = nullptr;
  if (libewf_handle_initialize(&handle, &ewfError) != 1) {
    libewf_glob_free(names, nameCount, nullptr);
    return fail(ErrorText(ewfError));
  }
  const int opened = libewf_handle_open(handle, names, nameCount, LIBEWF_OPEN_READ, &ewfError);
  libewf_glob_free(names, nameCount, nullptr);
  if (opened != 1) {
    libewf_handle_free(&handle, nullptr);
    return fail(ErrorText(ewfError));
  }
  // A chunk that fails its checksum comes back as zeros, never as its damaged bytes.
  libewf_handle_set_read_zero_chunk_on_error(handle, 1, nullptr);
  size64_t size = 0;
  std::uint32_t bytesPerSector = 0;
  if (libewf_handle_get_media_size(handle, &size, &ewfError) != 1 ||
      libewf_handle_get_bytes_per_sector(handle, &bytesPerSector, &ewfError) != 1) {
    libewf_handle_close(handle, nullptr);
    libewf_handle_free(&handle, nullptr);
    return fail(ErrorText(ewfError));
  }
  return std::make_unique<EwfBlockDevice>(handle, size, bytesPerSector);
}

}  // namespace quarrow

#else  // built without libewf

namespace quarrow {

bool EwfSupported() {
  return false;
}

std::unique_ptr<BlockDevice> OpenEwfImage(const std::string& path, std::string* error) {
  if (error)
    *error = "cannot open " + path +
             ": it is an evidence file (E01), and this build reads none (built without libewf)";
  return nullptr;
}

}  // namespace quarrow

#endif
