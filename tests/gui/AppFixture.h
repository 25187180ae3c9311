#pragma once
// A whole application on the offscreen platform: scripted dialogs, the offline
// output device, no virtual MIDI port, and settings in a folder of the test's own.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTest>
#include <memory>

#include "app/CThumperApp.h"
#include "audio/OfflineBackend.h"
#include "support/TestSupport.h"

namespace thumper::test {

class AppFixture : public ::testing::Test {
 protected:
  TempDir settingsDir;
  TempDir files;
  ScriptedUi ui;
  std::unique_ptr<CThumperApp> app;

  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settingsDir.path().string()));
  }

  // Starts the program as if run with these arguments; false when it would end.
  bool Start(const std::string& file = {}) {
    app = std::make_unique<CThumperApp>(MakeOptions());
    AppCommandLine line;
    line.strFile = file;
    const bool started = app->InitInstance(line);
    if (started) ForgetMidiNotices();
    return started;
  }
  // This machine has no MIDI system: every update step says the drum set's MIDI
  // device cannot be opened. That notice is the MIDI input's business, not ours.
  void ForgetMidiNotices() {
    std::erase_if(ui.messages, [](const ScriptedUi::Message& m) {
      return m.text.find("MIDI input device") != std::string::npos;
    });
  }
  std::vector<std::string> Texts() {
    ForgetMidiNotices();
    return ui.MessageTexts();
  }
  // Ends the program (the teardown of an exit), keeping the settings.
  void Stop() { app.reset(); }

  AppOptions MakeOptions() {
    AppOptions options;
    options.pUi = &ui;
    options.makeBackend = [] { return MakeOfflineBackend(); };
    options.bVirtualMidiPort = false;
    options.bLoadInBackground = false;  // tests look at voices right after a load
    return options;
  }

  CMainFrame& Frame() { return *app->MainFrame(); }
  CThumperDoc& Doc() { return app->Doc(); }
  QString Title() { return Frame().windowTitle(); }

  // A drum set file on disk: an empty one, saved by a document of its own.
  std::string MakeDrumSet(const std::string& name) {
    CThumperDoc doc;
    doc.OnNewDocument();
    ScriptedUi quiet;
    const std::string path = files / name;
    EXPECT_TRUE(doc.OnSaveDocument(path, quiet));
    return path;
  }

  // The texts of the File menu's items, separators as "-".
  std::vector<std::string> FileMenuTexts() {
    std::vector<std::string> texts;
    for (QAction* action : Frame().FileMenu()->actions())
      texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return texts;
  }
  QAction* FileMenuItem(const std::string& text) {
    for (QAction* action : Frame().FileMenu()->actions())
      if (action->text().toStdString() == text) return action;
    return nullptr;
  }
};

}  // namespace thumper::test
