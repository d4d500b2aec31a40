// Title bar of the dialogs: logo, caption and a close button. It drags its
// dialog; its close button broadcasts MSG_TITLE_CLOSE and every open dialog
// decides what closing means for it.
#pragma once

#include <QPoint>
#include <QVector>

#include "CBPMsgReceiver.h"
#include "CBPQtGroupBox.h"

class CTitleBtn;
class QHBoxLayout;
class QLabel;

class CWindowDlgTitle : public CBPQtGroupBox, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CWindowDlgTitle(QWidget* parent = nullptr);
  ~CWindowDlgTitle() override;

  void SetTargetWindow(QWidget* window) { m_target = window; }
  QWidget* TargetWindow() const { return m_target; }
  // Sets the caption; an empty caption also hides the logo.
  void SetTitle(const QString& text);
  QWidget* AddButton(const QVector<QString>& iconFiles, bool append);
  QWidget* InsertButton(const QVector<QString>& iconFiles) { return AddButton(iconFiles, false); }

  void SetMaximized(bool maximized);
  void HideSizeButtons();
  void SetResizable(bool resizable);
  void HideMinimizeButton();
  void SetMinimizeEnabled(bool enabled);
  void SetCloseEnabled(bool enabled);
  void SetCaption(const QString& text);
  void SetCaptionWhite();

  CTitleBtn* CloseButton() const { return m_close; }
  QLabel* CaptionLabel() const { return m_caption; }
  QLabel* LogoLabel() const { return m_logo; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OnBtnClicked();
  void on_title_clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QWidget* m_target = nullptr;
  QHBoxLayout* m_buttons = nullptr;
  QWidget* m_min = nullptr;
  QWidget* m_restore = nullptr;
  QWidget* m_max = nullptr;
  CTitleBtn* m_close = nullptr;
  QLabel* m_logo = nullptr;
  QLabel* m_caption = nullptr;
  bool m_dragging = false;
  QPoint m_pressPos;
  bool m_resizable = true;
};
