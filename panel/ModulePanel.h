// The front of one emulated module: input switches, output lamps, the analog
// output, the status register and the configuration it holds. It shows what
// the emulator reports and asks for changes through signals; it never waits.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace qm90panel {

class ModulePanel : public QWidget {
  Q_OBJECT
 public:
  explicit ModulePanel(int identity, QWidget* parent = nullptr);
  int Identity() const { return identity_; }
  QString Title() const;

  void ShowAddress(int address, int baud_index);
  void ShowValue(const QString& what, qint64 value);
  void ShowRegister(int number, int value);
  void ShowWiring(bool loopback);
  void ShowTwin(bool present);
  void ShowStuck(bool input, int low, int high);

 signals:
  void inputsRequested(int identity, int terminals);
  void statusBitRequested(int identity, int bit, bool set);
  void powerCycleRequested(int identity);
  void wiringRequested(int identity, bool loopback);
  void twinRequested(int identity, bool present);
  // level 0 or 1, -1: works again.
  void stuckRequested(int identity, bool input, int channel, int level);
  void titleChanged();

 private:
  QWidget* MakeInputs();
  QWidget* MakeOutputs();
  QWidget* MakeAnalog();
  QWidget* MakeStatus();
  QWidget* MakeConfiguration();
  QWidget* MakeWiring();
  void ConnectSignals();
  void ShowInputs(int terminals);
  void ShowOutputs(int terminals);
  void ShowStatus(std::uint32_t status);

  int identity_;
  int address_ = -1;
  int baud_index_ = -1;
  int inputs_ = 0;
  std::array<QPushButton*, 8> input_switches_{};
  QPushButton* all_on_ = nullptr;
  QPushButton* all_off_ = nullptr;
  std::array<QLabel*, 8> lamps_{};
  QLabel* aout_value_ = nullptr;
  QProgressBar* aout_bar_ = nullptr;
  std::array<QCheckBox*, 32> status_bits_{};
  QLabel* status_value_ = nullptr;
  QLabel* active_ = nullptr;
  std::array<QLabel*, 7> registers_{};
  QPushButton* power_cycle_ = nullptr;
  QCheckBox* loopback_ = nullptr;
  QCheckBox* twin_ = nullptr;
  std::array<std::array<QComboBox*, 8>, 2> stuck_{};  // [0] DIN, [1] DOUT
};

}  // namespace qm90panel
