// quarrow-wizard: the wizard in a window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "gui/display.h"
#include "gui/wizard_app.h"

int main(int argc, char** argv) {
  const auto env = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  if (!quarrow::gui::DisplayAvailable(env, argc, argv)) {
    std::fprintf(stderr, "%s\n", quarrow::gui::kNoDisplayMessage);
    return 1;
  }
  QApplication app(argc, argv);
  return quarrow::gui::RunWizard(app);
}
