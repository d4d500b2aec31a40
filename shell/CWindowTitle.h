// Title bar of the main window: logo, product caption and the buttons for the
// erasure method, the erasure history, the options menu, minimise and close.
// It drags the window; a double click changes nothing.
#pragma once

#include <QPoint>
#include <QVector>

#include "CBPMsgReceiver.h"
#include "CBPQtGroupBox.h"

class CTitleBtn;
class QHBoxLayout;
class QLabel;

class CWindowTitle : public CBPQtGroupBox, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CWindowTitle(QWidget* parent = nullptr);
  ~CWindowTitle() override;

  void SetTargetWindow(QWidget* window) { m_target = window; }
  QWidget* AddButton(const QVector<QString>& iconFiles, bool append);
  QWidget* InsertButton(const QVector<QString>& iconFiles) { return AddButton(iconFiles, false); }
  void SetMaximized(bool maximized);
  void ResetCaption();
  void HideSizeButtons();
  void SetResizable(bool resizable);
  void HideMinimizeButton();
  void SetMinimizeEnabled(bool enabled);
  void SetCloseEnabled(bool enabled);

  CTitleBtn* MethodButton() const { return m_method; }
  CTitleBtn* HistoryButton() const { return m_history; }
  CTitleBtn* MenuButton() const { return m_menu; }
  CTitleBtn* MinimizeButton() const { return m_min; }
  CTitleBtn* CloseButton() const { return m_close; }
  QLabel* CaptionLabel() const { return m_caption; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OnBtnClicked();
  void on_title_clicked();
  void MethodClicked();
  void HistoryClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QWidget* m_target = nullptr;
  QHBoxLayout* m_buttons = nullptr;
  CTitleBtn* m_min = nullptr;
  QWidget* m_restore = nullptr;
  QWidget* m_max = nullptr;
  CTitleBtn* m_close = nullptr;
  CTitleBtn* m_menu = nullptr;
  CTitleBtn* m_method = nullptr;
  CTitleBtn* m_history = nullptr;
  QLabel* m_caption = nullptr;
  bool m_dragging = false;
  QPoint m_pressPos;
  bool m_resizable = true;
};
