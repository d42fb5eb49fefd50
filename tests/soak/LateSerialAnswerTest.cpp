// An answer that comes after the serial link's time-out must not pass for the
// answer to the next request: the status register view's late answer arrives
// while the inputs view waits for its own, and must not show up there as its
// inputs. The module echoes the request's sequence byte, by which QBL310 tells
// the two apart.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <memory>

#include "dialogs/OkamDIN.h"
#include "dialogs/StatReg.h"
#include "tests/soak/Soak.h"
#include "tests/support/QtWindow.h"
#include "tests/support/ShowWindow.h"
#include "ui/qt/Widgets.h"

namespace {

QString Labels(qm90test::TWin form, int count) {
  QString bits;
  for (int i = 0; i < count; ++i)
    bits += form->findChild<QLabel*>(QStringLiteral("Label%1").arg(33 + i))->text();
  return bits;
}

using qm90test::ShowStopped;

TEST(LateSerialAnswer, IsNotTakenForTheNextRequestsAnswer) {
  soak::SimLink link(soak::Transport::kPty, 3);
  ASSERT_TRUE(link.Ok()) << link.Error();
  ASSERT_TRUE(link.Sim().SetInputs(1, 0xA5));
  const long inputs = link.Sim().Get(1, "inputs");
  ASSERT_NE(inputs & 0xFF, link.Sim().Get(1, "status") & 0xFF);

  auto status = ShowStopped<TForm15>(&link.Data());
  auto din = ShowStopped<TForm11>(&link.Data());
  // Every answer comes half a time-out late: the status register's answer
  // arrives while the inputs view waits for its own.
  ASSERT_TRUE(link.Sim().SetFaults(0, 0, link.LateDelayMs()));
  status->Timer1Timer();
  din->Timer1Timer();
  auto* bar = qm90test::Win(din)->findChild<qm90qt::TStatusBar*>("StatusBar1");
  if (bar->PanelText(0) == link.OkText()) {
    QString expected;
    for (int i = 0; i < 8; ++i) expected += (inputs >> i) & 1 ? '1' : '0';
    EXPECT_EQ(Labels(din.get(), 8).toStdString(), expected.toStdString())
        << "an old answer to another request was shown";
  }
}

}  // namespace
