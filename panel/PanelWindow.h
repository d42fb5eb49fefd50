// qm90-panel's one window: a tab per emulated module, the fault sliders, the
// traffic list and a status line, over one SimLink.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <map>
#include <vector>

#include "panel/SimLink.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;
class QTableView;

namespace qm90panel {

class ModulePanel;
class TrafficModel;

class PanelWindow : public QMainWindow {
  Q_OBJECT
 public:
  PanelWindow(SimLink* link, std::size_t traffic_bound, QWidget* parent = nullptr);

  ModulePanel* Module(int identity) const;
  TrafficModel* Traffic() const { return traffic_; }
  bool SaveTraffic(const QString& path) const;
  QString StatusText() const;
  // Said after the ready line's description (which UDP port and why).
  void SetPortNote(const QString& note);

 signals:
  void firstModuleShown();

 private:
  QWidget* MakeFaults();
  QWidget* MakeTraffic(std::size_t bound);
  void ConnectSignals();
  void AddModule(int identity);
  void RetitleTabs();
  void SendFaults();
  void ShowFaults(int drop, int corrupt, int delay);
  void FlushTraffic();
  void ChooseTrafficFile();
  void SetStatus(const QString& text);

  SimLink* link_;
  QTabWidget* tabs_ = nullptr;
  std::map<int, ModulePanel*> modules_;
  QSlider* drop_ = nullptr;
  QSlider* corrupt_ = nullptr;
  QSlider* delay_ = nullptr;
  QLabel* drop_value_ = nullptr;
  QLabel* corrupt_value_ = nullptr;
  QLabel* delay_value_ = nullptr;
  TrafficModel* traffic_ = nullptr;
  QTableView* traffic_view_ = nullptr;
  QCheckBox* pause_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* clear_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* unplug_ = nullptr;
  QString port_note_;
  int refused_modules_ = 0;
  std::vector<ExchangeRecord> incoming_;
  QTimer traffic_timer_;
};

}  // namespace qm90panel
