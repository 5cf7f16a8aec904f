// sorvex: the main window on the signal source its INI names (by default
// the default sound device).
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/audio_source.h"
#include "audio/portaudio_stream.h"
#include "monitor/monitor.h"
#include "ui/kp/kp_form.h"
#include "ui/kp/tit_form.h"
#include "ui/window/main_window.h"
#include "ui/window/signal_close.h"
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
  // Qt has set the C library's locale from the desktop's; numbers in the
  // INI, the settings files and the journals are written and read as C does.
  std::setlocale(LC_NUMERIC, "C");
  // Every text of the program is Russian; the framework's own buttons and
  // file dialogs follow it whatever the session's locale.
  QTranslator framework;
  if (framework.load(QStringLiteral("qtbase_ru"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&framework);
  // The window's own messages must reach stderr while PortAudio works; the
  // status bar says why a device did not open.
  sorvex::TPortAudioStream::SetQuietStderr(false);
  const std::string dir = QCoreApplication::applicationDirPath().toStdString();
  sorvex::TForm1::Options options;
  options.IniFileName = sorvex::ChooseIniFileName(dir);
  options.ExecutableDir = dir;
  options.OpenSource = [](const std::string& settingsFileName, const sorvex::TAudioSource& source) {
    return sorvex::OpenSourceDevice(settingsFileName, source);
  };
  options.ListDevices = [] { return sorvex::TPortAudioStream::DuplexDeviceNames(); };
  // The three windows in this order; they go in the reverse one, so the KP
  // windows never outlive the record list they read.
  sorvex::TForm1 form(std::move(options));
  sorvex::TFormKp formKp(form.IniFileName(), form.Monitor().KpStats());
  sorvex::TFormTit formTit(form.IniFileName(), form.Monitor().KpStats());
  form.SetKpFormHooks([&formKp] { formKp.ShowRestored(); }, [&formKp] { formKp.Update(); });
  // SIGINT and SIGTERM close the window: every window writes its keys as it
  // goes, the device is closed, and the status is 0.
  sorvex::TSignalClose signalClose([&form] { form.CloseForSignal(); });
  form.show();
  const int status = app.exec();
  form.SetKpFormHooks({}, {});
  return status;
}
