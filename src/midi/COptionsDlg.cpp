#include "midi/COptionsDlg.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>

#include "edit/DialogExchange.h"
#include "edit/DialogUnits.h"
#include "engine/ShowOptions.h"

namespace thumper {

namespace {

constexpr int kChannelMin = 1;
constexpr int kChannelMax = 16;

// A static text at its template place. The template was drawn for a narrower
// font than the desktop may give, so a text that would be clipped grows to the
// right up to limitRight (the next control on its row, or the dialog's margin),
// and only when that is not room enough does it take a smaller size.
QLabel* StaticText(const char* text, QWidget* parent, const QRect& rect, int limitRight) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QFont font = label->font();
  const int room = std::max(rect.width(), limitRight - rect.left());
  int need = QFontMetrics(font).horizontalAdvance(label->text());
  const bool points = font.pointSizeF() > 0;
  while (need > room && (points ? font.pointSizeF() > 6.0 : font.pixelSize() > 8)) {
    if (points)
      font.setPointSizeF(font.pointSizeF() - 0.5);
    else
      font.setPixelSize(font.pixelSize() - 1);
    need = QFontMetrics(font).horizontalAdvance(label->text());
  }
  label->setFont(font);
  label->setGeometry(rect.left(), rect.top(), std::clamp(need, rect.width(), room), rect.height());
  return label;
}

// A drop-down list: the template's height is that of the open list, the closed
// box takes the height its font needs.
void PlaceDropDown(QComboBox* box, const DialogBaseUnits& du, int x, int y, int w, int h) {
  const QRect rect = du.ToPixels(x, y, w, h);
  const int closed = box->sizeHint().height();
  box->setGeometry(rect.x(), rect.y(), rect.width(), closed);
  box->setMaxVisibleItems(std::max(1, (rect.height() - closed) / du.y));
}

}  // namespace

COptionsDlg::COptionsDlg(UiServices& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_cbDriver(new QComboBox(this)),
      m_cbMidiIn(new QComboBox(this)),
      m_ui(ui),
      m_pChannel(new QLineEdit(this)),
      m_pOk(new QPushButton(QStringLiteral("OK"), this)),
      m_pCancel(new QPushButton(QStringLiteral("Cancel"), this)) {
  setWindowTitle(QStringLiteral("Options"));
  setObjectName(QStringLiteral("OptionsDialog"));
  const DialogBaseUnits du = DialogBaseUnits::Of(font());
  setFixedSize(du.ToPixelsX(187), du.ToPixelsY(132));

  m_pOk->setObjectName(QStringLiteral("IDOK"));
  m_pOk->setGeometry(du.ToPixels(40, 99, 50, 14));
  m_pOk->setDefault(true);
  m_pOk->setAutoDefault(true);
  m_pCancel->setObjectName(QStringLiteral("IDCANCEL"));
  m_pCancel->setGeometry(du.ToPixels(96, 99, 50, 14));
  m_pCancel->setAutoDefault(false);

  m_pChannel->setObjectName(QStringLiteral("1030"));
  m_pChannel->setGeometry(du.ToPixels(81, 11, 20, 12));
  m_pChannel->setAlignment(Qt::AlignCenter);

  m_cbMidiIn->setObjectName(QStringLiteral("1032"));
  m_cbMidiIn->setEditable(false);
  m_cbMidiIn->setInsertPolicy(QComboBox::NoInsert);
  PlaceDropDown(m_cbMidiIn, du, 10, 40, 165, 85);
  // Texts end two units before the edit beside them, or at the boxes' right edge.
  const int margin = du.ToPixelsX(187 - 12);
  StaticText("Midi input channel", this, du.ToPixels(12, 13, 66, 10), du.ToPixelsX(81 - 2));
  StaticText("Use Midi Input:", this, du.ToPixels(11, 30, 48, 8), margin);
  m_cbDriver->setObjectName(QStringLiteral("1037"));
  m_cbDriver->setEditable(false);
  m_cbDriver->setInsertPolicy(QComboBox::NoInsert);
  PlaceDropDown(m_cbDriver, du, 10, 70, 165, 55);
  StaticText("Audio Output Driver:", this, du.ToPixels(12, 60, 65, 8), margin);

  // The template's order.
  setTabOrder(m_pOk, m_pCancel);
  setTabOrder(m_pCancel, m_pChannel);
  setTabOrder(m_pChannel, m_cbMidiIn);
  setTabOrder(m_cbMidiIn, m_cbDriver);

  connect(m_pOk, &QPushButton::clicked, this, &COptionsDlg::accept);
  connect(m_pCancel, &QPushButton::clicked, this, &COptionsDlg::reject);
  // Only the user's choices: filling and selecting while the dialog opens must
  // leave the members as the caller set them.
  connect(m_cbMidiIn, &QComboBox::activated, this, &COptionsDlg::OnSelChangeMidiIn);
  connect(m_cbDriver, &QComboBox::activated, this, &COptionsDlg::OnSelChangeDriver);
}

bool COptionsDlg::DoModal() {
  return exec() == QDialog::Accepted;
}

void COptionsDlg::showEvent(QShowEvent* event) {
  // A window system's own show (a restore) is no new opening of the dialog.
  if (!event->spontaneous()) OnInitDialog();
  QDialog::showEvent(event);
}

void COptionsDlg::OnInitDialog() {
  m_pChannel->setText(QString::number(m_nChannel));

  // Each position is the device number or driver index, so items go in at
  // fixed places and are never sorted. A selection beyond the list shows none.
  m_cbMidiIn->clear();
  const int lastMidiIn = std::clamp(m_nLastMidiIn, 0, kMaxMidiIn - 1);
  for (int i = 0; i <= lastMidiIn; ++i)
    m_cbMidiIn->insertItem(i, QString::fromStdString(m_strMidiIn[i]));
  m_cbMidiIn->setCurrentIndex(m_nMidiIn);

  m_cbDriver->clear();
  const int driverCount = std::clamp(m_nDriverCount, 0, kMaxDrivers);
  for (int i = 0; i < driverCount; ++i)
    m_cbDriver->insertItem(i, QString::fromStdString(m_strDriver[i]));
  m_cbDriver->setCurrentIndex(m_nDriver);

  m_pOk->setFocus();
}

void COptionsDlg::OnSelChangeMidiIn(int /*index*/) {
  m_nMidiIn = m_cbMidiIn->currentIndex();
}

void COptionsDlg::OnSelChangeDriver(int /*index*/) {
  m_nDriver = m_cbDriver->currentIndex();
}

void COptionsDlg::accept() {
  const std::optional<int32_t> channel =
      ExchangeInteger(m_ui, m_pChannel, kChannelMin, kChannelMax);
  if (!channel) return;
  m_nChannel = *channel;
  QDialog::accept();
}

bool ShowOptions(ThumperRuntime& runtime, UiServices& ui,
                 const std::function<bool(COptionsDlg&)>& run, QWidget* parent) {
  COptionsDlg dlg(ui, parent);
  PrepareOptions(runtime, dlg);
  if (!run(dlg)) return false;
  ApplyOptions(runtime, ui, dlg);
  return true;
}

}  // namespace thumper
