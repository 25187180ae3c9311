// The Sound Properties dialog on its own: what it shows, how OK checks the
// fields in member order and keeps the dialog open at the first that fails,
// Cancel and Escape, its caption, its layout from template 146 and the picture
// of the velocity schemes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "edit/CSoundPropsDlg.h"
#include "edit/DialogUnits.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

class SoundPropsDlgTest : public ::testing::Test {
 protected:
  SoundPropsDlgTest() {
    dlg.m_strLayer1 = "/kit/kick.wav";
    dlg.m_strLayer2 = "Copy of layer 1";
    dlg.m_strLayer3 = "/kit/kick-soft.wav";
    dlg.m_strLayer4 = "Copy of layer 3";
    dlg.m_strLayer5 = "/kit/kick-ghost.wav";
    dlg.m_nNote = 25;
    dlg.m_nScheme = 5;
    dlg.m_nVolume = -4000;
  }

  void Show() {
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  }
  // OK; true when the dialog closed accepted.
  bool PressOk() {
    dlg.OkButton()->click();
    return dlg.result() == QDialog::Accepted && !dlg.isVisible();
  }
  QLineEdit* Edit(const char* id) { return dlg.findChild<QLineEdit*>(QString::fromLatin1(id)); }
  QStringList LabelTexts() {
    QStringList texts;
    for (const QLabel* l : dlg.findChildren<QLabel*>()) texts << l->text();
    return texts;
  }

  ScriptedUi ui;
  CSoundPropsDlg dlg{ui};
};

TEST(SoundPropsDlgConstruction, StartsWithEmptyTextsAndZeroes) {
  ScriptedUi ui;
  CSoundPropsDlg dlg(ui);
  for (const std::string* s :
       {&dlg.m_strLayer1, &dlg.m_strLayer2, &dlg.m_strLayer3, &dlg.m_strLayer4, &dlg.m_strLayer5})
    EXPECT_TRUE(s->empty());
  EXPECT_EQ(dlg.m_nCutNote, 0);
  EXPECT_EQ(dlg.m_nNote, 0);
  EXPECT_EQ(dlg.m_nScheme, 0);
  EXPECT_EQ(dlg.m_bCut, 0);
  EXPECT_EQ(dlg.m_nVolume, 0);
}

TEST_F(SoundPropsDlgTest, ShowingPutsTheMembersIntoTheControls) {
  dlg.m_bCut = 1;
  dlg.m_nCutNote = 7;
  Show();
  EXPECT_EQ(Edit("1009")->text(), "/kit/kick.wav");
  EXPECT_EQ(Edit("1010")->text(), "Copy of layer 1");
  EXPECT_EQ(Edit("1011")->text(), "/kit/kick-soft.wav");
  EXPECT_EQ(Edit("1012")->text(), "Copy of layer 3");
  EXPECT_EQ(Edit("1013")->text(), "/kit/kick-ghost.wav");
  EXPECT_EQ(Edit("1023")->text(), "25");
  EXPECT_EQ(Edit("1024")->text(), "5");
  EXPECT_EQ(Edit("1022")->text(), "7");
  EXPECT_EQ(Edit("1039")->text(), "-4000");
  EXPECT_TRUE(dlg.CutBox()->isChecked());
  // The layer texts and the note number are shown, not edited.
  for (const char* id : {"1009", "1010", "1011", "1012", "1013", "1023"}) {
    EXPECT_TRUE(Edit(id)->isReadOnly()) << id;
    EXPECT_FALSE(Edit(id)->hasFrame()) << id;
  }
  for (const char* id : {"1022", "1024", "1039"}) {
    EXPECT_FALSE(Edit(id)->isReadOnly()) << id;
    EXPECT_TRUE(Edit(id)->hasFrame()) << id;
  }
}

TEST_F(SoundPropsDlgTest, StoredBytesThatAreNotUtf8AreShownDecodedAndKept) {
  dlg.m_strLayer1 = "C:\\Samples\\caf\xE9.wav";  // Windows-1252, as old drum sets carry
  Show();
  EXPECT_EQ(Edit("1009")->text(), QString::fromUtf8("C:\\Samples\\caf\u00e9.wav"));
  ASSERT_TRUE(PressOk());
  EXPECT_EQ(dlg.m_strLayer1, "C:\\Samples\\caf\xE9.wav");
}

TEST_F(SoundPropsDlgTest, OkTakesTheEditedFieldsBack) {
  Show();
  Edit("1024")->setText("2");
  Edit("1039")->setText(" -8000 ");
  dlg.CutBox()->setChecked(true);
  Edit("1022")->setText("128");
  ASSERT_TRUE(PressOk());
  EXPECT_EQ(dlg.m_nScheme, 2);
  EXPECT_EQ(dlg.m_nVolume, -8000);
  EXPECT_EQ(dlg.m_bCut, 1);
  EXPECT_EQ(dlg.m_nCutNote, 128);
  EXPECT_EQ(dlg.m_nNote, 25);
  EXPECT_EQ(dlg.m_strLayer5, "/kit/kick-ghost.wav");
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SoundPropsDlgTest, OutOfRangeOrNonNumericFieldKeepsTheDialogOpenAndFocused) {
  struct Case {
    const char* id;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"1039", "-9000", "Please enter an integer between -8000 and 0."},
      {"1039", "1", "Please enter an integer between -8000 and 0."},
      {"1024", "6", "Please enter an integer between 1 and 5."},
      {"1024", "0", "Please enter an integer between 1 and 5."},
      {"1022", "129", "Please enter an integer between 0 and 128."},
      {"1022", "-1", "Please enter an integer between 0 and 128."},
      {"1024", "two", "Please enter an integer."},
      {"1039", "", "Please enter an integer."},
      {"1022", "3.5", "Please enter an integer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id) + " = '" + c.text + "'");
    ui.messages.clear();
    dlg.m_nScheme = 3;
    Show();
    Edit(c.id)->setText(QString::fromLatin1(c.text));
    EXPECT_FALSE(PressOk());
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(ui.messages[0].caption, "Thumper");
    EXPECT_TRUE(Edit(c.id)->hasFocus());
    EXPECT_EQ(Edit(c.id)->selectedText(), Edit(c.id)->text());
    // Nothing is taken back until every field passes.
    EXPECT_EQ(dlg.m_nScheme, 3);
    EXPECT_EQ(dlg.m_nVolume, -4000);
    dlg.CancelButton()->click();
    EXPECT_FALSE(dlg.isVisible());
  }
}

TEST_F(SoundPropsDlgTest, FieldsAreCheckedInMemberOrderAndOnlyTheFirstFailureIsShown) {
  Show();
  Edit("1039")->setText("-9000");
  Edit("1024")->setText("9");
  Edit("1022")->setText("500");
  EXPECT_FALSE(PressOk());
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"Please enter an integer between 0 and 128."});
  EXPECT_TRUE(Edit("1022")->hasFocus());
  Edit("1022")->setText("0");
  EXPECT_FALSE(PressOk());
  EXPECT_EQ(ui.MessageTexts().back(), "Please enter an integer between 1 and 5.");
  EXPECT_TRUE(Edit("1024")->hasFocus());
  Edit("1024")->setText("1");
  EXPECT_FALSE(PressOk());
  EXPECT_EQ(ui.MessageTexts().back(), "Please enter an integer between -8000 and 0.");
  Edit("1039")->setText("0");
  EXPECT_TRUE(PressOk());
  EXPECT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(dlg.m_nVolume, 0);
  EXPECT_EQ(dlg.m_nScheme, 1);
}

TEST_F(SoundPropsDlgTest, LayerTextOverTheLimitFailsFirstAndOnlyCancelCloses) {
  // Layer 5 comes before Layer 4 in the member order.
  dlg.m_strLayer4 = "/" + std::string(300, 'd') + ".wav";
  dlg.m_strLayer5 = "/" + std::string(256, 'e');  // 257 characters
  Show();
  Edit("1039")->setText("-9000");
  EXPECT_FALSE(PressOk());
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"Please enter no more than 256 characters."});
  EXPECT_TRUE(Edit("1013")->hasFocus());
  EXPECT_FALSE(PressOk());
  EXPECT_TRUE(dlg.isVisible());
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(SoundPropsDlgTest, ExactlyTwoHundredFiftySixCharactersPass) {
  dlg.m_strLayer1 = "/" + std::string(255, 'k');
  Show();
  EXPECT_TRUE(PressOk());
  EXPECT_EQ(dlg.m_strLayer1.size(), 256u);
}

TEST_F(SoundPropsDlgTest, CancelAndEscapeLeaveTheMembersAsTheyWere) {
  Show();
  Edit("1024")->setText("1");
  Edit("1039")->setText("-100");
  dlg.CancelButton()->click();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_EQ(dlg.m_nScheme, 5);
  EXPECT_EQ(dlg.m_nVolume, -4000);
  Show();
  EXPECT_EQ(Edit("1024")->text(), "5");  // shown afresh from the members
  Edit("1024")->setText("1");
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.m_nScheme, 5);
}

TEST_F(SoundPropsDlgTest, EnterPressesTheDefaultOk) {
  Show();
  EXPECT_TRUE(dlg.OkButton()->isDefault());
  Edit("1039")->setText("-2500");
  QTest::keyClick(Edit("1039"), Qt::Key_Return);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_nVolume, -2500);
}

TEST_F(SoundPropsDlgTest, CaptionHasNoCloseBoxOrSystemMenu) {
  Show();
  EXPECT_EQ(dlg.windowTitle(), "Sound Properties");
  const Qt::WindowFlags f = dlg.windowFlags();
  EXPECT_TRUE(f & Qt::WindowTitleHint);
  EXPECT_FALSE(f & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(f & Qt::CustomizeWindowHint);
}

TEST_F(SoundPropsDlgTest, TextsAreTheDialogsOwn) {
  Show();
  const QStringList labels = LabelTexts();
  for (const char* text :
       {"Layer 1:", "Layer 2:", "Layer 3:", "Layer 4:", "Layer 5:",
        "Midi note value of this sound is", "Use velocity layer scheme nr. [1-5, see curves below]",
        "this sound cuts midi note nr.", "0 = Zero Dynamics    -8000 = Full Dynamics"})
    EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
  QStringList groups;
  for (const QGroupBox* g : dlg.findChildren<QGroupBox*>()) groups << g->title();
  EXPECT_EQ(groups,
            (QStringList{"Layer velocity limits", "Cut function", "Layer Output Volume Scaling"}));
  EXPECT_EQ(dlg.CutBox()->text(), "on ");
  EXPECT_EQ(dlg.CutBox()->layoutDirection(), Qt::RightToLeft);  // text left of the box
  EXPECT_EQ(dlg.OkButton()->text(), "OK");
  EXPECT_EQ(dlg.CancelButton()->text(), "Cancel");
}

TEST_F(SoundPropsDlgTest, LaidOutFromTheTemplateInDialogUnits) {
  Show();
  const DialogBaseUnits du = dlg.BaseUnits();
  // The font's height; the width of its letters, never less than its nominal average.
  EXPECT_EQ(du.y, DialogBaseUnits::Of(dlg.font()).y);
  EXPECT_GE(du.x, DialogBaseUnits::Of(dlg.font()).x);
  EXPECT_EQ(dlg.size(), QSize(341 * du.x / 4, 214 * du.y / 8));
  EXPECT_EQ(dlg.OkButton()->geometry(), du.ToPixels(230, 182, 43, 14));
  EXPECT_EQ(dlg.CancelButton()->geometry(), du.ToPixels(280, 182, 38, 14));
  EXPECT_EQ(Edit("1009")->geometry(), du.ToPixels(42, 7, 190, 12));
  EXPECT_EQ(Edit("1013")->geometry(), du.ToPixels(42, 55, 190, 12));
  EXPECT_EQ(Edit("1023")->geometry(), du.ToPixels(115, 70, 20, 13));
  EXPECT_EQ(Edit("1024")->geometry(), du.ToPixels(204, 97, 20, 12));
  EXPECT_EQ(Edit("1022")->geometry(), du.ToPixels(291, 143, 20, 12));
  EXPECT_EQ(Edit("1039")->geometry(), du.ToPixels(126, 185, 45, 12));
  EXPECT_EQ(dlg.CutBox()->geometry(), du.ToPixels(288, 103, 21, 10));
  EXPECT_EQ(dlg.CurvesPicture()->geometry(), du.ToPixels(15, 114, 244, 49));
  // In pixels, for a font with 6 x 13 base units as a typical desktop's: the
  // conversion the layout rests on.
  const DialogBaseUnits typical{6, 13};
  EXPECT_EQ(typical.ToPixels(15, 114, 244, 49), QRect(22, 185, 366, 79));
  EXPECT_EQ(typical.ToPixels(230, 182, 43, 14), QRect(345, 295, 64, 23));
  // Every control lies inside the dialog.
  for (const QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    EXPECT_TRUE(dlg.rect().contains(w->geometry())) << w->objectName().toStdString();
}

TEST_F(SoundPropsDlgTest, EveryLabelIsReadableInItsRectangle) {
  Show();
  for (const QLabel* l : dlg.findChildren<QLabel*>()) {
    // Wrapped as the label wraps it, the text needs no more height than it has.
    EXPECT_LE(l->heightForWidth(l->width()), l->height()) << l->text().toStdString();
  }
  // The check box's text has the room the style gives it beside the box.
  QStyleOptionButton option;
  option.initFrom(dlg.CutBox());
  option.text = dlg.CutBox()->text();
  const QRect text =
      dlg.CutBox()->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, dlg.CutBox());
  EXPECT_GE(text.width(), dlg.CutBox()->fontMetrics().horizontalAdvance("on"));
}

// The picture's colour at a point of scheme panel k (0..4), x and y as fractions
// of the panel.
QRgb CurvesPixel(const QImage& image, int k, double fx, double fy) {
  const int left = image.width() * k / 5, right = image.width() * (k + 1) / 5;
  return image.pixel(left + static_cast<int>((right - left) * fx),
                     static_cast<int>(image.height() * fy));
}

TEST_F(SoundPropsDlgTest, CurvesPictureDrawsTheStepsOfEachScheme) {
  Show();
  const QImage picture = dlg.CurvesPicture()->grab().toImage();
  ASSERT_FALSE(picture.isNull());
  // Paper: the background, the highlight of the current scheme and the faint
  // level lines; anything else is the staircase, its fill or the number.
  const auto ink = [](QRgb c) {
    return c != qRgb(255, 255, 255) && c != qRgb(255, 246, 214) && c != qRgb(232, 232, 232);
  };
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    // At the loud end every scheme reaches its top step: filled nearly to the top.
    EXPECT_TRUE(ink(CurvesPixel(picture, k, 0.85, 0.5)));
    EXPECT_TRUE(ink(CurvesPixel(picture, k, 0.85, 0.35)));
    // Below every scheme's lowest threshold only the lowest step is filled.
    EXPECT_TRUE(ink(CurvesPixel(picture, k, 0.12, 0.85)));
    EXPECT_FALSE(ink(CurvesPixel(picture, k, 0.12, 0.45)));
  }
  // A drum set's own thresholds change the picture; the same ones do not.
  dlg.SetCurveThresholds(kDefaultThresholds);
  EXPECT_EQ(dlg.CurvesPicture()->grab().toImage(), picture);
  ThresholdTable flat = kDefaultThresholds;
  flat[0] = {10, 8, 6, 4};
  dlg.SetCurveThresholds(flat);
  EXPECT_NE(dlg.CurvesPicture()->grab().toImage(), picture);
}

TEST_F(SoundPropsDlgTest, CurvesPicturePicksOutTheSchemeTheFieldNames) {
  Show();
  const QImage scheme5 = dlg.CurvesPicture()->grab().toImage();
  Edit("1024")->setText("2");
  const QImage scheme2 = dlg.CurvesPicture()->grab().toImage();
  // Only the panels of schemes 2 and 5 change.
  for (int k = 0; k < 5; ++k) {
    const bool same = CurvesPixel(scheme5, k, 0.5, 0.1) == CurvesPixel(scheme2, k, 0.5, 0.1);
    EXPECT_EQ(same, k != 1 && k != 4) << k;
  }
  Edit("1024")->setText("x");
  const QImage none = dlg.CurvesPicture()->grab().toImage();
  EXPECT_EQ(CurvesPixel(none, 1, 0.5, 0.1), CurvesPixel(none, 0, 0.5, 0.1));
}

}  // namespace
}  // namespace thumper::test
