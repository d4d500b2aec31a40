// What the dialog title bar and the main title bar share: the window they
// move, the right-hand row of state-icon buttons, the optional size buttons
// and the drag rules (a press starts a drag unless the window is maximised or
// full screen; a move with exactly the left button held moves it).
#pragma once

#include <QPoint>
#include <QVector>

#include "CBPMsgReceiver.h"
#include "CBPQtGroupBox.h"

class CTitleBtn;
class QHBoxLayout;

class CTitleBarBase : public CBPQtGroupBox, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CTitleBarBase(QWidget* parent = nullptr);
  ~CTitleBarBase() override;

  void SetTargetWindow(QWidget* window) { m_target = window; }
  QWidget* TargetWindow() const { return m_target; }
  // A parentless CTitleBtn without focus, its icon from MakeStateIcon,
  // appended to the button row or put at its front.
  QWidget* AddButton(const QVector<QString>& iconFiles, bool append);
  QWidget* InsertButton(const QVector<QString>& iconFiles) { return AddButton(iconFiles, false); }

  // Operations on a button that does not exist do nothing.
  void SetMaximized(bool maximized);
  void HideSizeButtons();
  void SetResizable(bool resizable);
  void HideMinimizeButton();
  void SetMinimizeEnabled(bool enabled);
  void SetCloseEnabled(bool enabled);

  CTitleBtn* CloseButton() const { return m_close; }

 public Q_SLOTS:
  // Hides the main window.
  void on_title_clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

  QWidget* m_target = nullptr;
  QHBoxLayout* m_buttons = nullptr;
  QWidget* m_min = nullptr;
  QWidget* m_restore = nullptr;
  QWidget* m_max = nullptr;
  CTitleBtn* m_close = nullptr;
  bool m_dragging = false;
  QPoint m_pressPos;
  bool m_resizable = true;
};
