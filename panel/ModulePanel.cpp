#include "panel/ModulePanel.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace qm90panel {

namespace {

constexpr int kBaudRates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kRegisters[] = {63, 62, 32, 33, 34, 35, 36};
constexpr int kSettableBits[] = {1, 4, 6};  // FN, PWR, ERR24

const char* BitName(int bit) {
  switch (bit) {
    case 1:
      return "FN";
    case 4:
      return "PWR";
    case 6:
      return "ERR24";
    default:
      return nullptr;
  }
}

QString RegisterTitle(int number) {
  switch (number) {
    case 63:
      return QStringLiteral("Adresa (63)");
    case 62:
      return QStringLiteral("Rychlost (62)");
    case 32:
      return QStringLiteral("Výstupy po zapnutí (32)");
    case 33:
      return QStringLiteral("Negace vstupů (33)");
    case 34:
      return QStringLiteral("Negace výstupů (34)");
    case 35:
      return QStringLiteral("AOUT po zapnutí, nižší bajt (35)");
    default:
      return QStringLiteral("AOUT po zapnutí, vyšší bajt (36)");
  }
}

QString BaudText(int index) {
  return index >= 0 && index < 9 ? QStringLiteral("%1 Bd").arg(kBaudRates[index])
                                 : QStringLiteral("?");
}

// Bits shown as channel 7 .. channel 0.
QString BitsText(int value) {
  return QStringLiteral("%1  (%2)").arg(value).arg(value, 8, 2, QChar(u'0'));
}

QGroupBox* Group(const QString& title, QLayout* layout) {
  auto* box = new QGroupBox(title);
  box->setLayout(layout);
  return box;
}

}  // namespace

ModulePanel::ModulePanel(int identity, QWidget* parent) : QWidget(parent), identity_(identity) {
  setObjectName(QStringLiteral("module%1").arg(identity));
  auto* left = new QVBoxLayout;
  left->addWidget(MakeInputs());
  left->addWidget(MakeOutputs());
  left->addWidget(MakeAnalog());
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(MakeStatus());
  right->addWidget(MakeConfiguration());
  right->addStretch(1);
  auto* columns = new QHBoxLayout(this);
  columns->addLayout(left, 1);
  columns->addLayout(right, 1);
  ConnectSignals();
}

QString ModulePanel::Title() const {
  return address_ < 0 ? QStringLiteral("Modul %1").arg(identity_)
                      : QStringLiteral("Modul %1 (adresa %2)").arg(identity_).arg(address_);
}

QWidget* ModulePanel::MakeInputs() {
  auto* grid = new QGridLayout;
  for (int k = 0; k < 8; ++k) {
    auto* button = new QPushButton(QStringLiteral("DIN%1").arg(k));
    button->setObjectName(QStringLiteral("din%1").arg(k));
    button->setCheckable(true);
    button->setToolTip(QStringLiteral("Klepnutím se přepne úroveň na svorce DIN%1").arg(k));
    grid->addWidget(button, 0, k);
    input_switches_[static_cast<std::size_t>(k)] = button;
  }
  all_on_ = new QPushButton(QStringLiteral("Všechny zapnout"));
  all_on_->setObjectName(QStringLiteral("dinAllOn"));
  all_off_ = new QPushButton(QStringLiteral("Všechny vypnout"));
  all_off_->setObjectName(QStringLiteral("dinAllOff"));
  grid->addWidget(all_on_, 1, 0, 1, 4);
  grid->addWidget(all_off_, 1, 4, 1, 4);
  return Group(QStringLiteral("Vstupy (úroveň na svorkách)"), grid);
}

QWidget* ModulePanel::MakeOutputs() {
  auto* row = new QHBoxLayout;
  for (int k = 0; k < 8; ++k) {
    auto* lamp = new QLabel(QStringLiteral("DOUT%1").arg(k));
    lamp->setObjectName(QStringLiteral("dout%1").arg(k));
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setMinimumHeight(28);
    lamp->setProperty("lit", false);
    row->addWidget(lamp);
    lamps_[static_cast<std::size_t>(k)] = lamp;
  }
  ShowOutputs(0);
  return Group(QStringLiteral("Výstupy (úroveň na svorkách)"), row);
}

QWidget* ModulePanel::MakeAnalog() {
  aout_value_ = new QLabel(QStringLiteral("0"));
  aout_value_->setObjectName(QStringLiteral("aoutValue"));
  aout_value_->setMinimumWidth(60);
  aout_bar_ = new QProgressBar;
  aout_bar_->setObjectName(QStringLiteral("aoutBar"));
  aout_bar_->setRange(0, 65535);
  aout_bar_->setTextVisible(false);
  auto* row = new QHBoxLayout;
  row->addWidget(aout_value_);
  row->addWidget(aout_bar_, 1);
  return Group(QStringLiteral("Analogový výstup"), row);
}

QWidget* ModulePanel::MakeStatus() {
  auto* grid = new QGridLayout;
  for (int bit = 0; bit < 32; ++bit) {
    const char* name = BitName(bit);
    auto* box = new QCheckBox(name ? QStringLiteral("%1 %2").arg(bit).arg(QLatin1String(name))
                                   : QString::number(bit));
    box->setObjectName(QStringLiteral("status%1").arg(bit));
    box->setEnabled(name != nullptr);
    grid->addWidget(box, bit / 8, bit % 8);
    status_bits_[static_cast<std::size_t>(bit)] = box;
  }
  status_value_ = new QLabel(QStringLiteral("0x00000000"));
  status_value_->setObjectName(QStringLiteral("statusValue"));
  grid->addWidget(status_value_, 4, 0, 1, 8);
  return Group(QStringLiteral("Stavový registr (FN, PWR a ERR24 lze nastavit)"), grid);
}

QWidget* ModulePanel::MakeConfiguration() {
  auto* form = new QFormLayout;
  active_ = new QLabel(QStringLiteral("?"));
  active_->setObjectName(QStringLiteral("active"));
  form->addRow(QStringLiteral("Nyní odpovídá:"), active_);
  for (std::size_t i = 0; i < registers_.size(); ++i) {
    auto* value = new QLabel(QStringLiteral("?"));
    value->setObjectName(QStringLiteral("reg%1").arg(kRegisters[i]));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(RegisterTitle(kRegisters[i]) + u':', value);
    registers_[i] = value;
  }
  power_cycle_ = new QPushButton(QStringLiteral("Vypnout a zapnout napájení"));
  power_cycle_->setObjectName(QStringLiteral("powerCycle"));
  power_cycle_->setToolTip(
      QStringLiteral("Nová adresa a rychlost z registrů 63 a 62 platí až po zapnutí"));
  form->addRow(power_cycle_);
  return Group(QStringLiteral("Uložená konfigurace"), form);
}

void ModulePanel::ConnectSignals() {
  for (int k = 0; k < 8; ++k) {
    connect(input_switches_[static_cast<std::size_t>(k)], &QPushButton::clicked, this,
            [this, k] { emit inputsRequested(identity_, inputs_ ^ (1 << k)); });
  }
  connect(all_on_, &QPushButton::clicked, this, [this] { emit inputsRequested(identity_, 0xFF); });
  connect(all_off_, &QPushButton::clicked, this, [this] { emit inputsRequested(identity_, 0); });
  for (int bit : kSettableBits) {
    connect(status_bits_[static_cast<std::size_t>(bit)], &QCheckBox::clicked, this,
            [this, bit](bool set) { emit statusBitRequested(identity_, bit, set); });
  }
  connect(power_cycle_, &QPushButton::clicked, this,
          [this] { emit powerCycleRequested(identity_); });
}

void ModulePanel::ShowAddress(int address, int baud_index) {
  address_ = address;
  baud_index_ = baud_index;
  active_->setText(QStringLiteral("adresa %1, %2").arg(address).arg(BaudText(baud_index)));
  emit titleChanged();
}

void ModulePanel::ShowValue(const QString& what, qint64 value) {
  if (what == u"inputs") ShowInputs(static_cast<int>(value));
  if (what == u"outputs") ShowOutputs(static_cast<int>(value));
  if (what == u"status") ShowStatus(static_cast<std::uint32_t>(value));
  if (what == u"aout") {
    aout_value_->setText(QString::number(value));
    aout_bar_->setValue(static_cast<int>(value));
  }
}

void ModulePanel::ShowInputs(int terminals) {
  inputs_ = terminals & 0xFF;
  for (int k = 0; k < 8; ++k) {
    input_switches_[static_cast<std::size_t>(k)]->setChecked((inputs_ >> k) & 1);
  }
}

void ModulePanel::ShowOutputs(int terminals) {
  static const QString kLit = QStringLiteral(
      "QLabel { background: #2ecc40; color: black; border: 1px solid #145214; border-radius: 4px; "
      "}");
  static const QString kDark = QStringLiteral(
      "QLabel { background: #5a5a5a; color: #d0d0d0; border: 1px solid #303030; border-radius: "
      "4px; }");
  for (int k = 0; k < 8; ++k) {
    QLabel* lamp = lamps_[static_cast<std::size_t>(k)];
    const bool lit = (terminals >> k) & 1;
    if (lamp->property("lit").toBool() == lit && !lamp->styleSheet().isEmpty()) continue;
    lamp->setProperty("lit", lit);
    lamp->setStyleSheet(lit ? kLit : kDark);
  }
}

void ModulePanel::ShowStatus(std::uint32_t status) {
  for (int bit = 0; bit < 32; ++bit) {
    status_bits_[static_cast<std::size_t>(bit)]->setChecked((status >> bit) & 1u);
  }
  status_value_->setText(QStringLiteral("0x%1")
                             .arg(status, 8, 16, QChar(u'0'))
                             .toUpper()
                             .replace(QStringLiteral("0X"), QStringLiteral("0x")));
}

void ModulePanel::ShowRegister(int number, int value) {
  for (std::size_t i = 0; i < registers_.size(); ++i) {
    if (kRegisters[i] != number) continue;
    QString text = QString::number(value);
    if (number == 62) text += QStringLiteral("  (%1)").arg(BaudText(value));
    if (number >= 32 && number <= 34) text = BitsText(value);
    registers_[i]->setText(text);
  }
}

}  // namespace qm90panel
