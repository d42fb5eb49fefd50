#include "panel/PanelWindow.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <optional>
#include <string>

#include "emulator/ControlGrammar.h"
#include "panel/ModulePanel.h"
#include "panel/TrafficModel.h"

namespace qm90panel {

namespace {

constexpr int kTrafficBatchMs = 500;  // new exchanges reach the list this often at most
constexpr int kMaxDelaySliderMs = 2000;

// The ready line in words.
QString DescribeReady(const QString& line) {
  const std::optional<qm90emulator::ReadyLine> ready = qm90emulator::ParseReady(line.toStdString());
  if (!ready) return QStringLiteral("Emulátor běží: %1").arg(line);
  const auto text = [](const std::string& value) { return QString::fromStdString(value); };
  QStringList parts;
  if (!ready->udp.empty()) parts << QStringLiteral("UDP %1").arg(text(ready->udp));
  if (!ready->com.empty()) {
    parts << QStringLiteral("sériová linka %1 (%2)").arg(text(ready->com), text(ready->pty));
  }
  if (!ready->control.empty()) parts << QStringLiteral("ovládání %1").arg(text(ready->control));
  return QStringLiteral("Emulátor běží: %1").arg(parts.join(QStringLiteral(", ")));
}

QString Command(const char* verb, std::vector<std::string> args) {
  return QString::fromStdString(qm90emulator::FormatCommand({verb, std::move(args)}));
}

std::string Identity(int identity) {
  return "#" + std::to_string(identity);
}

QSlider* MakeSlider(const char* name, int maximum) {
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName(QLatin1String(name));
  slider->setRange(0, maximum);
  slider->setMinimumWidth(160);
  return slider;
}

}  // namespace

PanelWindow::PanelWindow(SimLink* link, std::size_t traffic_bound, QWidget* parent)
    : QMainWindow(parent), link_(link) {
  setWindowTitle(QStringLiteral("qm90-panel – čelní panel emulátoru QM-90"));
  tabs_ = new QTabWidget;
  tabs_->setObjectName(QStringLiteral("modules"));
  auto* top = new QWidget;
  auto* top_column = new QVBoxLayout(top);
  top_column->setContentsMargins(0, 0, 0, 0);
  top_column->addWidget(tabs_, 1);
  top_column->addWidget(MakeFaults());
  auto* splitter = new QSplitter(Qt::Vertical);
  splitter->addWidget(top);
  splitter->addWidget(MakeTraffic(traffic_bound));
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  setCentralWidget(splitter);
  status_ = new QLabel(QStringLiteral("Spouštím emulátor…"));
  status_->setObjectName(QStringLiteral("status"));
  statusBar()->addWidget(status_, 1);
  traffic_timer_.setInterval(kTrafficBatchMs);
  traffic_timer_.setSingleShot(true);
  resize(1180, 760);
  ConnectSignals();
}

QWidget* PanelWindow::MakeFaults() {
  drop_ = MakeSlider("faultDrop", qm90emulator::kMaxPercent);
  corrupt_ = MakeSlider("faultCorrupt", qm90emulator::kMaxPercent);
  delay_ = MakeSlider("faultDelay", kMaxDelaySliderMs);
  delay_->setSingleStep(10);
  delay_->setPageStep(100);
  drop_value_ = new QLabel(QStringLiteral("0 %"));
  corrupt_value_ = new QLabel(QStringLiteral("0 %"));
  delay_value_ = new QLabel(QStringLiteral("0 ms"));
  auto* line = new QHBoxLayout;
  const auto row = [line](const QString& title, QSlider* slider, QLabel* value) {
    line->addWidget(new QLabel(title));
    line->addWidget(slider, 1);
    value->setMinimumWidth(56);
    line->addWidget(value);
  };
  row(QStringLiteral("Ztracené odpovědi:"), drop_, drop_value_);
  row(QStringLiteral("Poškozené odpovědi:"), corrupt_, corrupt_value_);
  row(QStringLiteral("Zpoždění odpovědí:"), delay_, delay_value_);
  unplug_ = new QPushButton(QStringLiteral("Sériový port odpojen"));
  unplug_->setObjectName(QStringLiteral("serialUnplugged"));
  unplug_->setCheckable(true);
  unplug_->setToolTip(QStringLiteral(
      "Port zmizí jako odpojený převodník USB a po opětovném stisku se vrátí pod týmž jménem"));
  unplug_->setVisible(false);  // only with a serial line
  line->addWidget(unplug_);
  auto* box = new QGroupBox(QStringLiteral("Poruchy linky"));
  box->setLayout(line);
  return box;
}

QWidget* PanelWindow::MakeTraffic(std::size_t bound) {
  traffic_ = new TrafficModel(bound, this);
  traffic_view_ = new QTableView;
  traffic_view_->setObjectName(QStringLiteral("traffic"));
  traffic_view_->setModel(traffic_);
  traffic_view_->verticalHeader()->hide();
  traffic_view_->verticalHeader()->setDefaultSectionSize(20);
  traffic_view_->horizontalHeader()->setStretchLastSection(true);
  traffic_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  traffic_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  pause_ = new QCheckBox(QStringLiteral("Pozastavit"));
  pause_->setObjectName(QStringLiteral("trafficPause"));
  save_ = new QPushButton(QStringLiteral("Uložit jako text…"));
  save_->setObjectName(QStringLiteral("trafficSave"));
  clear_ = new QPushButton(QStringLiteral("Vymazat"));
  clear_->setObjectName(QStringLiteral("trafficClear"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pause_);
  buttons->addStretch(1);
  buttons->addWidget(clear_);
  buttons->addWidget(save_);
  auto* column = new QVBoxLayout;
  column->addWidget(traffic_view_, 1);
  column->addLayout(buttons);
  auto* box = new QGroupBox(QStringLiteral("Provoz (posledních %1 výměn)").arg(bound));
  box->setLayout(column);
  return box;
}

void PanelWindow::ConnectSignals() {
  connect(link_, &SimLink::ready, this, [this](const QString& line) {
    SetStatus(port_note_.isEmpty() ? DescribeReady(line)
                                   : DescribeReady(line) + QStringLiteral("; ") + port_note_);
  });
  connect(link_, &SimLink::failed, this, &PanelWindow::SetStatus);
  connect(link_, &SimLink::logLine, this, &PanelWindow::SetStatus);
  connect(link_, &SimLink::replyError, this, [this](const QString& line) {
    SetStatus(QStringLiteral("Emulátor odmítl příkaz: %1").arg(line));
  });
  connect(link_, &SimLink::moduleSeen, this, &PanelWindow::AddModule);
  connect(link_, &SimLink::addressChanged, this, [this](int identity, int address, int baud) {
    if (ModulePanel* m = Module(identity)) m->ShowAddress(address, baud);
  });
  connect(link_, &SimLink::valueChanged, this, [this](int identity, const QString& what, qint64 v) {
    if (ModulePanel* m = Module(identity)) m->ShowValue(what, v);
  });
  connect(link_, &SimLink::registerChanged, this, [this](int identity, int number, int value) {
    if (ModulePanel* m = Module(identity)) m->ShowRegister(number, value);
  });
  connect(link_, &SimLink::faultsChanged, this, &PanelWindow::ShowFaults);
  connect(link_, &SimLink::wiringChanged, this, [this](int identity, bool loopback) {
    if (ModulePanel* m = Module(identity)) m->ShowWiring(loopback);
  });
  connect(link_, &SimLink::twinChanged, this, [this](int identity, bool present) {
    if (ModulePanel* m = Module(identity)) m->ShowTwin(present);
  });
  connect(link_, &SimLink::stuckChanged, this, [this](int identity, bool input, int low, int high) {
    if (ModulePanel* m = Module(identity)) m->ShowStuck(input, low, high);
  });
  connect(link_, &SimLink::serialChanged, this, [this](bool present) {
    const QSignalBlocker quiet(unplug_);
    unplug_->setVisible(true);
    unplug_->setChecked(!present);
  });
  connect(unplug_, &QPushButton::toggled, this,
          [this](bool unplugged) { link_->Send(Command(unplugged ? "unplug" : "replug", {})); });
  connect(link_, &SimLink::exchange, this, [this](const ExchangeRecord& record) {
    if (incoming_.size() >= traffic_->Bound()) incoming_.erase(incoming_.begin());
    incoming_.push_back(record);
    if (!traffic_timer_.isActive()) traffic_timer_.start();
  });
  connect(&traffic_timer_, &QTimer::timeout, this, &PanelWindow::FlushTraffic);
  for (QSlider* slider : {drop_, corrupt_, delay_}) {
    connect(slider, &QSlider::valueChanged, this, &PanelWindow::SendFaults);
  }
  connect(pause_, &QCheckBox::toggled, this, [this](bool paused) { traffic_->SetPaused(paused); });
  connect(save_, &QPushButton::clicked, this, &PanelWindow::ChooseTrafficFile);
  connect(clear_, &QPushButton::clicked, this, [this] { traffic_->Clear(); });
}

// Module panels connect here as they appear: still the window's one place.
// Only what a module can be is shown (one per factory address 0..255), so
// that an emulator announcing more cannot make the panel grow without bound.
void PanelWindow::AddModule(int identity) {
  if (modules_.count(identity) != 0) return;
  if (identity < 0 || identity >= qm90emulator::kMaxModules ||
      modules_.size() >= static_cast<std::size_t>(qm90emulator::kMaxModules)) {
    ++refused_modules_;
    SetStatus(QStringLiteral("Emulátor ohlásil modul %1, který nemůže existovat (adresa 0 až 255); "
                             "nezobrazen (odmítnuto celkem %2).")
                  .arg(identity)
                  .arg(refused_modules_));
    return;
  }
  auto* panel = new ModulePanel(identity);
  modules_[identity] = panel;
  tabs_->addTab(panel, panel->Title());
  connect(panel, &ModulePanel::titleChanged, this, &PanelWindow::RetitleTabs);
  connect(panel, &ModulePanel::inputsRequested, this, [this](int id, int terminals) {
    link_->Send(Command("inputs", {Identity(id), std::to_string(terminals)}));
  });
  connect(panel, &ModulePanel::statusBitRequested, this, [this](int id, int bit, bool set) {
    link_->Send(
        Command(set ? "status-set" : "status-clear", {Identity(id), std::to_string(1u << bit)}));
  });
  connect(panel, &ModulePanel::powerCycleRequested, this,
          [this](int id) { link_->Send(Command("power", {Identity(id)})); });
  connect(panel, &ModulePanel::wiringRequested, this, [this](int id, bool loopback) {
    link_->Send(Command("wiring", {Identity(id), loopback ? "loopback" : "none"}));
  });
  connect(panel, &ModulePanel::twinRequested, this, [this](int id, bool present) {
    link_->Send(Command("twin", {Identity(id), present ? "on" : "off"}));
  });
  connect(panel, &ModulePanel::stuckRequested, this, [this](int id, bool input, int k, int level) {
    link_->Send(Command("stuck", {Identity(id), input ? "din" : "dout", std::to_string(k),
                                  level < 0 ? "none" : std::to_string(level)}));
  });
  if (modules_.size() == 1) emit firstModuleShown();
}

ModulePanel* PanelWindow::Module(int identity) const {
  const auto found = modules_.find(identity);
  return found == modules_.end() ? nullptr : found->second;
}

void PanelWindow::RetitleTabs() {
  for (int i = 0; i < tabs_->count(); ++i) {
    if (auto* panel = qobject_cast<ModulePanel*>(tabs_->widget(i))) {
      tabs_->setTabText(i, panel->Title());
    }
  }
}

void PanelWindow::SendFaults() {
  drop_value_->setText(QStringLiteral("%1 %").arg(drop_->value()));
  corrupt_value_->setText(QStringLiteral("%1 %").arg(corrupt_->value()));
  delay_value_->setText(QStringLiteral("%1 ms").arg(delay_->value()));
  link_->Send(QStringLiteral("faults %1 %2 %3")
                  .arg(drop_->value())
                  .arg(corrupt_->value())
                  .arg(delay_->value()));
}

void PanelWindow::ShowFaults(int drop, int corrupt, int delay) {
  const QSignalBlocker a(drop_), b(corrupt_), c(delay_);
  if (!drop_->isSliderDown()) drop_->setValue(drop);
  if (!corrupt_->isSliderDown()) corrupt_->setValue(corrupt);
  if (!delay_->isSliderDown()) delay_->setValue(std::min(delay, kMaxDelaySliderMs));
  drop_value_->setText(QStringLiteral("%1 %").arg(drop));
  corrupt_value_->setText(QStringLiteral("%1 %").arg(corrupt));
  delay_value_->setText(QStringLiteral("%1 ms").arg(delay));
}

void PanelWindow::FlushTraffic() {
  if (incoming_.empty()) return;
  QScrollBar* bar = traffic_view_->verticalScrollBar();
  const bool at_end = bar->value() >= bar->maximum();
  traffic_->Append(incoming_);
  incoming_.clear();
  if (at_end && !traffic_->Paused()) traffic_view_->scrollToBottom();
}

void PanelWindow::ChooseTrafficFile() {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Uložit provoz jako text"), QStringLiteral("qm90-provoz.txt"),
      QStringLiteral("Text (*.txt);;Všechny soubory (*)"));
  if (path.isEmpty()) return;
  SetStatus(SaveTraffic(path) ? QStringLiteral("Provoz uložen do %1.").arg(path)
                              : QStringLiteral("Provoz nelze uložit do %1.").arg(path));
}

bool PanelWindow::SaveTraffic(const QString& path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  file.write(traffic_->ToText().toUtf8());
  return file.commit();
}

void PanelWindow::SetPortNote(const QString& note) {
  port_note_ = note;
}

QString PanelWindow::StatusText() const {
  return status_->text();
}

void PanelWindow::SetStatus(const QString& text) {
  status_->setText(text);
}

}  // namespace qm90panel
