#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/terminal.h"

namespace quarrow::cli {

bool IsTerminal(std::FILE* stream) {
  return stream != nullptr && isatty(fileno(stream)) != 0;
}

std::size_t TerminalWidth(std::FILE* stream) {
  winsize ws{};
  if (stream != nullptr && ioctl(fileno(stream), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

}  // namespace quarrow::cli
