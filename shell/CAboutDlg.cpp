#include "CAboutDlg.h"

#include <QLabel>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CBPQtHyperLink.h"
#include "DesktopLinks.h"
#include "MsgDefine.h"
#include "StartUp.h"
#include "UiConfig.h"
#include "UiHelpers.h"

namespace {
const char* const kWebSite = "www.norvanta.example/vantorel";
const char* const kLegalNotice = "Copyright \xC2\xA9 2026 Norvanta. All rights reserved.";
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : CBaseDialog(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(400, 340);
}

void CAboutDlg::InitUI() {
  QVariant productName;
  GetConfigValue(QStringLiteral("Main"), QStringLiteral("ProductName"), &productName);  // read, not shown
  auto* layout = new QVBoxLayout;
  auto addLabel = [layout](QLabel* label, int px) {
    if (px > 0) {
      SetWidgetFont(label, px);
      SetWidgetTextColor(label, QColor(51, 51, 51));
    }
    layout->addWidget(label, 0, Qt::AlignHCenter);
  };
  auto addSpace = [layout](int h) { layout->addItem(new QSpacerItem(0, h, QSizePolicy::Expanding, QSizePolicy::Fixed)); };
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(405);
  addLabel(keeper, 0);
  addSpace(5);
  auto* picture = new QLabel;
  picture->setPixmap(QIcon(QStringLiteral("./Resources/About.png")).pixmap(QSize(64, 64), QIcon::Normal, QIcon::Off));
  addLabel(picture, 0);
  addSpace(25);
  addLabel(new QLabel(QStringLiteral("Norvanta Vantorel %1").arg(QStringLiteral("Pro"), 0, QLatin1Char(' '))), 16);
  addLabel(new QLabel(QStringLiteral("Version: %1").arg(QLatin1String(kProgramVersion))), 16);
  addSpace(45);
  addLabel(new QLabel(tr("To learn more, please visit:")), 13);
  m_link = new CBPQtHyperLink(QString::fromLatin1(kWebSite));
  SetWidgetFont(m_link, 13);
  SetWidgetTextColor(m_link, QColor(2, 125, 255));
  connect(m_link, &CBPQtHyperLink::linkClicked, this, &CAboutDlg::OnLinkClicked);
  layout->addWidget(m_link, 0, Qt::AlignHCenter);
  addSpace(30);
  addLabel(new QLabel(QString::fromUtf8(kLegalNotice)), 14);
  m_content->addLayout(layout);
}

void CAboutDlg::OnLinkClicked() { OpenConfiguredLink(QStringLiteral("ID_LINK_PRO")); }

int CAboutDlg::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE) DestroyNativeWindow();
  return 0;
}
