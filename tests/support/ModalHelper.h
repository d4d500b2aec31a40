// Answers the next modal dialog of a test: once a modal widget is active
// and visible, runs the action on it (click a button, press a key). Call
// before the code that runs exec().
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>

namespace modal {

// Polls for the active modal widget every 10 ms; gives up after `maxPolls`
// so a test that never opens a dialog does not leave a timer behind.
inline void Answer(std::function<void(QWidget*)> action, int maxPolls = 500) {
  auto* timer = new QTimer(qApp);
  auto polls = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, polls, action, maxPolls] {
    QWidget* w = QApplication::activeModalWidget();
    if (w && w->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(w);
    } else if (++*polls > maxPolls) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

inline void PressKey(Qt::Key key) {
  Answer([key](QWidget* w) {
    QWidget* target = w->focusWidget() ? w->focusWidget() : w;
    QTest::keyClick(target, key);
  });
}

inline void ClickButton(std::function<QAbstractButton*(QWidget*)> pick) {
  Answer([pick](QWidget* w) {
    if (QAbstractButton* b = pick(w)) QTest::mouseClick(b, Qt::LeftButton);
  });
}

// Clicks the button whose text is `text` among the modal widget's children.
inline void ClickText(const QString& text) {
  ClickButton([text](QWidget* w) -> QAbstractButton* {
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
      if (b->text() == text) return b;
    return nullptr;
  });
}

}  // namespace modal
