// The window's start: the module that `thumper` loads only when no subcommand
// is given, so the command line starts without linking the GUI libraries.

#include <cstdlib>
#include <iostream>

#include <QApplication>

#include "app/CThumperApp.h"
#include "app/QuitSignals.h"
#include "app/cli/CommandLine.h"

extern "C" __attribute__((visibility("default"))) int thumper_window_main(int argc, char** argv) {
  const thumper::AppCommandLine line =
      thumper::ParseAppCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.strError.empty()) {
    std::cerr << "thumper: " << line.strError << "\n" << thumper::cli::UsageText();
    return thumper::cli::kExitUsage;
  }
  // Without a display Qt would abort with a note about plugins; say what to do instead.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !(platform && *platform)) {
    std::cerr
        << "thumper: there is no display to open the window on (DISPLAY is not set).\n"
           "Run it on a desktop or under xvfb-run, or use 'thumper play KIT.drums' for a drum\n"
           "module without a window.\n";
    return thumper::cli::kExitUsage;
  }
  QApplication qtApp(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(thumper::kSettingsApplication));
  QApplication::setApplicationVersion(QStringLiteral(THUMPER_VERSION));
  thumper::CThumperApp app;
  // Before the start-up, so that a signal during it is answered once the window is up.
  bool closing = false;
  thumper::QuitSignals quit([&app, &closing] {
    if (closing) {
      // Asked again while the save question waits (perhaps on a display nobody
      // sees): the user wants out now.
      std::cerr << "thumper: stopped without saving\n";
      std::_Exit(130);
    }
    if (!app.MainFrame()) return;
    if (app.UnderSession()) {
      // The session manager saves when it means to; its SIGTERM ends us now.
      app.EndForSession();
      return;
    }
    closing = true;
    app.MainFrame()->close();
    closing = false;
  });
  if (!app.InitInstance(line)) return thumper::cli::kExitFile;
  return app.Run();
}
