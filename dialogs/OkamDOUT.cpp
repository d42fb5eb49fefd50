#include "dialogs/OkamDOUT.h"

#include <QCheckBox>
#include <QPushButton>

#include "link/Commands.h"
#include "widgets/Widgets.h"

TForm9::TForm9(QWidget* owner) : TLiveForm(owner) {
  setObjectName(QStringLiteral("TForm9"));
  setWindowTitle(QStringLiteral("Zápis na digitální výstupy"));
  qm90ui::SetupFixedDialog(this, 233, 271);
  BuildControls();
  ConnectEvents();
}

void TForm9::BuildControls() {
  using qm90ui::Place;
  for (int i = 0; i < 8; ++i) {
    const QByteArray name = "CheckBox" + QByteArray::number(i + 1);
    check_boxes_[static_cast<std::size_t>(i)] = Place<QCheckBox>(
        this, name.constData(), 88, 32 + 16 * i, 65, 17, QStringLiteral("DOUT%1").arg(i));
  }
  Button1 = Place<QPushButton>(this, "Button1", 32, 200, 75, 25, QStringLiteral("Zapsat"));
  Button2 = Place<QPushButton>(this, "Button2", 128, 200, 75, 25, QStringLiteral("Cancel"));
  QWidget* previous = check_boxes_[0];
  for (QWidget* next :
       {static_cast<QWidget*>(check_boxes_[1]), static_cast<QWidget*>(check_boxes_[2]),
        static_cast<QWidget*>(check_boxes_[3]), static_cast<QWidget*>(check_boxes_[4]),
        static_cast<QWidget*>(check_boxes_[5]), static_cast<QWidget*>(check_boxes_[6]),
        static_cast<QWidget*>(check_boxes_[7]), static_cast<QWidget*>(Button1),
        static_cast<QWidget*>(Button2)}) {
    setTabOrder(previous, next);
    previous = next;
  }
  StatusBar1 = new qm90ui::TStatusBar(this, {width()});
}

void TForm9::ConnectEvents() {
  connect(Button1, &QPushButton::clicked, this, &TForm9::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm9::Button2Click);
}

void TForm9::Button1Click() {
  RunExchange([this] { WriteOutputs(); });
}

void TForm9::Button2Click() {
  reject();
}

std::uint8_t TForm9::OutputByte() const {
  std::uint8_t value = 0;
  for (int i = 0; i < 8; ++i) {
    if (check_boxes_[static_cast<std::size_t>(i)]->isChecked())
      value = static_cast<std::uint8_t>(value | (1U << i));
  }
  return value;
}

void TForm9::WriteOutputs() {
  if (!LinkReady()) return;
  const std::uint8_t status = ::WriteOutputs(Link(), OutputByte());
  SetStatus(status == 0 ? QStringLiteral(" Data zapsána")
                        : qm90live::StatusText(Data->InterfaceKind, status));
}
