#include "ui/qt/Widgets.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QMargins>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <optional>

namespace qm90qt {

namespace {

constexpr int kFrameCheckIntervalMs = 50;
constexpr int kFrameChecks = 40;

// Places its window on its outer frame: when the window is shown, and again
// when the frame margins first differ from those it was placed with (the
// window manager reports them some time after mapping). Once placed on a
// known frame, the window is left where the user puts it.
class TFramePlacer : public QObject {
 public:
  TFramePlacer(QWidget* window, QSize outer_size)
      : QObject(window), window_(window), outer_size_(outer_size) {
    setObjectName(QStringLiteral("FramePlacer"));
    window->installEventFilter(this);
    checks_.setInterval(kFrameCheckIntervalMs);
    connect(&checks_, &QTimer::timeout, this, [this] {
      if (++checks_done_ >= kFrameChecks) checks_.stop();
      PlaceIfFrameChanged();
    });
  }

  void SetOuterSize(QSize outer_size) { outer_size_ = outer_size; }

  void Place() {
    const QMargins frame = Margins();
    placed_with_ = frame;
    if (!frame.isNull()) {
      settled_ = true;
      checks_.stop();
    }
    const QSize grow(frame.left() + frame.right(), frame.top() + frame.bottom());
    if (outer_size_.isValid()) window_->resize(outer_size_ - grow);
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize outer = window_->size() + grow;
    window_->move(area.left() + (area.width() - outer.width()) / 2,
                  area.top() + (area.height() - outer.height()) / 2);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    switch (event->type()) {
      case QEvent::Show:
        if (!settled_) {
          Place();
          checks_done_ = 0;
          if (!settled_) checks_.start();
        }
        break;
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::WindowActivate:
        PlaceIfFrameChanged();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  QWidget* window_;
  QSize outer_size_;
  std::optional<QMargins> placed_with_;
  bool settled_ = false;
  QTimer checks_;
  int checks_done_ = 0;

  QMargins Margins() const {
    const QWindow* handle = window_->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
  }

  void PlaceIfFrameChanged() {
    if (settled_ || !placed_with_ || !window_->isVisible()) return;
    if (Margins() != *placed_with_) Place();
  }
};

QAccessibleInterface* StatusBarAccessible(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String(TStatusBar::staticMetaObject.className()) ||
      !object->isWidgetType())
    return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StatusBar);
}

}  // namespace

void ApplyFormLook(QWidget* form) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  font.setStyleHint(QFont::SansSerif);
  form->setFont(font);
  QPalette palette = form->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  form->setPalette(palette);
  form->setAutoFillBackground(true);
}

void SetupFixedDialog(QDialog* dialog, int client_width, int client_height) {
  ApplyFormLook(dialog);
  dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  dialog->setFixedSize(client_width, client_height);
  dialog->setSizeGripEnabled(false);
  CenterOnScreen(dialog);
}

void CenterOnScreen(QWidget* window, QSize outer_size) {
  auto* placer = dynamic_cast<TFramePlacer*>(
      window->findChild<QObject*>(QStringLiteral("FramePlacer"), Qt::FindDirectChildrenOnly));
  if (placer)
    placer->SetOuterSize(outer_size);
  else
    placer = new TFramePlacer(window, outer_size);
  placer->Place();
}

void SetTextNow(QLabel* label, const QString& text) {
  if (!label) return;
  label->setText(text);
  label->repaint();
}

TSunkenPanel::TSunkenPanel(QWidget* parent) : QLabel(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setTextFormat(Qt::PlainText);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  p.setColor(QPalette::WindowText, Qt::black);
  setPalette(p);
}

TStatusBar::TStatusBar(QWidget* parent, const std::vector<int>& panel_widths)
    : QWidget(parent), widths_(panel_widths) {
  static const bool accessible_as_status_bar =
      (QAccessible::installFactory(&StatusBarAccessible), true);
  (void)accessible_as_status_bar;
  setObjectName(QStringLiteral("StatusBar1"));
  for (std::size_t i = 0; i < widths_.size(); ++i) {
    auto* panel = new QLabel(this);
    panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panels_.push_back(panel);
  }
  setFixedHeight(kStatusBarHeight);
  if (parent) parent->installEventFilter(this);
  Dock();
}

QString TStatusBar::PanelText(int index) const {
  QLabel* panel = Panel(index);
  return panel ? panel->text() : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
  QLabel* panel = Panel(index);
  if (!panel) return;
  SetTextNow(panel, text);
  emit PanelTextSet(index, text);
}

QLabel* TStatusBar::Panel(int index) const {
  if (index < 0 || index >= PanelCount()) return nullptr;
  return panels_[static_cast<std::size_t>(index)];
}

void TStatusBar::Dock() {
  QWidget* parent = parentWidget();
  if (parent)
    setGeometry(0, parent->height() - kStatusBarHeight, parent->width(), kStatusBarHeight);
  LayoutPanels();
}

bool TStatusBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) Dock();
  return QWidget::eventFilter(watched, event);
}

void TStatusBar::LayoutPanels() {
  int left = 0;
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    const bool last = i + 1 == panels_.size();
    const int width = last ? std::max(widths_[i], this->width() - left) : widths_[i];
    panels_[i]->setGeometry(left, 0, width, kStatusBarHeight);
    left += width;
  }
}

}  // namespace qm90qt
