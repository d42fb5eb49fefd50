// The base of every window class: the one toolkit form it is drawn with, and
// what the main window and the tests do with it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "ui/Form.h"

class TFormWindow {
 public:
  virtual ~TFormWindow() { Windows().erase(form_.get()); }
  TFormWindow(const TFormWindow&) = delete;
  TFormWindow& operator=(const TFormWindow&) = delete;

  qm90ui::TForm& Form() const { return *form_; }
  void Show() { form_->Show(); }
  qm90ui::TModalResult ShowModal() { return form_->ShowModal(); }
  void Close() { form_->Close(); }

  // The window object drawn with `form` (tests: the dialog a menu item opened).
  static TFormWindow* WindowOf(const qm90ui::TForm* form) {
    auto it = Windows().find(form);
    return it == Windows().end() ? nullptr : it->second;
  }

 protected:
  // A modal dialog's form: fixed border, client area width x height.
  static qm90ui::TFormSpec Dialog(std::string name, std::string caption, int width, int height,
                                  qm90ui::TForm* owner) {
    return {std::move(name), std::move(caption), qm90ui::TFormStyle::kDialog, width, height, owner};
  }

  explicit TFormWindow(const qm90ui::TFormSpec& spec) : form_(qm90ui::CreateForm(spec)) {
    Windows()[form_.get()] = this;
  }

  std::unique_ptr<qm90ui::TForm> form_;

 private:
  static std::map<const qm90ui::TForm*, TFormWindow*>& Windows() {
    static std::map<const qm90ui::TForm*, TFormWindow*> windows;
    return windows;
  }
};
