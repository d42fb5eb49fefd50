// The forms and controls of ui/Form.h on Qt 6 Widgets. Each control is a Qt
// widget named by its numbered name (the program is checked from outside
// through these names, the widgets' roles and the labels that name fields).
#include "ui/qt/QtForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <map>

#include "ui/qt/Widgets.h"

// Lets a synthetic key reach the window's shortcuts (menu access keys) first,
// as a key from the window system does; exported by Qt GUI for its own tests.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

namespace qm90qt {

using namespace qm90ui;

namespace {

QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Utf8(const QString& text) {
  return text.toStdString();
}

class TQtForm;

// What the form keeps of every control: its widget.
class TWidgetHolder {
 public:
  virtual ~TWidgetHolder() = default;
  virtual QWidget* Widget() const = 0;
};

template <typename Base, typename W>
class TQtControl : public Base, public TWidgetHolder {
 public:
  explicit TQtControl(W* widget) : w_(widget) {}
  QWidget* Widget() const override { return w_; }

  std::string Name() const override { return Utf8(w_->objectName()); }
  TBounds Bounds() const override {
    const QRect g = w_->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
  }
  void SetBounds(const TBounds& b) override { w_->setGeometry(b.left, b.top, b.width, b.height); }
  bool Visible() const override { return !w_->isHidden(); }
  void SetVisible(bool visible) override { w_->setVisible(visible); }
  // As when tabbed to: an edit's contents are selected, typing replaces them.
  void SetFocus() override { w_->setFocus(Qt::TabFocusReason); }
  bool Focused() const override { return w_->hasFocus(); }
  bool Enabled() const override { return w_->isEnabled(); }
  std::string ParentName() const override {
    QWidget* parent = w_->parentWidget();
    const bool container = qobject_cast<QGroupBox*>(parent) || qobject_cast<TSunkenPanel*>(parent);
    return container ? Utf8(parent->objectName()) : std::string();
  }

 protected:
  W* w_;
};

class TQtLabel : public TQtControl<TLabel, QLabel> {
 public:
  using TQtControl::TQtControl;
  std::string Text() const override { return Utf8(w_->text()); }
  void SetText(std::string_view text) override { SetTextNow(w_, Q(text)); }
  void NameField(TControl* field) override { w_->setBuddy(WidgetOf(field)); }
  void AutoSize() override { w_->adjustSize(); }
  void WidenToText() override {
    const int needed = w_->sizeHint().width();
    if (needed > w_->width()) w_->resize(needed, w_->height());
  }
};

class TQtEdit : public TQtControl<TEdit, QLineEdit> {
 public:
  using TQtControl::TQtControl;
  std::string Text() const override { return Utf8(w_->text()); }
  void SetText(std::string_view text) override {
    w_->setText(Q(text));
    w_->repaint();
  }
};

class TQtComboList : public TQtControl<TComboList, QComboBox> {
 public:
  explicit TQtComboList(QComboBox* w) : TQtControl(w) {
    QObject::connect(w, &QComboBox::activated, w, [this](int) {
      if (OnChange) OnChange();
    });
  }
  std::string Text() const override { return Utf8(w_->currentText()); }
  void SetText(std::string_view text) override { SetItemIndex(w_->findText(Q(text))); }
  void AddItem(std::string_view text) override { w_->addItem(Q(text)); }
  int ItemCount() const override { return w_->count(); }
  std::string ItemText(int index) const override { return Utf8(w_->itemText(index)); }
  int ItemIndex() const override { return w_->currentIndex(); }
  void SetItemIndex(int index) override {
    w_->setCurrentIndex(index >= 0 && index < w_->count() ? index : -1);
    w_->repaint();
  }
  void Pick(int index) override {
    SetItemIndex(index);
    if (OnChange) OnChange();
  }
};

class TQtCheckBox : public TQtControl<TCheckBox, QCheckBox> {
 public:
  explicit TQtCheckBox(QCheckBox* w) : TQtControl(w) {
    QObject::connect(w, &QCheckBox::clicked, w, [this] {
      if (OnClick) OnClick();
    });
  }
  std::string Text() const override { return Utf8(w_->text()); }
  void SetText(std::string_view text) override {
    w_->setText(Q(text));
    w_->repaint();
  }
  bool Checked() const override { return w_->isChecked(); }
  void SetChecked(bool checked) override { w_->setChecked(checked); }
  void Click() override { w_->click(); }
};

class TQtButton : public TQtControl<TButton, QPushButton> {
 public:
  explicit TQtButton(QPushButton* w) : TQtControl(w) {
    // No default button: Return in a field presses nothing.
    w->setAutoDefault(false);
    w->setDefault(false);
    QObject::connect(w, &QPushButton::clicked, w, [this] {
      if (OnClick) OnClick();
    });
  }
  std::string Text() const override { return Utf8(w_->text()); }
  void SetText(std::string_view text) override {
    w_->setText(Q(text));
    w_->repaint();
  }
  void Click() override { w_->click(); }
};

class TQtGroupBox : public TQtControl<TGroupBox, QGroupBox> {
 public:
  using TQtControl::TQtControl;
  std::string Text() const override { return Utf8(w_->title()); }
  void SetText(std::string_view text) override {
    w_->setTitle(Q(text));
    w_->repaint();
  }
};

class TQtPanel : public TQtControl<TPanel, TSunkenPanel> {
 public:
  using TQtControl::TQtControl;
  std::string Text() const override { return Utf8(w_->text()); }
  void SetText(std::string_view text) override { SetTextNow(w_, Q(text)); }
};

class TQtStatusBar : public TQtControl<qm90ui::TStatusBar, qm90qt::TStatusBar> {
 public:
  explicit TQtStatusBar(qm90qt::TStatusBar* w) : TQtControl(w) {
    QObject::connect(w, &qm90qt::TStatusBar::PanelTextSet, w, [this](int i, const QString& text) {
      if (OnPanelText) OnPanelText(i, Utf8(text));
    });
  }
  std::string Text() const override { return PanelText(0); }
  void SetText(std::string_view text) override { SetPanelText(0, text); }
  int PanelCount() const override { return w_->PanelCount(); }
  std::string PanelText(int index) const override { return Utf8(w_->PanelText(index)); }
  void SetPanelText(int index, std::string_view text) override { w_->SetPanelText(index, Q(text)); }
  void SetPanelHint(int index, std::string_view text) override {
    if (QLabel* panel = w_->Panel(index)) panel->setToolTip(Q(text));
  }
  std::string PanelHint(int index) const override {
    QLabel* panel = w_->Panel(index);
    return panel ? Utf8(panel->toolTip()) : std::string();
  }
};

class TQtTimer : public TTimer {
 public:
  TQtTimer(QWidget* owner, std::string_view name, int interval_ms) : timer_(new QTimer(owner)) {
    timer_->setObjectName(Q(name));
    timer_->setInterval(interval_ms);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
      if (OnTimer) OnTimer();
    });
  }
  std::string Name() const override { return Utf8(timer_->objectName()); }
  int Interval() const override { return timer_->interval(); }
  void SetInterval(int ms) override { timer_->setInterval(ms); }
  bool Active() const override { return timer_->isActive(); }
  void Start() override { timer_->start(); }
  void Stop() override { timer_->stop(); }

 private:
  QTimer* timer_;
};

class TQtMenuItem : public TMenuItem {
 public:
  explicit TQtMenuItem(QAction* action, QMenu* menu = nullptr) : action_(action), menu_(menu) {
    QObject::connect(action, &QAction::triggered, action, [this] {
      if (OnClick) OnClick();
    });
  }
  std::string Name() const override {
    return Utf8(menu_ ? menu_->objectName() : action_->objectName());
  }
  std::string Text() const override { return Utf8(action_->text()); }
  void Click() override { action_->trigger(); }
  QMenu* Menu() const { return menu_; }

 private:
  QAction* action_;
  QMenu* menu_;
};

// The two kinds of window; each hands its events to its form.
class TDialogWindow : public QDialog {
 public:
  TDialogWindow(TQtForm* form, QWidget* owner) : QDialog(owner), form_(form) {}
  // Escape, the close box and Close() all arrive here.
  void reject() override;
  void RejectNow() { QDialog::reject(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TQtForm* form_;
};

class TMainWindow : public QMainWindow {
 public:
  explicit TMainWindow(TQtForm* form) : form_(form) {}

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  TQtForm* form_;
};

const char kFormProperty[] = "qm90Form";

class TQtForm : public TForm {
 public:
  explicit TQtForm(const TFormSpec& spec) : style_(spec.style) {
    if (spec.style == TFormStyle::kDialog) {
      dialog_ = new TDialogWindow(this, spec.owner ? WidgetOf(*spec.owner) : nullptr);
      window_ = dialog_;
      Identify(spec);
      SetupFixedDialog(dialog_, spec.width, spec.height);
      client_ = dialog_;
    } else {
      main_ = new TMainWindow(this);
      window_ = main_;
      Identify(spec);
      ApplyFormLook(main_);
      main_->setCentralWidget(new QWidget(main_));
      client_ = main_->centralWidget();
      CenterOnScreen(main_, QSize(spec.width, spec.height));
    }
  }

  ~TQtForm() override {
    // The widgets go first: their signals reach the wrappers until then.
    delete window_.data();
  }

  QWidget* Window() const { return window_; }

  std::string Name() const override { return Utf8(window_->objectName()); }
  std::string Caption() const override { return Utf8(window_->windowTitle()); }
  void SetCaption(std::string_view text) override { window_->setWindowTitle(Q(text)); }
  TFormStyle Style() const override { return style_; }
  int ClientWidth() const override { return window_->width(); }
  int ClientHeight() const override {
    return main_ ? window_->height() - main_->menuBar()->height() : window_->height();
  }
  void Resize(int outer_width, int outer_height) override {
    const QSize frame = window_->frameGeometry().size() - window_->size();
    window_->resize(QSize(outer_width, outer_height) - frame);
  }

  TLabel* AddLabel(TControl* parent, std::string_view name, TBounds b,
                   std::string_view text) override {
    auto* label = Place<QLabel>(parent, name, b, Q(text));
    label->setTextFormat(Qt::PlainText);
    return Keep(std::make_unique<TQtLabel>(label));
  }
  TEdit* AddEdit(TControl* parent, std::string_view name, TBounds b) override {
    return Keep(std::make_unique<TQtEdit>(Place<QLineEdit>(parent, name, b)));
  }
  TComboList* AddComboList(TControl* parent, std::string_view name, TBounds b) override {
    return Keep(std::make_unique<TQtComboList>(Place<QComboBox>(parent, name, b)));
  }
  TCheckBox* AddCheckBox(TControl* parent, std::string_view name, TBounds b,
                         std::string_view text) override {
    return Keep(std::make_unique<TQtCheckBox>(Place<QCheckBox>(parent, name, b, Q(text))));
  }
  TButton* AddButton(TControl* parent, std::string_view name, TBounds b,
                     std::string_view text) override {
    return Keep(std::make_unique<TQtButton>(Place<QPushButton>(parent, name, b, Q(text))));
  }
  TGroupBox* AddGroupBox(TControl* parent, std::string_view name, TBounds b,
                         std::string_view text) override {
    return Keep(std::make_unique<TQtGroupBox>(Place<QGroupBox>(parent, name, b, Q(text))));
  }
  TPanel* AddPanel(TControl* parent, std::string_view name, TBounds b) override {
    return Keep(std::make_unique<TQtPanel>(Place<TSunkenPanel>(parent, name, b)));
  }
  qm90ui::TStatusBar* AddStatusBar(std::string_view name,
                                   const std::vector<int>& panel_widths) override {
    auto* bar = new qm90qt::TStatusBar(window_, panel_widths);
    bar->setObjectName(Q(name));
    for (int i = 0; i < bar->PanelCount(); ++i)
      bar->Panel(i)->setObjectName(QStringLiteral("%1Panel%2").arg(Q(name)).arg(i));
    return Keep(std::make_unique<TQtStatusBar>(bar));
  }
  TTimer* AddTimer(std::string_view name, int interval_ms) override {
    auto timer = std::make_unique<TQtTimer>(window_, name, interval_ms);
    TTimer* raw = timer.get();
    timers_[std::string(name)] = std::move(timer);
    return raw;
  }

  void AddMainMenu(std::string_view bar_name) override {
    if (main_) main_->menuBar()->setObjectName(Q(bar_name));
  }
  TMenuItem* AddSubmenu(std::string_view name, std::string_view caption) override {
    if (!main_) return nullptr;
    QMenu* menu = main_->menuBar()->addMenu(Q(caption));
    menu->setObjectName(Q(name));
    return KeepItem(name, std::make_unique<TQtMenuItem>(menu->menuAction(), menu));
  }
  TMenuItem* AddMenuItem(TMenuItem* submenu, std::string_view name,
                         std::string_view caption) override {
    auto* parent = dynamic_cast<TQtMenuItem*>(submenu);
    QWidget* owner = parent && parent->Menu()
                         ? static_cast<QWidget*>(parent->Menu())
                         : static_cast<QWidget*>(main_ ? main_->menuBar() : nullptr);
    if (!owner) return nullptr;
    auto* action = new QAction(Q(caption), owner);
    action->setObjectName(Q(name));
    owner->addAction(action);
    return KeepItem(name, std::make_unique<TQtMenuItem>(action));
  }

  void SetTabOrder(const std::vector<TControl*>& order) override {
    QWidget* previous = nullptr;
    for (TControl* control : order) {
      QWidget* next = WidgetOf(control);
      if (!next) continue;
      if (previous) QWidget::setTabOrder(previous, next);
      previous = next;
    }
  }
  TControl* FocusedControl() const override {
    QWidget* focus = window_->focusWidget();
    for (const auto& [name, control] : controls_)
      if (WidgetOf(control.get()) == focus) return control.get();
    return nullptr;
  }

  void Show() override { window_->show(); }
  bool Visible() const override { return window_->isVisible(); }
  void Close() override { window_->close(); }
  TModalResult ShowModal() override {
    if (!dialog_) return TModalResult::kNone;
    result_ = TModalResult::kNone;
    return dialog_->exec() == QDialog::Accepted ? TModalResult::kOk : TModalResult::kCancel;
  }
  void EndModal(TModalResult result) override {
    if (!dialog_) return;
    result_ = result;
    dialog_->done(result == TModalResult::kOk ? QDialog::Accepted : QDialog::Rejected);
  }
  TModalResult ModalResult() const override { return result_; }
  TForm* Owner() const override { return FormOf(window_->parentWidget()); }

  TControl* FindControl(std::string_view name) const override {
    auto it = controls_.find(std::string(name));
    return it == controls_.end() ? nullptr : it->second.get();
  }
  TTimer* FindTimer(std::string_view name) const override {
    auto it = timers_.find(std::string(name));
    return it == timers_.end() ? nullptr : it->second.get();
  }
  TMenuItem* FindMenuItem(std::string_view name) const override {
    auto it = items_.find(std::string(name));
    return it == items_.end() ? nullptr : it->second.get();
  }

  void PressKey(TKey key) override {
    static const std::map<TKey, std::pair<int, QString>> kKeys = {
        {TKey::kReturn, {Qt::Key_Return, QStringLiteral("\r")}},
        {TKey::kEscape, {Qt::Key_Escape, QString(QChar(27))}},
        {TKey::kTab, {Qt::Key_Tab, QStringLiteral("\t")}},
        {TKey::kSpace, {Qt::Key_Space, QStringLiteral(" ")}},
    };
    const auto& [code, text] = kKeys.at(key);
    SendKey(code, Qt::NoModifier, text);
  }
  void PressAltKey(char letter) override {
    const QChar upper = QChar::fromLatin1(letter).toUpper();
    SendKey(Qt::Key_A + (upper.unicode() - 'A'), Qt::AltModifier, QString(upper).toLower());
  }

  // From the windows.
  void Shown() {
    if (OnShow) OnShow();
  }
  bool CloseAllowed() { return !OnCloseQuery || OnCloseQuery(); }
  void Closing() {
    if (OnClose) OnClose();
    if (dialog_) result_ = TModalResult::kCancel;
  }

 private:
  TFormStyle style_;
  QPointer<QWidget> window_;
  TDialogWindow* dialog_ = nullptr;
  TMainWindow* main_ = nullptr;
  QWidget* client_ = nullptr;
  TModalResult result_ = TModalResult::kNone;
  std::map<std::string, std::unique_ptr<TControl>, std::less<>> controls_;
  std::map<std::string, std::unique_ptr<TTimer>, std::less<>> timers_;
  std::map<std::string, std::unique_ptr<TMenuItem>, std::less<>> items_;

  void Identify(const TFormSpec& spec) {
    window_->setObjectName(Q(spec.name));
    window_->setWindowTitle(Q(spec.caption));
    window_->setProperty(kFormProperty, QVariant::fromValue(static_cast<void*>(this)));
  }

  template <typename W, typename... Args>
  W* Place(TControl* parent, std::string_view name, TBounds b, Args&&... args) {
    QWidget* parent_widget = parent ? WidgetOf(parent) : client_;
    auto* w = new W(std::forward<Args>(args)..., parent_widget);
    w->setObjectName(Q(name));
    w->setGeometry(b.left, b.top, b.width, b.height);
    // Created after the window was shown (never in this program) it must be shown itself.
    if (parent_widget->isVisible()) w->show();
    return w;
  }

  template <typename T>
  T* Keep(std::unique_ptr<T> control) {
    T* raw = control.get();
    controls_[raw->Name()] = std::move(control);
    return raw;
  }
  TMenuItem* KeepItem(std::string_view name, std::unique_ptr<TQtMenuItem> item) {
    TMenuItem* raw = item.get();
    items_[std::string(name)] = std::move(item);
    return raw;
  }

  void SendKey(int code, Qt::KeyboardModifiers modifiers, const QString& text) {
    if (!window_->isActiveWindow()) {
      window_->activateWindow();
      QCoreApplication::processEvents();
    }
    QWidget* target = window_->focusWidget() ? window_->focusWidget() : window_.data();
    QPointer<QWidget> alive = target;
    QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
    if (qt_sendShortcutOverrideEvent(target, press.timestamp(), code, modifiers, text, false, 1))
      return;
    QApplication::sendEvent(target, &press);
    if (!alive) return;
    QKeyEvent release(QEvent::KeyRelease, code, modifiers, text);
    QApplication::sendEvent(target, &release);
  }
};

void TDialogWindow::reject() {
  if (!form_->CloseAllowed()) return;
  form_->Closing();
  RejectNow();
}

void TDialogWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) form_->Shown();
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) form_->Shown();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (!form_->CloseAllowed()) {
    event->ignore();
    return;
  }
  form_->Closing();
  event->accept();
}

}  // namespace

QWidget* WidgetOf(const TForm& form) {
  const auto* qt = dynamic_cast<const TQtForm*>(&form);
  return qt ? qt->Window() : nullptr;
}

QWidget* WidgetOf(const TControl* control) {
  const auto* holder = dynamic_cast<const TWidgetHolder*>(control);
  return holder ? holder->Widget() : nullptr;
}

TForm* FormOf(const QWidget* window) {
  if (!window) return nullptr;
  return static_cast<TForm*>(window->property(kFormProperty).value<void*>());
}

}  // namespace qm90qt

namespace qm90ui {

std::unique_ptr<TForm> CreateForm(const TFormSpec& spec) {
  return std::make_unique<qm90qt::TQtForm>(spec);
}

}  // namespace qm90ui
