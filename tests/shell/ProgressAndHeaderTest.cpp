#include <gtest/gtest.h>

#include <QLabel>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <vector>

#include "BusSpy.h"
#include "CHeaderView.h"
#include "CProgressWidget.h"
#include "MsgDefine.h"
#include "ProgressBar.h"

namespace {

TEST(ShellProgress, BarValuesPercentAndFill) {
  struct Case {
    int min, max, value;
    bool percent;
    int shown;
    double fill;  // share of the track that is filled
  } cases[] = {
      {0, 0, 0, true, 100, 1.0},    {0, 100, 0, true, 0, 0.0},      {0, 100, 45, true, 45, 0.45},
      {0, 1000, 999, true, 99, 0.999}, {0, 2, 1, true, 50, 0.5},    {0, 100, 100, false, 100, 1.0},
      {10, 20, 15, true, 50, 0.5},
  };
  for (const Case& c : cases) {
    ProgressBar bar;
    bar.SetShowPercent(c.percent);
    bar.resize(430, 20);
    bar.setRange(c.min, c.max);
    bar.setValue(c.value);
    const int track = c.percent ? 430 - bar.TextWidth() : 430;
    EXPECT_EQ(bar.TrackWidth(), track);
    EXPECT_EQ(bar.PercentShown(), c.shown) << c.min << ".." << c.max << " at " << c.value;
    EXPECT_EQ(bar.FilledWidth(), static_cast<int>(track * c.fill)) << c.value;
  }
  EXPECT_GE(ProgressBar().TextWidth(), 30);
}

TEST(ShellProgress, PaintedBarMatchesItsValue) {
  ProgressBar bar;
  bar.resize(330, 20);
  bar.setRange(0, 100);
  bar.setValue(50);
  const QImage image = bar.grab().toImage();
  const int track = bar.TrackWidth();
  EXPECT_EQ(image.pixelColor(track / 4, 10), QColor(2, 125, 255));
  EXPECT_EQ(image.pixelColor(track * 3 / 4, 10), QColor(199, 211, 228));
}

TEST(ShellProgress, WidgetCaptionsByMask) {
  CProgressWidget w;
  w.SetText("left", "right", 3);
  w.SetText("L2", "R2", 2);
  EXPECT_EQ(w.LeftCaption()->text(), "left");
  EXPECT_EQ(w.RightCaption()->text(), "R2");
  w.SetText("L3", "R3", 1);
  EXPECT_EQ(w.LeftCaption()->text(), "L3");
  EXPECT_EQ(w.RightCaption()->text(), "R2");
  EXPECT_EQ(w.GetProgressBar()->value(), 0);
  w.SetShowPercent(false);
  EXPECT_FALSE(static_cast<ProgressBar*>(w.GetProgressBar())->ShowsPercent());
  w.SetBarHeight(16);
  EXPECT_EQ(w.GetProgressBar()->height(), 16);
}

// The check states the header announced, in order.
std::vector<int> CheckStates(const testutil::BusSpy& bus) {
  std::vector<int> states;
  for (const HeaderCheckMsgData& d : bus.Payloads<HeaderCheckMsgData>(MSG_HEADER_CHECK_TOGGLED))
    states.push_back(d.checkState);
  return states;
}

struct Tree {
  explicit Tree(bool withCheckBox) {
    header = new CHeaderView(Qt::Horizontal, nullptr, withCheckBox);
    tree.setHeader(header);
    tree.setColumnCount(4);
    for (int i = 0; i < 4; ++i) tree.setColumnWidth(i, 100);
    tree.resize(420, 200);
    tree.show();
  }
  void Click(int x, int y) { QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y)); }
  QTreeWidget tree;
  CHeaderView* header;
};

TEST(ShellHeader, CheckBoxThreeStates) {
  Tree t(true);
  testutil::BusSpy seen({MSG_HEADER_CHECK_TOGGLED});
  EXPECT_EQ(t.header->CheckState(), 0);
  EXPECT_EQ(t.header->CheckImage(), "./Resources/checkbox_no.png");
  t.Click(20, 10);
  EXPECT_EQ(t.header->CheckState(), 2);
  EXPECT_EQ(t.header->CheckImage(), "./Resources/checkbox_yes.png");
  t.Click(20, 10);
  EXPECT_EQ(t.header->CheckState(), 0);
  EXPECT_EQ(CheckStates(seen), (std::vector<int>{2, 0}));

  // The page reports a partly checked list; a click then checks all.
  HeaderCheckMsgData partly;
  partly.checkState = 1;
  SendBusMsg(MSG_SET_HEADER_CHECK, partly);
  EXPECT_EQ(t.header->CheckState(), 1);
  EXPECT_EQ(t.header->CheckImage(), "./Resources/checkbox_semi_election.png");
  t.Click(20, 10);
  EXPECT_EQ(t.header->CheckState(), 2);
  EXPECT_EQ(CheckStates(seen), (std::vector<int>{2, 0, 2}));

  // Elsewhere in section 0 the box does not react.
  t.Click(60, 10);
  EXPECT_EQ(t.header->CheckState(), 2);
  EXPECT_EQ(CheckStates(seen).size(), 3u);
}

TEST(ShellHeader, SortArrows) {
  Tree t(true);
  t.Click(150, 10);  // section 1
  EXPECT_TRUE(t.header->ArrowShown(1));
  EXPECT_EQ(t.header->ArrowImage(1), "./Resources/arrow_descending.png");
  t.Click(150, 10);
  EXPECT_EQ(t.header->ArrowImage(1), "./Resources/arrow_ascending.png");
  t.Click(250, 10);  // section 2
  EXPECT_FALSE(t.header->ArrowShown(1));
  EXPECT_FALSE(t.header->SortFlag(1));
  EXPECT_TRUE(t.header->ArrowShown(2));
  EXPECT_EQ(t.header->ArrowImage(2), "./Resources/arrow_descending.png");
  t.Click(350, 10);  // section 3
  EXPECT_FALSE(t.header->ArrowShown(2));
  EXPECT_EQ(t.header->ArrowImage(3), "./Resources/arrow_ascending.png");
}

TEST(ShellHeader, WithoutCheckBoxItIsAPlainHeader) {
  Tree t(false);
  testutil::BusSpy seen({MSG_HEADER_CHECK_TOGGLED});
  t.Click(20, 10);
  t.Click(150, 10);
  EXPECT_TRUE(seen.Empty());
  EXPECT_EQ(t.header->CheckState(), 0);
  EXPECT_FALSE(t.header->ArrowShown(1));
}

}  // namespace
