// The keyboard in the dialogs with a web link: Enter presses OK, Tab reaches the link, and the link shows
// that it has the focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "app/about_dialog.h"
#include "widgets/link_label.h"

namespace {

TEST(AboutDialog, EnterPressesOkAndTabReachesTheLinkWithAVisibleFocus) {
  desktop::CAboutDialog dialog;
  widgets::CLinkLabel* link = dialog.Link();
  ASSERT_NE(link, nullptr);
  int opened = 0;
  link->openUrl = [&](const QString&) { ++opened; };
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  auto* ok = qobject_cast<QPushButton*>(QApplication::focusWidget());
  ASSERT_NE(ok, nullptr) << "the first focus is not on a button";
  EXPECT_TRUE(ok->isDefault());

  const QImage unfocused = link->grab().toImage();
  QTest::keyClick(&dialog, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), link);
  EXPECT_NE(link->grab().toImage(), unfocused) << "the focus on the link is invisible";
  QTest::keyClick(&dialog, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), ok);

  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_EQ(opened, 0);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
