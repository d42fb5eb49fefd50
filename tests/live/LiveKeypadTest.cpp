// The analog output window against the keypad's Enter key, which only the Qt
// backend tells apart from Return: it presses no button and sends nothing.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "dialogs/OkamAOUT.h"
#include "tests/live/LiveFixture.h"
#include "tests/support/QtWindow.h"

namespace {

using scripted::Script;

TEST(LiveKeypad, EnterInTheAnalogFieldSendsNothing) {
  scripted::Reset();
  SetDriverDirectory(QM90_SCRIPTED_DIR);
  TData data{};
  SetDataDefaults(&data);
  data.InitBlock[0] = 1;
  ASSERT_TRUE(livetest::OpenLink(data, 0));
  {
    auto form = qm90test::ShowStopped<TForm3>(&data);
    QWidget* window = qm90test::Win(form);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* edit = window->findChild<QLineEdit*>("Edit1");
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    Script().calls.clear();
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_TRUE(Script().CallsOf(scripted::Entry::Send).empty());
    EXPECT_TRUE(window->isVisible());
  }
  livetest::CloseLink(data);
  SetDriverDirectory("");
}

}  // namespace
