#include "dialogs/StatReg.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "link/Commands.h"
#include "widgets/Widgets.h"

namespace {
constexpr int kPollIntervalMs = 500;
constexpr int kRowTop = 32;
constexpr int kRowStep = 16;
constexpr std::array<int, 4> kCaptionLeft = {24, 136, 224, 320};
constexpr std::array<int, 4> kPanelLeft = {72, 160, 248, 344};

// Row captions of the first column; the other columns show "---" throughout.
QString RowCaption(int column, int bit) {
  static const std::array<const char*, 8> kFirstColumn = {"---", "FN",  "PRF",   "---",
                                                          "PWR", "RST", "ERR24", "---"};
  return QString::fromLatin1(column == 0 ? kFirstColumn[static_cast<std::size_t>(bit)] : "---");
}
}  // namespace

TForm15::TForm15(QWidget* owner) : TLiveForm(owner) {
  setObjectName(QStringLiteral("TForm15"));
  setWindowTitle(QStringLiteral("Status registr"));
  qm90ui::SetupFixedDialog(this, 400, 276);
  BuildControls();
  ConnectEvents();
  Timer1->start();
}

void TForm15::BuildControls() {
  using qm90ui::Place;
  for (int column = 0; column < 4; ++column) {
    const auto c = static_cast<std::size_t>(column);
    for (int bit = 0; bit < 8; ++bit) {
      const QByteArray name = "Label" + QByteArray::number(1 + 8 * column + bit);
      auto* caption = Place<QLabel>(this, name.constData(), kCaptionLeft[c],
                                    kRowTop + kRowStep * bit, 40, 13, RowCaption(column, bit));
      caption->adjustSize();
    }
    panels_[c] = Place<qm90ui::TSunkenPanel>(
        this, ("Panel" + QByteArray::number(column + 1)).constData(), kPanelLeft[c], 24, 25, 145);
    for (int bit = 0; bit < 8; ++bit) {
      const int index = 8 * column + bit;
      const QByteArray name = "Label" + QByteArray::number(33 + index);
      value_labels_[static_cast<std::size_t>(index)] = Place<QLabel>(
          panels_[c], name.constData(), 8, 8 + kRowStep * bit, 10, 13, QStringLiteral("0"));
    }
  }
  Button2 = Place<QPushButton>(this, "Button2", 24, 208, 75, 25, QStringLiteral("Vynulovat"));
  Button1 = Place<QPushButton>(this, "Button1", 296, 208, 75, 25, QStringLiteral("Cancel"));
  // "Cancel" comes first: a key pressed right after opening must not clear the register.
  setTabOrder(Button1, Button2);
  Button1->setFocus();
  StatusBar1 = new qm90ui::TStatusBar(this, {width()});
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kPollIntervalMs);
}

void TForm15::ConnectEvents() {
  connect(Timer1, &QTimer::timeout, this, &TForm15::Timer1Timer);
  connect(Button1, &QPushButton::clicked, this, &TForm15::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm15::Button2Click);
}

void TForm15::Button1Click() {
  reject();
}

void TForm15::Button2Click() {
  RunExchange([this] { ClearRegister(); });
}

void TForm15::Timer1Timer() {
  // Before the window is shown AddressCopy is not yet the module's address;
  // once it is closed nothing more is sent.
  if (!isVisible()) return;
  RunExchange([this] { Poll(); });
}

void TForm15::Poll() {
  if (!LinkReady()) return;
  std::array<std::uint8_t, 4> bytes{};  // d1..d4
  const std::uint8_t status = ReadStatusRegister(Link(), bytes);
  const QString text = qm90live::StatusText(Data->InterfaceKind, status);
  if (status == 0) {
    for (std::size_t index = 0; index < value_labels_.size(); ++index)
      value_labels_[index]->setText(
          qm90live::BitText(bytes[index / 8], static_cast<int>(index % 8)));
    for (qm90ui::TSunkenPanel* panel : panels_) panel->repaint();
  }
  SetStatus(text);
}

void TForm15::ClearRegister() {
  if (!LinkReady()) return;
  const std::uint8_t status = ClearStatusRegister(Link());
  // A successful clear leaves the status line to the next poll.
  if (status != 0) SetStatus(qm90live::StatusText(Data->InterfaceKind, status));
}
