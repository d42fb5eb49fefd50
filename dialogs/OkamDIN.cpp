#include "dialogs/OkamDIN.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "link/Commands.h"
#include "widgets/Widgets.h"

namespace {
constexpr int kPollIntervalMs = 100;
constexpr int kRowTop = 32;
constexpr int kRowStep = 16;
}  // namespace

TForm11::TForm11(QWidget* owner) : TLiveForm(owner) {
  setObjectName(QStringLiteral("TForm11"));
  setWindowTitle(QStringLiteral("Okamžité hodnoty digitálních vstupů"));
  qm90ui::SetupFixedDialog(this, 291, 282);
  BuildControls();
  ConnectEvents();
  Timer1->start();
}

void TForm11::BuildControls() {
  using qm90ui::Place;
  for (int i = 0; i < 8; ++i) {
    const QByteArray name = "Label" + QByteArray::number(i + 1);
    auto* caption = Place<QLabel>(this, name.constData(), 104, kRowTop + kRowStep * i, 40, 13,
                                  QStringLiteral("DIN%1").arg(i));
    caption->adjustSize();
  }
  Panel1 = Place<qm90ui::TSunkenPanel>(this, "Panel1", 160, 24, 25, 145);
  for (int i = 0; i < 8; ++i) {
    const QByteArray name = "Label" + QByteArray::number(33 + i);
    value_labels_[static_cast<std::size_t>(i)] =
        Place<QLabel>(Panel1, name.constData(), 8, 8 + kRowStep * i, 10, 13, QStringLiteral("0"));
  }
  Button1 = Place<QPushButton>(this, "Button1", 112, 208, 75, 25, QStringLiteral("Cancel"));
  StatusBar1 = new qm90ui::TStatusBar(this, {width()});
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kPollIntervalMs);
}

void TForm11::ConnectEvents() {
  connect(Timer1, &QTimer::timeout, this, &TForm11::Timer1Timer);
  connect(Button1, &QPushButton::clicked, this, &TForm11::Button1Click);
}

void TForm11::Button1Click() {
  reject();
}

void TForm11::Timer1Timer() {
  // Before the window is shown AddressCopy is not yet the module's address;
  // once it is closed nothing more is sent.
  if (!isVisible()) return;
  RunExchange([this] { Poll(); });
}

void TForm11::Poll() {
  if (!LinkReady()) return;
  std::uint8_t inputs = 0;
  const std::uint8_t status = ReadInputs(Link(), inputs);
  const QString text = qm90live::StatusText(Data->InterfaceKind, status);
  if (status == 0) {
    for (int i = 0; i < 8; ++i)
      value_labels_[static_cast<std::size_t>(i)]->setText(qm90live::BitText(inputs, i));
    Panel1->repaint();
  }
  SetStatus(text);
}
