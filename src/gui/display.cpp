#include "gui/display.h"

#include <string_view>

namespace quarrow::gui {

bool DisplayAvailable(const EnvironmentLookup& env, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i] && std::string_view(argv[i]) == "-platform" && i + 1 < argc) return true;
  }
  return !env("QT_QPA_PLATFORM").empty() || !env("DISPLAY").empty() || !env("WAYLAND_DISPLAY").empty();
}

}  // namespace quarrow::gui
