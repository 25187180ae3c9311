#include "edit/CSoundPropsDlg.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <optional>

#include "drumset/TextEncoding.h"
#include "edit/DialogExchange.h"
#include "edit/DialogUnits.h"

namespace thumper {
namespace {

// The picture of the five velocity schemes: one small panel per scheme, each a
// staircase from the quietest layer at velocity 0 up to the loudest at 127,
// stepping at the scheme's thresholds, numbered as the scheme field counts them.
// The scheme the field names is picked out, so the user sees what a number means.
class VelocityCurves : public QWidget {
 public:
  explicit VelocityCurves(QWidget* parent) : QWidget(parent) {}

  void SetThresholds(const ThresholdTable& thresholds) {
    m_nThreshold = thresholds;
    update();
  }
  void SetCurrentScheme(int scheme) {  // 0..4, or -1 for none
    if (scheme == m_nCurrent) return;
    m_nCurrent = scheme;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect all = rect();
    p.fillRect(all, QColor(255, 255, 255));
    p.setPen(QColor(128, 128, 128));
    p.drawRect(all.adjusted(0, 0, -1, -1));
    for (int k = 0; k < kSchemeCount; ++k) {
      const int left = all.width() * k / kSchemeCount;
      const int right = all.width() * (k + 1) / kSchemeCount;
      DrawScheme(p, QRect(left, 0, right - left, all.height()), k);
    }
  }

 private:
  void DrawScheme(QPainter& p, const QRect& cell, int k) {
    const bool current = k == m_nCurrent;
    if (current) p.fillRect(cell.adjusted(1, 1, -1, -1), QColor(255, 246, 214));
    if (k > 0) {
      p.setPen(QColor(200, 200, 200));
      p.drawLine(cell.left(), cell.top() + 1, cell.left(), cell.bottom() - 1);
    }
    // The plot area, inside a small margin.
    const int margin = std::max(3, cell.width() / 14);
    const QRect plot = cell.adjusted(margin, margin, -margin, -margin);
    if (plot.width() < 10 || plot.height() < 10) return;
    const auto xOf = [&](int velocity) {
      return plot.left() + (plot.width() - 1) * velocity / 127;
    };
    // Layer 0 (loudest) at the top, layer 4 one step above the floor.
    const auto yOf = [&](int layer) {
      return plot.bottom() - (plot.height() - 1) * (kLayerCount - layer) / kLayerCount;
    };

    // Faint level lines, so the steps read as layers 5 to 1.
    p.setPen(QColor(232, 232, 232));
    for (int l = 0; l < kLayerCount; ++l) p.drawLine(plot.left(), yOf(l), plot.right(), yOf(l));

    // The staircase: velocity v plays layer 4 up to threshold 3, layer 3 up to
    // threshold 2, ... and layer 0 above threshold 0.
    QPolygon steps;
    int x = xOf(0);
    int layer = kLayerCount - 1;
    steps << QPoint(x, plot.bottom()) << QPoint(x, yOf(layer));
    for (int t = kThresholdCount - 1; t >= 0; --t) {
      const int v = std::clamp<int>(m_nThreshold[k][t], 0, 127);
      x = xOf(v);
      steps << QPoint(x, yOf(layer));
      --layer;
      steps << QPoint(x, yOf(layer));
    }
    steps << QPoint(xOf(127), yOf(layer)) << QPoint(xOf(127), plot.bottom());

    const QColor line = current ? QColor(176, 96, 0) : QColor(31, 78, 121);
    const QColor fill = current ? QColor(250, 214, 150) : QColor(207, 224, 241);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPolygon(steps);
    p.setBrush(Qt::NoBrush);
    QPen pen(line);
    pen.setWidth(2);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.drawPolyline(steps.constData() + 1, steps.size() - 2);
    p.setPen(QColor(160, 160, 160));
    p.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());

    // The scheme's number in the free corner above the quiet steps.
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0, 0, 0));
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRect label(plot.left() + 2, plot.top(), plot.width() / 2, plot.height() / 2);
    p.drawText(label, Qt::AlignLeft | Qt::AlignTop, QString::number(k + 1));
  }

  ThresholdTable m_nThreshold = kDefaultThresholds;
  int m_nCurrent = -1;
};

// Something the template gives a fixed width: what it needs in pixels, and
// the width of its rectangle in dialog units.
struct FittedWidth {
  int pixels;
  int widthDu;
};

// The narrowest width in pixels at which text wraps into at most `lines` lines
// (one or two), breaking at blanks as a label does.
int WidthInLines(const QFontMetrics& metrics, const QString& text, int lines) {
  int best = metrics.horizontalAdvance(text);
  if (lines < 2) return best;
  for (int i = text.indexOf(u' '); i > 0; i = text.indexOf(u' ', i + 1)) {
    const int first = metrics.horizontalAdvance(text.left(i).trimmed());
    const int second = metrics.horizontalAdvance(text.mid(i).trimmed());
    best = std::min(best, std::max(first, second));
  }
  return best;
}

// The base units the template is laid out with: the dialog font's own, widened
// where needed so that every label of the template fits its rectangle in this
// font. The template's rectangles stay
// exact in dialog units; a wider desktop font only makes the dialog wider,
// never clips a label.
DialogBaseUnits TemplateUnits(const QFont& font, std::initializer_list<FittedWidth> widths) {
  DialogBaseUnits du = DialogBaseUnits::Of(font);
  constexpr int kSlack = 2;  // pixels, against rounding in the text layout
  for (const FittedWidth& w : widths)
    du.x = std::max(du.x, (4 * (w.pixels + kSlack) + w.widthDu - 1) / w.widthDu);
  return du;
}

QLineEdit* MakeEdit(QWidget* parent, const char* id, const QRect& r, bool bReadOnly) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(id));
  edit->setGeometry(r);
  if (bReadOnly) {
    // A read-only edit without border: text on the dialog's own face, still
    // selectable and scrollable so a long path can be read and copied.
    edit->setReadOnly(true);
    edit->setFrame(false);
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    edit->setPalette(pal);
    edit->setFocusPolicy(Qt::ClickFocus);
    // Text at the top, on the line of the label beside it.
    edit->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  return edit;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& r) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(r);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QGroupBox* MakeGroup(QWidget* parent, const QString& title, const QRect& r) {
  auto* box = new QGroupBox(title, parent);
  box->setGeometry(r);
  return box;
}

// A member's text back from its edit: the stored bytes stay as they were when
// the edit still shows them (a path that is not UTF-8 is shown decoded).
std::string TextBack(const std::string& member, const QString& shown) {
  if (QString::fromStdString(DisplayText(member)) == shown) return member;
  return shown.toStdString();
}

const QString kLayerLabel = QStringLiteral("Layer %1:");
const QString kNoteLabel = QStringLiteral("Midi note value of this sound is");
const QString kSchemeLabel =
    QStringLiteral("Use velocity layer scheme nr. [1-5, see curves below]");
const QString kCutBoxText = QStringLiteral("on ");
const QString kCutLabel = QStringLiteral("this sound cuts midi note nr.");
// Four blanks between the halves.
const QString kVolumeLabel = QStringLiteral("0 = Zero Dynamics    -8000 = Full Dynamics");

}  // namespace

CSoundPropsDlg::CSoundPropsDlg(UiServices& ui, QWidget* parent)
    // A caption without system menu or close box: OK, Cancel or Escape end it.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_nCutNote(0),
      m_nNote(0),
      m_nScheme(0),
      m_bCut(0),
      m_nVolume(0),
      m_ui(ui) {
  setWindowTitle(QStringLiteral("Sound Properties"));
  setObjectName(QStringLiteral("SoundPropsDialog"));
  // The labels with the least room, and the check box's text beside its box.
  const QFontMetrics fm(font());
  const int cutBox = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                     style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) +
                     fm.horizontalAdvance(kCutBoxText);
  const DialogBaseUnits du = m_du =
      TemplateUnits(font(), {{WidthInLines(fm, kLayerLabel.arg(5), 1), 26},
                             {WidthInLines(fm, kNoteLabel, 1), 102},
                             {WidthInLines(fm, kSchemeLabel, 1), 173},
                             {WidthInLines(fm, kCutLabel, 2), 48},
                             {WidthInLines(fm, kVolumeLabel, 2), 83},
                             {cutBox, 21}});
  setFixedSize(du.ToPixelsX(341), du.ToPixelsY(214));

  // Group boxes first, so the controls laid over them stay on top.
  MakeGroup(this, QStringLiteral("Layer velocity limits"), du.ToPixels(10, 86, 253, 80));
  MakeGroup(this, QStringLiteral("Cut function"), du.ToPixels(267, 86, 67, 80));
  MakeGroup(this, QStringLiteral("Layer Output Volume Scaling"), du.ToPixels(10, 168, 196, 36));

  m_pOk = new QPushButton(QStringLiteral("OK"), this);
  m_pOk->setObjectName(QStringLiteral("IDOK"));
  m_pOk->setGeometry(du.ToPixels(230, 182, 43, 14));
  m_pOk->setDefault(true);
  m_pOk->setAutoDefault(true);
  m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
  m_pCancel->setObjectName(QStringLiteral("IDCANCEL"));
  m_pCancel->setGeometry(du.ToPixels(280, 182, 38, 14));
  m_pCancel->setAutoDefault(false);

  static const char* const kLayerIds[kLayerCount] = {"1009", "1010", "1011", "1012", "1013"};
  for (int k = 0; k < kLayerCount; ++k) {
    QLabel* label = MakeLabel(this, kLayerLabel.arg(k + 1), du.ToPixels(9, 7 + 12 * k, 26, 8));
    m_pLayer[k] = MakeEdit(this, kLayerIds[k], du.ToPixels(42, 7 + 12 * k, 190, 12), true);
    label->setBuddy(m_pLayer[k]);  // screen readers name the field by its label
  }

  QLabel* noteLabel = MakeLabel(this, kNoteLabel, du.ToPixels(10, 72, 102, 11));
  m_pNote = MakeEdit(this, "1023", du.ToPixels(115, 70, 20, 13), true);
  noteLabel->setBuddy(m_pNote);

  QLabel* schemeLabel = MakeLabel(this, kSchemeLabel, du.ToPixels(23, 99, 173, 8));
  m_pScheme = MakeEdit(this, "1024", du.ToPixels(204, 97, 20, 12), false);
  schemeLabel->setBuddy(m_pScheme);
  auto* curves = new VelocityCurves(this);
  curves->setObjectName(QStringLiteral("VelocityCurves"));
  curves->setGeometry(du.ToPixels(15, 114, 244, 49));
  curves->setToolTip(
      QStringLiteral("Velocity (0 to 127, left to right) against the layer it plays "
                     "(Layer 5 at the bottom, Layer 1 at the top)"));
  m_pCurves = curves;

  m_pCut = new QCheckBox(kCutBoxText, this);
  m_pCut->setObjectName(QStringLiteral("1026"));
  m_pCut->setGeometry(du.ToPixels(288, 103, 21, 10));
  m_pCut->setLayoutDirection(Qt::RightToLeft);  // the text on the left of the box
  QLabel* cutLabel = MakeLabel(this, kCutLabel, du.ToPixels(277, 121, 48, 18));
  m_pCutNote = MakeEdit(this, "1022", du.ToPixels(291, 143, 20, 12), false);
  cutLabel->setBuddy(m_pCutNote);

  QLabel* volumeLabel = MakeLabel(this, kVolumeLabel, du.ToPixels(21, 183, 83, 21));
  m_pVolume = MakeEdit(this, "1039", du.ToPixels(126, 185, 45, 12), false);
  volumeLabel->setBuddy(m_pVolume);

  // Tab order through what can be edited, top to bottom: scheme, the box, cut
  // note, volume, OK, Cancel.
  setTabOrder(m_pScheme, m_pCut);
  setTabOrder(m_pCut, m_pCutNote);
  setTabOrder(m_pCutNote, m_pVolume);
  setTabOrder(m_pVolume, m_pOk);
  setTabOrder(m_pOk, m_pCancel);

  connect(m_pOk, &QPushButton::clicked, this, &CSoundPropsDlg::accept);
  connect(m_pCancel, &QPushButton::clicked, this, &CSoundPropsDlg::reject);
  connect(m_pScheme, &QLineEdit::textChanged, this, [curves](const QString& text) {
    const std::optional<int64_t> n = ParseDialogInteger(text);
    curves->SetCurrentScheme(n && *n >= 1 && *n <= kSchemeCount ? static_cast<int>(*n - 1) : -1);
  });
}

bool CSoundPropsDlg::DoModal() {
  return exec() == QDialog::Accepted;
}

void CSoundPropsDlg::SetCurveThresholds(const ThresholdTable& thresholds) {
  static_cast<VelocityCurves*>(m_pCurves)->SetThresholds(thresholds);
}

void CSoundPropsDlg::showEvent(QShowEvent* event) {
  ToControls();
  QDialog::showEvent(event);
}

void CSoundPropsDlg::ToControls() {
  const std::string* texts[kLayerCount] = {&m_strLayer1, &m_strLayer2, &m_strLayer3, &m_strLayer4,
                                           &m_strLayer5};
  for (int k = 0; k < kLayerCount; ++k) {
    const QString shown = QString::fromStdString(DisplayText(*texts[k]));
    m_pLayer[k]->setText(shown);
    m_pLayer[k]->setCursorPosition(0);
    // A path wider than its field can still be read whole.
    m_pLayer[k]->setToolTip(shown);
  }
  m_pNote->setText(QString::number(m_nNote));
  m_pScheme->setText(QString::number(m_nScheme));
  m_pCut->setChecked(m_bCut != 0);
  m_pCutNote->setText(QString::number(m_nCutNote));
  m_pVolume->setText(QString::number(m_nVolume));
  m_pScheme->setFocus();
  m_pScheme->selectAll();
}

bool CSoundPropsDlg::FromControls() {
  // Member order: Layer 1, 2, 3, 5, 4, cut note, note, scheme, the box, volume.
  struct TextField {
    std::string* member;
    QLineEdit* edit;
  };
  const TextField texts[] = {{&m_strLayer1, m_pLayer[0]},
                             {&m_strLayer2, m_pLayer[1]},
                             {&m_strLayer3, m_pLayer[2]},
                             {&m_strLayer5, m_pLayer[4]},
                             {&m_strLayer4, m_pLayer[3]}};
  std::string layer[std::size(texts)];
  for (size_t i = 0; i < std::size(texts); ++i) {
    const std::optional<QString> text = ExchangeText(m_ui, texts[i].edit, kMaxLayerText);
    if (!text) return false;
    layer[i] = TextBack(*texts[i].member, *text);
  }
  const std::optional<int32_t> cutNote = ExchangeInteger(m_ui, m_pCutNote, 0, kSlotCount);
  if (!cutNote) return false;
  const std::optional<int32_t> note = ExchangeInteger(m_ui, m_pNote, 1, kSlotCount);
  if (!note) return false;
  const std::optional<int32_t> scheme = ExchangeInteger(m_ui, m_pScheme, 1, kSchemeCount);
  if (!scheme) return false;
  const int32_t cut = m_pCut->isChecked() ? 1 : 0;
  const std::optional<int32_t> volume = ExchangeInteger(m_ui, m_pVolume, -8000, 0);
  if (!volume) return false;

  // Every field passed: only now do the members change.
  for (size_t i = 0; i < std::size(texts); ++i) *texts[i].member = std::move(layer[i]);
  m_nCutNote = *cutNote;
  m_nNote = *note;
  m_nScheme = *scheme;
  m_bCut = cut;
  m_nVolume = *volume;
  return true;
}

void CSoundPropsDlg::accept() {
  if (FromControls()) QDialog::accept();
}

}  // namespace thumper
