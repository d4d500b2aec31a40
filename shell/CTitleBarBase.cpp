#include "CTitleBarBase.h"

#include <QHBoxLayout>
#include <QMouseEvent>

#include "CTitleBtn.h"
#include "MainWindowSeam.h"
#include "UiHelpers.h"

CTitleBarBase::CTitleBarBase(QWidget* parent) : CBPQtGroupBox(parent) {}

CTitleBarBase::~CTitleBarBase() = default;

QWidget* CTitleBarBase::AddButton(const QVector<QString>& iconFiles, bool append) {
  auto* button = new CTitleBtn;
  button->setFocusPolicy(Qt::NoFocus);
  const QIcon icon = MakeStateIcon(iconFiles);
  button->setIcon(icon);
  button->setIconSize(GetIconActualSize(icon));
  if (append)
    m_buttons->addWidget(button, 0);
  else
    m_buttons->insertWidget(0, button, 0);
  return button;
}

void CTitleBarBase::SetMaximized(bool maximized) {
  if (!m_target) return;
  m_target->setWindowState(maximized ? Qt::WindowMaximized : Qt::WindowNoState);
  if (m_max) m_max->setVisible(!maximized);
  if (m_restore) m_restore->setVisible(maximized);
  if (maximized && m_restore) m_restore->setEnabled(true);
  if (!maximized && m_max) m_max->setEnabled(true);
}

void CTitleBarBase::HideSizeButtons() {
  m_resizable = false;
  if (m_max) m_max->hide();
  if (m_restore) m_restore->hide();
}

void CTitleBarBase::SetResizable(bool resizable) {
  m_resizable = resizable;
  if (!m_target) return;
  const Qt::WindowStates s = m_target->windowState();
  QWidget* button = (s == Qt::WindowMaximized || s == Qt::WindowFullScreen) ? m_restore : m_max;
  if (button) button->setEnabled(resizable);
}

void CTitleBarBase::HideMinimizeButton() {
  if (m_min) m_min->hide();
}

void CTitleBarBase::SetMinimizeEnabled(bool enabled) {
  if (m_min) m_min->setEnabled(enabled);
}

void CTitleBarBase::SetCloseEnabled(bool enabled) {
  if (m_close) m_close->setEnabled(enabled);
}

void CTitleBarBase::on_title_clicked() {
  if (QWidget* main = ShellMainWindow()) main->hide();
}

void CTitleBarBase::mousePressEvent(QMouseEvent* event) {
  if (m_target) {
    const Qt::WindowStates s = m_target->windowState();
    if (s == Qt::WindowFullScreen || s == Qt::WindowMaximized) return;
  }
  m_pressPos = event->pos();
  m_dragging = true;
}

void CTitleBarBase::mouseReleaseEvent(QMouseEvent*) { m_dragging = false; }

void CTitleBarBase::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() != Qt::LeftButton || !m_dragging || !m_target) return;
  m_target->move(m_target->pos() + (event->pos() - m_pressPos));
}
