#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QtTest/QTest>

#include "CBaseDialog.h"
#include "CLeftBtn.h"
#include "CMSGDlg.h"
#include "CRoundBtn.h"
#include "CTitleBtn.h"
#include "ModalHelper.h"
#include "PopupWindowButton.h"
#include "TestUtil.h"
#include "UiHelpers.h"

namespace {

class StateImages {
 public:
  StateImages() {
    for (int i = 0; i < 4; ++i) {
      QImage image(8, 8, QImage::Format_ARGB32);
      image.fill(colors[i]);
      const QString path = QString::fromStdString(m_dir.file("state" + std::to_string(i) + ".png"));
      image.save(path);
      files.append(path);
    }
  }
  const QColor colors[4] = {QColor(200, 0, 0), QColor(0, 200, 0), QColor(0, 0, 200), QColor(90, 90, 90)};
  QVector<QString> files;

 private:
  testutil::TempDir m_dir{"btn"};
};

QColor CentreColour(QWidget* w) {
  const QImage image = w->grab().toImage();
  return image.pixelColor(image.width() / 2, image.height() / 2);
}

void Enter(QWidget* w) {
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(w, &enter);
}

TEST(ShellButtons, TitleButtonShowsTheImageOfEachState) {
  StateImages images;
  std::unique_ptr<CTitleBtn> button(CBaseDialog::CreateIconButton(images.files));
  button->resize(20, 20);
  button->show();
  EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(button->iconSize(), QSize(8, 8));
  EXPECT_EQ(button->btnObj()->bgColor(2), QColor(42, 48, 78));

  EXPECT_EQ(button->btnObj()->state(), CBPBtnObj::Normal);
  EXPECT_EQ(CentreColour(button.get()), images.colors[0]);
  Enter(button.get());
  EXPECT_EQ(button->btnObj()->state(), CBPBtnObj::Hover);
  EXPECT_EQ(CentreColour(button.get()), images.colors[1]);
  QTest::mousePress(button.get(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  EXPECT_EQ(button->btnObj()->state(), CBPBtnObj::Pressed);
  EXPECT_EQ(CentreColour(button.get()), images.colors[2]);
  QTest::mouseRelease(button.get(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  button->setEnabled(false);
  EXPECT_EQ(button->btnObj()->state(), CBPBtnObj::Disabled);
  EXPECT_EQ(CentreColour(button.get()), images.colors[3]);

  // Nothing but the icon: an icon-less button paints nothing at all.
  CTitleBtn bare;
  bare.resize(20, 20);
  bare.setAttribute(Qt::WA_TranslucentBackground);
  EXPECT_EQ(bare.grab().toImage().pixelColor(10, 10).alpha(), 0);
}

// A click that opens a dialog: the user answers it somewhere else, so the
// mouse is no longer over the button when the dialog closes. The button
// must not keep its hover look (no leave event reaches it meanwhile).
TEST(ShellButtons, HoverEndsWhenTheDialogTheButtonOpenedCloses) {
  StateImages images;
  std::unique_ptr<CTitleBtn> title(CBaseDialog::CreateIconButton(images.files));
  title->resize(20, 20);
  CLeftBtn navigation(true, 14);
  navigation.setText("Erasure History");
  const QColor navy(42, 48, 78);
  struct Case {
    const char* name;
    QAbstractButton* button;
    std::function<int()> state;
    QPoint probe;
    QColor normal;  // the probe's colour without hover
  } cases[] = {
      {"title", title.get(), [&] { return title->btnObj()->state(); }, QPoint(10, 10), images.colors[0]},
      {"navigation", &navigation, [&] { return navigation.btnObj()->state(); }, QPoint(5, 5), navy},
  };
  for (const Case& c : cases) {
    c.button->show();
    QTest::mouseMove(c.button, c.button->rect().center());
    Enter(c.button);
    ASSERT_EQ(c.state(), CBPBtnObj::Hover) << c.name;
    QMetaObject::Connection opens = QObject::connect(c.button, &QAbstractButton::clicked, [] {
      modal::Answer([](QWidget* box) {
        QCursor::setPos(QPoint(5000, 5000));
        static_cast<QDialog*>(box)->accept();
      });
      CMSGDlg box(424, 244);
      box.InitUI(1, "Opened by the button", 1, 0);
      box.exec();
    });
    QTest::mouseClick(c.button, Qt::LeftButton, Qt::NoModifier, c.button->rect().center());
    QObject::disconnect(opens);
    EXPECT_EQ(c.state(), CBPBtnObj::Normal) << c.name;
    EXPECT_EQ(c.button->grab().toImage().pixelColor(c.probe), c.normal) << c.name;

    // Released over the button with the mouse still there: hover stays.
    QTest::mouseMove(c.button, c.button->rect().center());
    QTest::mouseClick(c.button, Qt::LeftButton, Qt::NoModifier, c.button->rect().center());
    EXPECT_EQ(c.state(), CBPBtnObj::Hover) << c.name;
    c.button->hide();
  }
}

TEST(ShellButtons, NavigationButtonSelection) {
  const QColor teal(127, 207, 220), navy(42, 48, 78);
  CLeftBtn page(false, 15);
  page.setText("Erase Files");
  page.show();
  EXPECT_EQ(page.size(), QSize(249, 46));
  EXPECT_EQ(page.grab().toImage().pixelColor(5, 5), navy);
  page.SetSelected(true);
  EXPECT_EQ(page.grab().toImage().pixelColor(5, 5), teal);

  // A plain entry (it opens a dialog) is pressed, paints once in its normal
  // colours and does not stay selected.
  CLeftBtn plain(true, 14);
  plain.show();
  QTest::mousePress(&plain, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(plain.IsSelected());
  EXPECT_EQ(plain.grab().toImage().pixelColor(5, 5), navy);
  EXPECT_FALSE(plain.IsSelected());
  QTest::mouseRelease(&plain, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
}

TEST(ShellButtons, RoundButtonColoursFollowTheState) {
  CRoundBtn button(18);
  button.resize(140, 36);
  const QVector<QColor> colours = {QColor(2, 125, 255), QColor(43, 147, 255), QColor(0, 102, 214), QColor(174, 187, 208)};
  button.SetColors(colours);
  button.SetText("Wipe Now", Qt::white);
  button.show();
  EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(button.Text(), "Wipe Now");
  EXPECT_EQ(button.grab().toImage().pixelColor(30, 18), colours[0]);
  Enter(&button);
  EXPECT_EQ(button.grab().toImage().pixelColor(30, 18), colours[1]);
  button.setEnabled(false);
  EXPECT_EQ(button.grab().toImage().pixelColor(30, 18), colours[3]);

  PopupWindowButton popup("Uninstall");
  EXPECT_EQ(popup.text(), "Uninstall");
  EXPECT_TRUE(popup.styleSheet().contains("rgb(253,253,126)"));
}

}  // namespace
