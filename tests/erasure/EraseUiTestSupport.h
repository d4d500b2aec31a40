// Shared set-up of the erase UI tests: a program folder of our own (so the
// history lands there), a main window registered with CUIPublic, and answers
// for the modal dialogs (on top of the support layer's ModalHelper.h).
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "CUIPublic.h"
#include "ModalHelper.h"
#include "MsgDefine.h"
#include "ProgramDirFixture.h"

namespace eraseui {

// Answers the next modal widget of type T; other modal widgets on top are
// waited out (the poll goes on until a T is the active modal widget).
template <typename T>
void AnswerOf(std::function<void(T*)> action, int tries = 1000) {
  modal::Answer([action, tries](QWidget* w) {
    if (auto* t = qobject_cast<T*>(w))
      action(t);
    else if (tries > 0)
      AnswerOf<T>(action, tries - 1);
  });
}

// Fills the file chooser: `names` in `folder` (several quoted names for a
// multiple choice), then accepts it.
inline void ChooseInFileDialog(const QString& folder, const QString& names) {
  AnswerOf<QFileDialog>([folder, names](QFileDialog* fd) {
    fd->setDirectory(folder);
    if (auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(names);
    QMetaObject::invokeMethod(fd, "accept");
  });
}

// The program folder and a main window for the dialogs to sit on.
class UiEnv {
 public:
  UiEnv() {
    m_window.reset(new QWidget);
    m_window->resize(800, 600);
    m_window->show();
    CUIPublic::instance()->SetMainWindow(m_window.get());
    CUIPublic::instance()->SetErasePasses(1);
  }
  ~UiEnv() { CUIPublic::instance()->SetMainWindow(nullptr); }
  QWidget* Window() const { return m_window.get(); }
  const ProgramDirFixture& Program() const { return m_program; }

 private:
  ProgramDirFixture m_program;
  std::unique_ptr<QWidget> m_window;
};

}  // namespace eraseui
