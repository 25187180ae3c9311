// The Options dialog: what it shows when it opens, the choices the user makes in
// it and what OK and Cancel then do to the running program, the channel check,
// and its layout from template 150.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>

#include "edit/DialogUnits.h"
#include "engine/OptionsTestSupport.h"
#include "engine/ShowOptions.h"
#include "midi/COptionsDlg.h"

namespace thumper::test {
namespace {

class OptionsDlgTest : public OptionsRuntimeTest {
 protected:
  void SetUp() override {
    // No JACK server of the tester's own may add MIDI devices to these tests.
    if (const char* server = std::getenv("JACK_DEFAULT_SERVER")) savedServer = server;
    setenv("JACK_DEFAULT_SERVER", "thumper-options-no-server", 1);
    LoadKit();
  }
  void TearDown() override {
    if (savedServer)
      setenv("JACK_DEFAULT_SERVER", savedServer->c_str(), 1);
    else
      unsetenv("JACK_DEFAULT_SERVER");
  }

  // ShowOptions with a run that shows the dialog and lets act use it as the user would.
  bool Show(const std::function<void(COptionsDlg&)>& act) {
    return ShowOptions(runtime, ui, [&](COptionsDlg& dlg) {
      dlg.show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
      act(dlg);
      EXPECT_FALSE(dlg.isVisible()) << "the dialog is still open";
      return dlg.result() == QDialog::Accepted;
    });
  }

  static void TypeChannel(COptionsDlg& dlg, const QString& text) {
    dlg.ChannelEdit()->selectAll();
    QTest::keyClicks(dlg.ChannelEdit(), text);
    if (text.isEmpty()) dlg.ChannelEdit()->clear();
  }

  static MidiPortList Ports(std::vector<std::string> names) {
    MidiPortList ports;
    ports.strApi = "JACK";
    ports.names = std::move(names);
    return ports;
  }

  std::optional<std::string> savedServer;
};

TEST_F(OptionsDlgTest, OpensWithTheChannelTheDeviceAndTheDriverInUse) {
  runtime.m_trigger.SetChannel(3);
  COptionsDlg dlg(ui);
  PrepareOptions(runtime, dlg, Ports({"Midi Through", "pad", "keys"}));
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_EQ(dlg.ChannelEdit()->text().toStdString(), "3");
  ASSERT_EQ(dlg.m_cbMidiIn->count(), 3);
  EXPECT_EQ(dlg.m_cbMidiIn->itemText(2).toStdString(), "keys");
  EXPECT_EQ(dlg.m_cbMidiIn->currentIndex(), 1);  // the drum set's device 1
  ASSERT_EQ(dlg.m_cbDriver->count(), 3);
  EXPECT_EQ(dlg.m_cbDriver->itemText(0).toStdString(), "Default output device");
  EXPECT_EQ(dlg.m_cbDriver->itemText(2).toStdString(), "No audio output");
  EXPECT_EQ(dlg.m_cbDriver->currentIndex(), 0);
  // Filling the boxes chose nothing on the user's behalf.
  EXPECT_EQ(dlg.m_nMidiIn, 1);
  EXPECT_EQ(dlg.m_nDriver, 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(OptionsDlgTest, ChannelTenMakesTheTriggerListenToChannelTen) {
  EXPECT_TRUE(Show([](COptionsDlg& dlg) {
    EXPECT_EQ(dlg.ChannelEdit()->text().toStdString(), "1");
    TypeChannel(dlg, "10");
    dlg.OkButton()->click();
  }));
  EXPECT_EQ(runtime.m_trigger.Channel(), 10);
  EXPECT_GT(LevelOf(0x99), 100.0);
  EXPECT_EQ(LevelOf(0x90), 0.0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(OptionsDlgTest, OkUntouchedChangesNeitherDeviceNorDriver) {
  const SampleVoice* voice = runtime.m_pVoices[LayerIndex(0, 0)].get();
  EXPECT_TRUE(Show([](COptionsDlg& dlg) { QTest::keyClick(dlg.OkButton(), Qt::Key_Return); }));
  EXPECT_TRUE(drivers->opened.empty());
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(0, 0)].get(), voice);
  // A close or an open of the MIDI device would have said so on this machine.
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.notices.empty());
  EXPECT_EQ(doc.m_nMidiInDevice, 1);
  EXPECT_EQ(runtime.m_trigger.Channel(), 1);
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(OptionsDlgTest, AChannelOutsideOneToSixteenKeepsTheDialogOpen) {
  struct Case {
    QString text;
    std::string message;
  };
  const Case cases[] = {{"0", "Please enter an integer between 1 and 16."},
                        {"17", "Please enter an integer between 1 and 16."},
                        {"x", "Please enter an integer."},
                        {"", "Please enter an integer."}};
  EXPECT_FALSE(Show([&](COptionsDlg& dlg) {
    for (const Case& c : cases) {
      ui.messages.clear();
      TypeChannel(dlg, c.text);
      dlg.OkButton()->click();
      EXPECT_TRUE(dlg.isVisible()) << c.message;
      EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{c.message});
      EXPECT_EQ(ui.messages[0].caption, "Thumper");
      EXPECT_TRUE(dlg.ChannelEdit()->hasSelectedText() || dlg.ChannelEdit()->text().isEmpty());
    }
    dlg.CancelButton()->click();
  }));
  EXPECT_EQ(runtime.m_trigger.Channel(), 1);
}

TEST_F(OptionsDlgTest, CancelChangesNothing) {
  const SampleVoice* voice = runtime.m_pVoices[LayerIndex(0, 0)].get();
  EXPECT_FALSE(Show([](COptionsDlg& dlg) {
    TypeChannel(dlg, "5");
    QTest::keyClick(dlg.m_cbDriver, Qt::Key_Down);
    QTest::keyClick(dlg.m_cbMidiIn, Qt::Key_Home);  // device 0, whatever this machine has
    EXPECT_EQ(dlg.m_nDriver, 1);
    EXPECT_EQ(dlg.m_nMidiIn, 0);
    QTest::keyClick(&dlg, Qt::Key_Escape);
  }));
  EXPECT_EQ(runtime.m_trigger.Channel(), 1);
  EXPECT_EQ(doc.m_nMidiInDevice, 1);
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 0);
  EXPECT_TRUE(drivers->opened.empty());
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(0, 0)].get(), voice);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(OptionsDlgTest, ChoosingAnotherDriverSwitchesAndTheDrumSetStillPlays) {
  EXPECT_TRUE(Show([](COptionsDlg& dlg) {
    QTest::keyClick(dlg.m_cbDriver, Qt::Key_End);
    EXPECT_EQ(dlg.m_cbDriver->currentText().toStdString(), "No audio output");
    dlg.OkButton()->click();
  }));
  EXPECT_EQ(drivers->opened, std::vector<std::string>{"No audio output"});
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 2);
  EXPECT_GT(LevelOf(0x90), 100.0);
  // The next time the dialog shows the driver now in use.
  EXPECT_TRUE(Show([](COptionsDlg& dlg) {
    EXPECT_EQ(dlg.m_cbDriver->currentIndex(), 2);
    QTest::keyClick(dlg.m_cbDriver, Qt::Key_Home);
    dlg.OkButton()->click();
  }));
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 0);
  EXPECT_GT(LevelOf(0x90), 100.0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(OptionsDlgTest, OnlyThirtyDevicesAreListedInTheirOwnOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i)
    names.push_back(std::string(1, char('z' - i % 26)) + std::to_string(i));
  COptionsDlg dlg(ui);
  PrepareOptions(runtime, dlg, Ports(names));
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  ASSERT_EQ(dlg.m_cbMidiIn->count(), 30);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(dlg.m_cbMidiIn->itemText(i).toStdString(), names[i]);
  // Choosing the last one chooses its device number.
  QTest::keyClick(dlg.m_cbMidiIn, Qt::Key_End);
  EXPECT_EQ(dlg.m_nMidiIn, 29);
}

TEST_F(OptionsDlgTest, WithoutMidiDevicesTheBoxHoldsOneEmptyEntry) {
  doc.m_nMidiInDevice = 0;
  COptionsDlg dlg(ui);
  PrepareOptions(runtime, dlg, Ports({}));
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  ASSERT_EQ(dlg.m_cbMidiIn->count(), 1);
  EXPECT_EQ(dlg.m_cbMidiIn->itemText(0).toStdString(), "");
  EXPECT_EQ(dlg.m_cbMidiIn->currentIndex(), 0);
}

TEST_F(OptionsDlgTest, ADeviceBeyondTheListShowsNoneAndStaysChosen) {
  doc.m_nMidiInDevice = 4;
  COptionsDlg dlg(ui);
  PrepareOptions(runtime, dlg, Ports({"pad"}));
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_EQ(dlg.m_cbMidiIn->currentIndex(), -1);
  dlg.OkButton()->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_nMidiIn, 4);
}

TEST_F(OptionsDlgTest, LaidOutFromTemplate150) {
  COptionsDlg dlg(ui);
  PrepareOptions(runtime, dlg, Ports({"Midi Through", "pad"}));
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  const DialogBaseUnits du = DialogBaseUnits::Of(dlg.font());
  EXPECT_EQ(dlg.windowTitle().toStdString(), "Options");
  EXPECT_EQ(dlg.size(), QSize(187 * du.x / 4, 132 * du.y / 8));
  EXPECT_EQ(dlg.findChild<QPushButton*>("IDOK")->geometry(), du.ToPixels(40, 99, 50, 14));
  EXPECT_EQ(dlg.findChild<QPushButton*>("IDCANCEL")->geometry(), du.ToPixels(96, 99, 50, 14));
  EXPECT_TRUE(dlg.OkButton()->isDefault());
  EXPECT_EQ(dlg.OkButton()->text().toStdString(), "OK");
  EXPECT_EQ(dlg.CancelButton()->text().toStdString(), "Cancel");
  QLineEdit* channel = dlg.findChild<QLineEdit*>("1030");
  ASSERT_EQ(channel, dlg.ChannelEdit());
  EXPECT_EQ(channel->geometry(), du.ToPixels(81, 11, 20, 12));
  EXPECT_EQ(channel->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_TRUE(channel->hasFrame());
  for (const char* id : {"1032", "1037"}) {
    QComboBox* box = dlg.findChild<QComboBox*>(id);
    ASSERT_NE(box, nullptr) << id;
    EXPECT_FALSE(box->isEditable()) << id;
    EXPECT_EQ(box->x(), du.ToPixelsX(10)) << id;
    EXPECT_EQ(box->width(), du.ToPixelsX(175) - du.ToPixelsX(10)) << id;
  }
  EXPECT_EQ(dlg.m_cbMidiIn->objectName().toStdString(), "1032");
  EXPECT_EQ(dlg.m_cbDriver->objectName().toStdString(), "1037");
  EXPECT_EQ(dlg.m_cbMidiIn->y(), du.ToPixelsY(40));
  EXPECT_EQ(dlg.m_cbDriver->y(), du.ToPixelsY(70));
  // The open list of the device box is the taller one, as in the template.
  EXPECT_GT(dlg.m_cbMidiIn->maxVisibleItems(), dlg.m_cbDriver->maxVisibleItems());
  std::map<std::string, QLabel*> labels;
  for (QLabel* label : dlg.findChildren<QLabel*>()) labels[label->text().toStdString()] = label;
  ASSERT_EQ(labels.size(), 3u);
  struct Text {
    const char* text;
    QRect place;
  };
  for (const Text& t : {Text{"Midi input channel", du.ToPixels(12, 13, 66, 10)},
                        Text{"Use Midi Input:", du.ToPixels(11, 30, 48, 8)},
                        Text{"Audio Output Driver:", du.ToPixels(12, 60, 65, 8)}}) {
    QLabel* label = labels[t.text];
    ASSERT_NE(label, nullptr) << t.text;
    // At its place, and never clipped: a wider desktop font may only widen it.
    EXPECT_EQ(label->geometry().topLeft(), t.place.topLeft()) << t.text;
    EXPECT_EQ(label->height(), t.place.height()) << t.text;
    EXPECT_GE(label->width(), t.place.width()) << t.text;
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
        << t.text;
  }
  EXPECT_LT(labels["Midi input channel"]->geometry().right(), channel->geometry().left());
  // Every control lies inside the dialog.
  for (QWidget* child : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    EXPECT_TRUE(dlg.rect().contains(child->geometry())) << child->objectName().toStdString();
  if (const char* out = std::getenv("THUMPER_DIALOG_PNG")) dlg.grab().save(out);
}

}  // namespace
}  // namespace thumper::test
