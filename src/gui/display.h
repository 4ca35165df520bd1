#pragma once
// Whether a window can be shown at all. Qt aborts with a long diagnostic when it finds no display
// server, so the wizard asks first and says so in one line.

#include <functional>
#include <string>

namespace quarrow::gui {

// Reads an environment variable; empty when unset.
using EnvironmentLookup = std::function<std::string(const char* name)>;

// True when a platform was chosen (QT_QPA_PLATFORM, or a -platform argument) or an X11 or Wayland
// display is named.
bool DisplayAvailable(const EnvironmentLookup& env, int argc, char** argv);

// The line printed when there is none.
inline constexpr const char* kNoDisplayMessage =
    "quarrow-wizard: no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it from a "
    "desktop session, or use the quarrow command line";

}  // namespace quarrow::gui
