// Shared set-up of the erase UI tests: a program folder of our own (so the
// history lands there), a main window registered with CUIPublic, bus spies
// and answers for the modal dialogs (on top of tests/shell/ModalHelper.h).
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "CBPMsgReceiver.h"
#include "CBPNotifyCentor.h"
#include "CUIPublic.h"
#include "ModalHelper.h"
#include "MsgDefine.h"
#include "ShellTestEnv.h"

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

// Records every message of the ids it registered, with the payload's first
// int32 (the check state or the progress value).
class BusSpy : public CBPMsgReceiver {
 public:
  explicit BusSpy(std::initializer_list<uint> ids) {
    SetNotifyCentor(CBPNotifyCentor::instance());
    for (uint id : ids) RegisterMsg(id);
  }
  int ReceiveMsg(__MsgData msg) override {
    int32_t first = -1;
    if (msg.data && msg.size >= 4) first = *static_cast<const int32_t*>(msg.data);
    got.push_back({msg.id, first});
    return 0;
  }
  std::vector<int32_t> Values(uint id) const {
    std::vector<int32_t> out;
    for (const auto& m : got)
      if (m.first == id) out.push_back(m.second);
    return out;
  }
  std::vector<std::pair<uint, int32_t>> got;
};

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
