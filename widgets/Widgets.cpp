#include "widgets/Widgets.h"

#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <algorithm>

namespace qm90ui {

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

void CenterOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize size = window->frameGeometry().size().expandedTo(window->size());
  window->move(area.center().x() - size.width() / 2, area.center().y() - size.height() / 2);
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

}  // namespace qm90ui
