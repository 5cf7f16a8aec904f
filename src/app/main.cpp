// sorvex: the main window on the default sound device.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/modem_device_factory.h"
#include "ui/main_window.h"
#include "util/config.h"

namespace {

// Without any of these Qt finds no display and aborts.
bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "sorvex: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
                 "unset); use sorvex-tool without one\n");
    return 2;
  }
  QApplication app(argc, argv);
  const std::string dir = QCoreApplication::applicationDirPath().toStdString();
  sorvex::TForm1::Options options;
  options.IniFileName = sorvex::ChooseIniFileName(dir);
  options.ExecutableDir = dir;
  options.OpenDevice = [](const std::string& settingsFileName) {
    return sorvex::OpenModemDevice(settingsFileName);
  };
  sorvex::TForm1 form(std::move(options));
  form.show();
  return app.exec();
}
