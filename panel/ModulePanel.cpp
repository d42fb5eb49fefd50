#include "panel/ModulePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <iterator>

#include "base/Baud.h"
#include "base/ModuleCommands.h"
#include "emulator/ControlGrammar.h"
#include "emulator/Module.h"

namespace qm90panel {

namespace {

using qm90emulator::kChannels;

// The order the configuration is shown in: where the module answers first.
constexpr std::uint8_t kShownRegisters[] = {qm90cmd::kRegAddress,      qm90cmd::kRegBaudIndex,
                                            qm90cmd::kRegDoutInit,     qm90cmd::kRegDinNegation,
                                            qm90cmd::kRegDoutNegation, qm90cmd::kRegAoutLow,
                                            qm90cmd::kRegAoutHigh};
static_assert(std::size(kShownRegisters) == qm90cmd::kRegisters.size());

const char* BitName(int bit) {
  for (const qm90::StatusBitName& named : qm90::kStatusBitNames) {
    if (named.bit == bit) return named.name;
  }
  return nullptr;
}

// "FN, PWR a ERR24"
QString SettableBitsText() {
  QString text;
  const std::size_t count = std::size(qm90::kStatusBitNames);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += i + 1 == count ? QStringLiteral(" a ") : QStringLiteral(", ");
    text += QLatin1String(qm90::kStatusBitNames[i].name);
  }
  return text;
}

QString RegisterTitle(int number) {
  switch (number) {
    case qm90cmd::kRegAddress:
      return QStringLiteral("Adresa (63)");
    case qm90cmd::kRegBaudIndex:
      return QStringLiteral("Rychlost (62)");
    case qm90cmd::kRegDoutInit:
      return QStringLiteral("Výstupy po zapnutí (32)");
    case qm90cmd::kRegDinNegation:
      return QStringLiteral("Negace vstupů (33)");
    case qm90cmd::kRegDoutNegation:
      return QStringLiteral("Negace výstupů (34)");
    case qm90cmd::kRegAoutLow:
      return QStringLiteral("AOUT po zapnutí, nižší bajt (35)");
    default:
      return QStringLiteral("AOUT po zapnutí, vyšší bajt (36)");
  }
}

QString BaudText(int index) {
  return index >= 0 && index < base::kBaudCount
             ? QStringLiteral("%1 Bd").arg(base::kBaudRates[index])
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
  right->addWidget(MakeWiring());
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
  for (int k = 0; k < kChannels; ++k) {
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
  for (int k = 0; k < kChannels; ++k) {
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
  return Group(QStringLiteral("Stavový registr (%1 lze nastavit)").arg(SettableBitsText()), grid);
}

QWidget* ModulePanel::MakeConfiguration() {
  auto* form = new QFormLayout;
  active_ = new QLabel(QStringLiteral("?"));
  active_->setObjectName(QStringLiteral("active"));
  form->addRow(QStringLiteral("Nyní odpovídá:"), active_);
  for (std::size_t i = 0; i < registers_.size(); ++i) {
    auto* value = new QLabel(QStringLiteral("?"));
    value->setObjectName(QStringLiteral("reg%1").arg(kShownRegisters[i]));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(RegisterTitle(kShownRegisters[i]) + u':', value);
    registers_[i] = value;
  }
  power_cycle_ = new QPushButton(QStringLiteral("Vypnout a zapnout napájení"));
  power_cycle_->setObjectName(QStringLiteral("powerCycle"));
  power_cycle_->setToolTip(
      QStringLiteral("Nová adresa a rychlost z registrů 63 a 62 platí až po zapnutí"));
  form->addRow(power_cycle_);
  return Group(QStringLiteral("Uložená konfigurace"), form);
}

// On every change of state, however it came (a click, the keyboard, an
// accessibility client's toggle), not on clicks only: the switch and the
// module must never disagree. What the emulator reports is shown with the
// signals blocked.
void ModulePanel::ConnectSignals() {
  for (int k = 0; k < kChannels; ++k) {
    connect(input_switches_[static_cast<std::size_t>(k)], &QPushButton::toggled, this,
            [this, k](bool on) {
              inputs_ = on ? inputs_ | (1 << k) : inputs_ & ~(1 << k);
              emit inputsRequested(identity_, inputs_);
            });
  }
  connect(all_on_, &QPushButton::clicked, this, [this] { emit inputsRequested(identity_, 0xFF); });
  connect(all_off_, &QPushButton::clicked, this, [this] { emit inputsRequested(identity_, 0); });
  for (const qm90::StatusBitName& named : qm90::kStatusBitNames) {
    const int bit = named.bit;
    connect(status_bits_[static_cast<std::size_t>(bit)], &QCheckBox::toggled, this,
            [this, bit](bool set) { emit statusBitRequested(identity_, bit, set); });
  }
  connect(power_cycle_, &QPushButton::clicked, this,
          [this] { emit powerCycleRequested(identity_); });
  connect(loopback_, &QCheckBox::toggled, this,
          [this](bool wired) { emit wiringRequested(identity_, wired); });
  connect(twin_, &QCheckBox::toggled, this,
          [this](bool present) { emit twinRequested(identity_, present); });
  for (int side = 0; side < 2; ++side) {
    for (int k = 0; k < kChannels; ++k) {
      QComboBox* box = stuck_[static_cast<std::size_t>(side)][static_cast<std::size_t>(k)];
      connect(box, &QComboBox::currentIndexChanged, this, [this, side, k](int index) {
        emit stuckRequested(identity_, side == 0, k, index - 1);
      });
    }
  }
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
  for (int k = 0; k < kChannels; ++k) {
    QPushButton* button = input_switches_[static_cast<std::size_t>(k)];
    const QSignalBlocker quiet(button);
    button->setChecked((inputs_ >> k) & 1);
  }
}

void ModulePanel::ShowOutputs(int terminals) {
  static const QString kLit = QStringLiteral(
      "QLabel { background: #2ecc40; color: black; border: 1px solid #145214; border-radius: 4px; "
      "}");
  static const QString kDark = QStringLiteral(
      "QLabel { background: #5a5a5a; color: #d0d0d0; border: 1px solid #303030; border-radius: "
      "4px; }");
  for (int k = 0; k < kChannels; ++k) {
    QLabel* lamp = lamps_[static_cast<std::size_t>(k)];
    const bool lit = (terminals >> k) & 1;
    if (lamp->property("lit").toBool() == lit && !lamp->styleSheet().isEmpty()) continue;
    lamp->setProperty("lit", lit);
    lamp->setStyleSheet(lit ? kLit : kDark);
  }
}

void ModulePanel::ShowStatus(std::uint32_t status) {
  for (int bit = 0; bit < 32; ++bit) {
    QCheckBox* box = status_bits_[static_cast<std::size_t>(bit)];
    const QSignalBlocker quiet(box);
    box->setChecked((status >> bit) & 1u);
  }
  status_value_->setText(QStringLiteral("0x%1")
                             .arg(status, 8, 16, QChar(u'0'))
                             .toUpper()
                             .replace(QStringLiteral("0X"), QStringLiteral("0x")));
}

void ModulePanel::ShowRegister(int number, int value) {
  for (std::size_t i = 0; i < registers_.size(); ++i) {
    if (kShownRegisters[i] != number) continue;
    QString text = QString::number(value);
    if (number == qm90cmd::kRegBaudIndex) text += QStringLiteral("  (%1)").arg(BaudText(value));
    if (number == qm90cmd::kRegDoutInit || number == qm90cmd::kRegDinNegation ||
        number == qm90cmd::kRegDoutNegation) {
      text = BitsText(value);
    }
    registers_[i]->setText(text);
  }
}

QWidget* ModulePanel::MakeWiring() {
  auto* grid = new QGridLayout;
  loopback_ = new QCheckBox(QStringLiteral("Smyčka: DOUTk napájí DINk"));
  loopback_->setObjectName(QStringLiteral("loopback"));
  loopback_->setToolTip(QStringLiteral(
      "Výstupní svorky propojené se vstupními, jako ve zkušebním zapojení; vstupy pak "
      "sledují výstupy"));
  twin_ = new QCheckBox(QStringLiteral("Druhý modul na téže adrese"));
  twin_->setObjectName(QStringLiteral("twin"));
  twin_->setToolTip(QStringLiteral(
      "Odpovídají dva moduly: na sériové lince se odpovědi srazí, po UDP přijdou dvě"));
  grid->addWidget(loopback_, 0, 0, 1, kChannels + 1);
  grid->addWidget(twin_, 1, 0, 1, kChannels + 1);
  const QString sides[] = {QStringLiteral("DIN"), QStringLiteral("DOUT")};
  for (int side = 0; side < 2; ++side) {
    grid->addWidget(new QLabel(QStringLiteral("%1 trvale:").arg(sides[side])), 2 + side, 0);
    for (int k = 0; k < kChannels; ++k) {
      auto* box = new QComboBox;
      box->addItems({QStringLiteral("–"), QStringLiteral("0"), QStringLiteral("1")});
      box->setObjectName(QStringLiteral("stuck%1%2").arg(side == 0 ? "Din" : "Dout").arg(k));
      box->setAccessibleName(QStringLiteral("%1%2 trvale").arg(sides[side]).arg(k));
      box->setToolTip(QStringLiteral("%1%2: – pracuje, 0 nebo 1 trvale bez ohledu na buzení")
                          .arg(sides[side])
                          .arg(k));
      grid->addWidget(box, 2 + side, 1 + k);
      stuck_[static_cast<std::size_t>(side)][static_cast<std::size_t>(k)] = box;
    }
  }
  return Group(QStringLiteral("Zapojení a poruchy svorek"), grid);
}

void ModulePanel::ShowWiring(bool loopback) {
  const QSignalBlocker quiet(loopback_);
  loopback_->setChecked(loopback);
  // Wired, the input terminals follow the outputs: no switch can drive them.
  for (QPushButton* button : input_switches_) button->setEnabled(!loopback);
  all_on_->setEnabled(!loopback);
  all_off_->setEnabled(!loopback);
}

void ModulePanel::ShowTwin(bool present) {
  const QSignalBlocker quiet(twin_);
  twin_->setChecked(present);
}

void ModulePanel::ShowStuck(bool input, int low, int high) {
  for (int k = 0; k < kChannels; ++k) {
    QComboBox* box = stuck_[input ? 0 : 1][static_cast<std::size_t>(k)];
    const QSignalBlocker quiet(box);
    box->setCurrentIndex((low >> k) & 1 ? 1 : (high >> k) & 1 ? 2 : 0);
  }
}

}  // namespace qm90panel
