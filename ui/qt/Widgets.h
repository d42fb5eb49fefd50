// The small layer Qt lacks for these windows: fixed-border centred forms with
// the classic look, a status bar with fixed-width panels, a sunken white
// status panel, and "set the text and repaint now".
#pragma once

#include <QLabel>
#include <QSize>
#include <QString>
#include <QWidget>
#include <vector>

class QDialog;

namespace qm90qt {

// Font "MS Sans Serif" 8 pt (the platform substitutes a sans font), the
// button-face background. Applied to every window.
void ApplyFormLook(QWidget* form);

// A dialog with a fixed border and the given client size, centred on the screen.
void SetupFixedDialog(QDialog* dialog, int client_width, int client_height);

// Centres a top-level window on its screen, measured on its outer frame. With
// an outer size, the window is also sized so that its frame has that size. The
// window manager adds the frame only once the window is mapped, so the window
// is placed when shown and placed again when its frame margins become known.
void CenterOnScreen(QWidget* window, QSize outer_size = QSize());

// Sets a label's text and repaints it at once (exchanges block the window).
void SetTextNow(QLabel* label, const QString& text);

// Creates a control at a pixel place with its numbered name as objectName.
template <typename W, typename... Args>
W* Place(QWidget* parent, const char* name, int left, int top, int width, int height,
         Args&&... args) {
  auto* w = new W(std::forward<Args>(args)..., parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

// White panel with a sunken inner and outer bevel, text left-aligned.
class TSunkenPanel : public QLabel {
  Q_OBJECT
 public:
  explicit TSunkenPanel(QWidget* parent = nullptr);
};

// Status bar along the bottom edge of a window, 19 pixels high, with panels of
// fixed widths; the last panel stretches to the right edge. Each panel is a
// QLabel named "<bar name>Panel<i>" whose text is exactly what it shows.
// Assistive technology sees it as a status bar.
class TStatusBar : public QWidget {
  Q_OBJECT
 public:
  TStatusBar(QWidget* parent, const std::vector<int>& panel_widths);

  int PanelCount() const { return static_cast<int>(panels_.size()); }
  QString PanelText(int index) const;
  // Sets the text and repaints at once; emits PanelTextSet on every call.
  void SetPanelText(int index, const QString& text);
  QLabel* Panel(int index) const;

  // Keeps itself along the bottom edge of its parent.
  void Dock();

 signals:
  void PanelTextSet(int index, const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<QLabel*> panels_;
  std::vector<int> widths_;
  void LayoutPanels();
};

inline constexpr int kStatusBarHeight = 19;

}  // namespace qm90qt
