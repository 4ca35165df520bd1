#include <io.h>
#include <windows.h>

#include "cli/terminal.h"

namespace quarrow::cli {

bool IsTerminal(std::FILE* stream) {
  return stream != nullptr && _isatty(_fileno(stream)) != 0;
}

std::size_t TerminalWidth(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (stream != nullptr && GetConsoleScreenBufferInfo(handle, &info)) {
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    if (width > 0) return static_cast<std::size_t>(width);
  }
  return 80;
}

}  // namespace quarrow::cli
