#include "CLeftBtn.h"

#include <QMouseEvent>
#include <QPainter>

#include "UiHelpers.h"

CLeftBtn::CLeftBtn(bool plain, int fontPixelSize, QWidget* parent)
    : CBPQtPushBtn(parent), m_plain(plain), m_fontPixelSize(fontPixelSize) {
  const QColor dark(42, 48, 78), teal(127, 207, 220), grey(233, 233, 233);
  const QVector<QColor> bg = plain ? QVector<QColor>{dark, teal, dark, grey} : QVector<QColor>{dark, teal, teal, grey};
  m_obj.setTextColor(QVector<QColor>(4, Qt::white));
  m_obj.setBgColor(bg);
  m_obj.setFrmColor(bg);
  setFixedSize(249, 46);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CLeftBtn::SetSelected(bool selected) {
  m_selected = selected;
  repaint();
}

void CLeftBtn::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_selected = true;
  CBPQtPushBtn::mousePressEvent(event);
}

bool CLeftBtn::paintDerived(QPainter* painter) {
  painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  int state = m_obj.state();
  QIcon::Mode mode = StateIconMode(state);
  if (m_selected) {
    state = 1;
    mode = QIcon::Active;
    if (m_plain) {
      m_selected = false;
      state = 0;
      mode = QIcon::Normal;
    }
  }
  const QPixmap pixmap = icon().pixmap(GetIconActualSize(icon()), mode, QIcon::Off);
  QRect r = rect();
  r.setLeft(1);
  r.setRight(249);
  r.setBottom(46);
  painter->setPen(m_obj.frmColor(state));
  painter->setBrush(m_obj.bgColor(state));
  painter->drawRect(r);
  const int pixH = pixmap.isNull() ? 0 : pixmap.height() / static_cast<int>(pixmap.devicePixelRatio());
  const int pixW = pixmap.isNull() ? 0 : pixmap.width() / static_cast<int>(pixmap.devicePixelRatio());
  if (!pixmap.isNull()) painter->drawPixmap(25, r.y() + (r.height() - pixH) / 2, pixmap);
  QFont font(QStringLiteral("Segoe UI"));
  font.setBold(m_selected && !m_plain);
  font.setPixelSize(m_fontPixelSize);
  painter->setFont(font);
  painter->setPen(m_obj.textColor(state));
  QRect textRect = r;
  textRect.setLeft(r.left() + pixW + 40);
  textRect.setRight(r.right() - 8);  // room for the bold text of a selected entry
  textRect.setBottom(r.bottom() - 2);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text());
  return true;
}
