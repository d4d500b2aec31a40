// Frame of every dialog: a frameless, translucent QDialog that paints a
// white rounded rectangle, with a dialog title bar above a content layout
// that derived dialogs fill. Also a bus receiver.
#pragma once

#include <QDialog>

#include "CBPMsgReceiver.h"

class CWindowDlgTitle;
class QVBoxLayout;

class CWinDlgFrm : public QDialog, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CWinDlgFrm(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~CWinDlgFrm() override;

  void InitLayout();
  void SetTitleLineVisible(bool visible) { m_titleLine = visible; }
  bool IsTitleLineVisible() const { return m_titleLine; }
  // Empty caption and no logo.
  void ClearTitle();
  // Centre on the parent's window, else on the main window, else on the
  // screen.
  void CenterOnParent();

  // A dialog whose content needs more height than it was given grows
  // (keeping its centre) so that nothing, its buttons least of all, is cut
  // off; wider content is left as it is.
  void FitHeightToContent();

  CWindowDlgTitle* TitleBar() const { return m_title; }
  QVBoxLayout* ContentLayout() const { return m_content; }

  int ReceiveMsg(__MsgData msg) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

  QWidget* m_container = nullptr;
  CWindowDlgTitle* m_title = nullptr;
  QVBoxLayout* m_content = nullptr;
  QVBoxLayout* m_outer = nullptr;
  bool m_titleLine = true;
};
