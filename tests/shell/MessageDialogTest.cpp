#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QtTest/QTest>

#include "CBPQtLabel.h"
#include "CMSGDlg.h"
#include "CTitleBtn.h"
#include "CWindowDlgTitle.h"
#include "ModalHelper.h"
#include "MsgDefine.h"

namespace {

enum class Answer { First, Second, Escape, Return, TitleClose, BusClose, WindowClose };

const char* Name(Answer a) {
  switch (a) {
    case Answer::First: return "first button";
    case Answer::Second: return "second button";
    case Answer::Escape: return "Escape";
    case Answer::Return: return "Return on the untouched box";
    case Answer::TitleClose: return "title bar close button";
    case Answer::BusClose: return "MSG_TITLE_CLOSE";
    case Answer::WindowClose: return "the window manager's close";
  }
  return "?";
}

void Schedule(Answer answer) {
  modal::Answer([answer](QWidget* w) {
    auto* box = qobject_cast<CMSGDlg*>(w);
    ASSERT_NE(box, nullptr);
    switch (answer) {
      case Answer::First: QTest::mouseClick(box->FirstButton(), Qt::LeftButton); break;
      case Answer::Second: QTest::mouseClick(box->SecondButton(), Qt::LeftButton); break;
      case Answer::Escape: QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape); break;
      case Answer::Return: QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return); break;
      case Answer::TitleClose: QTest::mouseClick(box->TitleBar()->CloseButton(), Qt::LeftButton); break;
      case Answer::BusClose: SendBusMsg(MSG_TITLE_CLOSE); break;
      case Answer::WindowClose: box->close(); break;
    }
  });
}

TEST(ShellMessageDialog, ResultOfEveryWayOut) {
  struct Case {
    int set;
    Answer answer;
    int result;
  } cases[] = {
      {1, Answer::First, 0},      {1, Answer::Escape, 1},    {1, Answer::TitleClose, 1}, {1, Answer::Return, 0},
      {2, Answer::First, 0},      {2, Answer::Second, 1},    {2, Answer::Escape, 1},     {3, Answer::First, 0},
      {3, Answer::Second, 1},     {3, Answer::Return, 1},    {4, Answer::First, 0},      {4, Answer::Second, 1},
      {4, Answer::TitleClose, 1}, {5, Answer::First, 0},     {5, Answer::Second, 1},     {5, Answer::Escape, 1},
      {5, Answer::Return, 1},     {5, Answer::TitleClose, 1}, {5, Answer::BusClose, 1},  {9, Answer::TitleClose, 1},
      {9, Answer::Escape, 1},     {5, Answer::WindowClose, 1}, {1, Answer::WindowClose, 1},
  };
  for (const Case& c : cases) {
    CMSGDlg box(424, 244);
    box.InitUI(1, "Erase the selected files?", c.set, 0);
    Schedule(c.answer);
    EXPECT_EQ(box.exec(), c.result) << "set " << c.set << ", " << Name(c.answer);
    EXPECT_FALSE(box.isVisible());
  }
}

TEST(ShellMessageDialog, ButtonsTextsOrderAndDefault) {
  struct Case {
    int set;
    const char* first;
    const char* second;
  } cases[] = {{1, "OK", nullptr}, {2, "OK", "Cancel"}, {3, "Yes", "No"}, {4, "Continue", "Cancel"}, {5, "Erase Now", "Cancel"}};
  for (const Case& c : cases) {
    CMSGDlg box(424, 244);
    box.InitUI(1, "text", c.set, 0);
    box.show();
    QApplication::processEvents();
    ASSERT_NE(box.FirstButton(), nullptr);
    EXPECT_EQ(box.FirstButton()->text(), c.first);
    EXPECT_EQ(box.FirstButton()->size(), QSize(96, 26));
    if (!c.second) {
      EXPECT_EQ(box.SecondButton(), nullptr);
      EXPECT_TRUE(box.FirstButton()->isDefault());
      continue;
    }
    ASSERT_NE(box.SecondButton(), nullptr);
    EXPECT_EQ(box.SecondButton()->text(), c.second);
    // The button that changes nothing is the default and has the focus.
    EXPECT_TRUE(box.SecondButton()->isDefault()) << c.set;
    EXPECT_FALSE(box.FirstButton()->isDefault()) << c.set;
    EXPECT_EQ(box.focusWidget(), box.SecondButton()) << c.set;
    const int firstX = box.FirstButton()->mapTo(&box, QPoint()).x();
    const int secondX = box.SecondButton()->mapTo(&box, QPoint()).x();
    if (c.set == 5)
      EXPECT_LT(secondX, firstX) << "Cancel stands left of Erase Now";
    else
      EXPECT_LT(firstX, secondX) << c.set;
    box.close();
  }
  CMSGDlg none(424, 244);
  none.InitUI(7, "text", 0, 0);
  EXPECT_EQ(none.FirstButton(), nullptr);
  EXPECT_EQ(none.SecondButton(), nullptr);
}

TEST(ShellMessageDialog, LookAndPlacement) {
  QWidget main;
  main.setGeometry(100, 100, 1000, 660);
  CMSGDlg box(424, 244, &main);
  EXPECT_EQ(box.pos(), QPoint(100 + 500 - 212, 100 + 330 - 122));
  EXPECT_EQ(box.size(), QSize(424, 244));
  EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_FALSE(box.IsTitleLineVisible());
  box.InitUI(0, "A long message that is wrapped inside the fixed label of the message box.", 1, 0);
  EXPECT_TRUE(box.TextLabel()->wordWrap());
  EXPECT_EQ(box.TextLabel()->size(), QSize(290, 96));
  box.show();
  QApplication::processEvents();
  EXPECT_TRUE(box.TitleBar()->CaptionLabel()->text().isEmpty());
  EXPECT_FALSE(box.TitleBar()->LogoLabel()->isVisible());
  EXPECT_TRUE(box.TitleBar()->CloseButton()->isVisible());

  // The smaller boxes of the wipe pages still show their whole buttons.
  for (QSize size : {QSize(450, 210), QSize(440, 220), QSize(420, 190)}) {
    CMSGDlg small(size.width(), size.height(), &main);
    small.InitUI(1, "All data on the partition will be destroyed.", 4, 0);
    small.show();
    QApplication::processEvents();
    const QRect button(small.SecondButton()->mapTo(&small, QPoint()), small.SecondButton()->size());
    EXPECT_TRUE(small.rect().contains(button)) << size.width() << "x" << size.height();
    EXPECT_EQ(small.width(), size.width());
    small.close();
  }

  CMSGDlg unparented(424, 244);
  const QPoint before = unparented.pos();
  unparented.CenterOnWidget(nullptr);
  EXPECT_EQ(unparented.pos(), before);
  unparented.SetWordWrap(false);
  unparented.InitUI(1, "one\ntwo", 1, 0);
  EXPECT_FALSE(unparented.TextLabel()->wordWrap());
}

}  // namespace
