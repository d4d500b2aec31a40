#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QTest>

#include "CBottomWidget.h"
#include "CMenuStyle.h"
#include "CSearchEdit.h"
#include "CStyleMenu.h"
#include "CWinAppIconWidget.h"
#include "CWinDlgFrm.h"
#include "CWindowDlgTitle.h"
#include "ClickableLabel.h"

namespace {

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent event(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

TEST(ShellSmallWidgets, TitleBarDragsItsDialogWithTheLeftButtonOnly) {
  CWinDlgFrm frame;
  frame.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  frame.setFixedSize(300, 200);
  frame.move(100, 100);
  frame.show();
  QApplication::processEvents();
  CWindowDlgTitle* title = frame.TitleBar();
  const QPoint start = frame.pos();
  SendMouse(title, QEvent::MouseButtonPress, {40, 10}, Qt::LeftButton, Qt::LeftButton);
  SendMouse(title, QEvent::MouseMove, {60, 25}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(frame.pos(), start + QPoint(20, 15));
  SendMouse(title, QEvent::MouseMove, {70, 25}, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
  EXPECT_EQ(frame.pos(), start + QPoint(20, 15));
  SendMouse(title, QEvent::MouseButtonRelease, {60, 25}, Qt::LeftButton, Qt::NoButton);
  SendMouse(title, QEvent::MouseMove, {90, 25}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(frame.pos(), start + QPoint(20, 15));  // no drag after the release

  // Caption handling.
  title->SetCaption("Erasure History");
  EXPECT_EQ(title->CaptionLabel()->text(), "Erasure History");
  EXPECT_TRUE(title->LogoLabel()->isVisible());
  frame.ClearTitle();
  EXPECT_FALSE(title->LogoLabel()->isVisible());
}

TEST(ShellSmallWidgets, LabelsMenuAndFooter) {
  ClickableLabel label("Add");
  QSignalSpy clicks(&label, &ClickableLabel::clicked);
  QTest::mouseClick(&label, Qt::RightButton);
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(clicks.count(), 2);

  CStyleMenu menu;
  menu.addAction("entry");
  menu.popup(QPoint(10, 10));
  QApplication::processEvents();
  QTest::keyClick(&menu, Qt::Key_Escape);
  EXPECT_TRUE(menu.isVisible());
  menu.close();
  CMenuStyle style;
  EXPECT_EQ(style.pixelMetric(QStyle::PM_MenuPanelWidth), 0);

  CSearchEdit search;
  EXPECT_EQ(search.GetLineEdit()->size(), QSize(150, 24));
  EXPECT_FALSE(search.GetLineEdit()->hasFrame());

  CBottomWidget bottom;
  bottom.InitUI();
  EXPECT_EQ(bottom.height(), 68);
  EXPECT_EQ(bottom.GetButton()->size(), QSize(130, 50));
  bottom.SetText("2 programs");
  EXPECT_EQ(bottom.Text(), "2 programs");

  CWinAppIconWidget tile;
  EXPECT_EQ(tile.ImagePath(), "./Resources/Installer.png");
  tile.SetIcon("./Resources/About.png", "#027DFF");
  EXPECT_EQ(tile.ImagePath(), "./Resources/About.png");
}

}  // namespace
