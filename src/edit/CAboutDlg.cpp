#include "edit/CAboutDlg.h"

#include <QLabel>
#include <QPixmap>

#include "edit/DialogUnits.h"

namespace thumper {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_pPicture(new QLabel(this)),
      m_pVersion(new QLabel(QStringLiteral(THUMPER_VERSION), this)) {
  setWindowTitle(QStringLiteral("About Klonk Bammer"));
  setObjectName(QStringLiteral("AboutDialog"));
  const DialogBaseUnits du = DialogBaseUnits::Of(font());
  setFixedSize(du.ToPixelsX(156), du.ToPixelsY(172));

  m_pPicture->setObjectName(QStringLiteral("AboutPicture"));
  m_pPicture->setGeometry(du.ToPixels(0, 0, 157, 172));
  m_pPicture->setPixmap(QPixmap(QStringLiteral(":/skin/about.png")));
  // The picture fills its rectangle whatever the font's base units make of it.
  m_pPicture->setScaledContents(true);

  m_pVersion->setObjectName(QStringLiteral("AboutVersion"));
  m_pVersion->setGeometry(du.ToPixels(120, 141, 32, 15));
  m_pVersion->setAlignment(Qt::AlignCenter);
  m_pVersion->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_pVersion->setLineWidth(1);
  m_pVersion->setAutoFillBackground(true);
  m_pVersion->raise();
}

}  // namespace thumper
