#include "CMSGDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CBPQtLabel.h"
#include "MsgDefine.h"
#include "UiHelpers.h"
#include "WindowPlacement.h"

CMSGDlg::CMSGDlg(int width, int height, QWidget* parent) : CBaseDialog(parent), m_width(width), m_height(height) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(width, height);
  SetTitleLineVisible(false);
  ClearTitle();
  if (parent) CenterOnWidget(parent);
}

CMSGDlg::~CMSGDlg() {
  delete m_icon;
  delete m_text;
}

void CMSGDlg::InitUI(int iconKind, const QString& text, int buttonSet, int topMargin) {
  auto* outer = new QVBoxLayout;
  outer->setContentsMargins(0, topMargin, 0, 0);
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(m_width);

  const QString image = (iconKind == 0 || iconKind == 2) ? QStringLiteral("./Resources/Success.png")
                                                         : QStringLiteral("./Resources/tip_warnning.png");
  m_icon = new QLabel;
  m_icon->setPixmap(QIcon(image).pixmap(QSize(64, 64), QIcon::Normal, QIcon::Off));

  m_text = new CBPQtLabel(text);
  m_text->setAlignment(Qt::AlignLeft);
  m_text->setFixedSize(290, 96);
  m_text->setWordWrap(m_wordWrap);
  SetWidgetFont(m_text, 13);
  SetWidgetTextColor(m_text, QColor(121, 129, 146));

  row->addItem(new QSpacerItem(30, 0, QSizePolicy::Fixed, QSizePolicy::Expanding));
  row->addWidget(m_icon, 0, Qt::AlignHCenter | Qt::AlignTop);
  row->addWidget(m_text, 10, Qt::AlignLeft);

  outer->addWidget(keeper, 0);
  outer->addLayout(row);
  outer->addItem(new QSpacerItem(0, 16, QSizePolicy::Fixed, QSizePolicy::Expanding));

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(0, 0, 26, 0);
  buttons->setSpacing(10);
  auto makeButton = [this](const QString& label, bool primary) {
    auto* b = new QPushButton(label);
    b->setStyleSheet(primary ? PrimaryButtonStyle() : SecondaryButtonStyle());
    b->setFixedSize(96, 26);
    return b;
  };
  switch (buttonSet) {
    case 1:
      m_first = makeButton(QStringLiteral("OK"), true);
      connect(m_first, &QPushButton::clicked, this, &CMSGDlg::OKClicked);
      m_first->setDefault(true);
      buttons->addWidget(m_first, 0, Qt::AlignRight);
      buttons->addItem(new QSpacerItem(20, 0, QSizePolicy::Fixed, QSizePolicy::Expanding));
      outer->addItem(new QSpacerItem(0, 40, QSizePolicy::Expanding, QSizePolicy::Expanding));
      outer->addLayout(buttons);
      break;
    case 2:
    case 3:
    case 4:
    case 5: {
      static const char* const kFirst[] = {"OK", "Yes", "Continue", "Erase Now"};
      m_first = makeButton(QString::fromLatin1(kFirst[buttonSet - 2]), true);
      m_second = makeButton(buttonSet == 3 ? QStringLiteral("No") : QStringLiteral("Cancel"), false);
      connect(m_first, &QPushButton::clicked, this, &CMSGDlg::OKClicked);
      connect(m_second, &QPushButton::clicked, this, &CMSGDlg::CancelClicked);
      // Enter on an untouched box must never confirm.
      m_second->setDefault(true);
      if (buttonSet == 5) {
        buttons->addWidget(m_second, 10, Qt::AlignRight);
        buttons->addWidget(m_first, 3, Qt::AlignLeft);
      } else {
        buttons->addWidget(m_first, 10, Qt::AlignRight);
        buttons->addWidget(m_second, 3, Qt::AlignLeft);
      }
      outer->addItem(new QSpacerItem(0, 40, QSizePolicy::Expanding, QSizePolicy::Fixed));
      outer->addLayout(buttons);
      break;
    }
    default:
      delete buttons;
      break;
  }
  m_content->addLayout(outer);
}

void CMSGDlg::CenterOnWidget(QWidget* widget) {
  if (!widget) return;
  const QWidget* over = widget->window();
  move(CenteredOver(size(), over->frameGeometry(), over->isVisible() ? AvailableScreenArea(over) : QRect()));
}

void CMSGDlg::showEvent(QShowEvent* event) {
  CBaseDialog::showEvent(event);
  if (m_second)
    m_second->setFocus(Qt::OtherFocusReason);
  else if (m_first)
    m_first->setFocus(Qt::OtherFocusReason);
}

void CMSGDlg::OKClicked() {
  done(0);
  close();
}

void CMSGDlg::CancelClicked() {
  done(1);
  close();
}

void CMSGDlg::reject() { done(1); }

int CMSGDlg::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE) {
    done(1);
    close();
  }
  return 0;
}
