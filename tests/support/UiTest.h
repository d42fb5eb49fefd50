// What the window tests share, written against ui/ alone so that each test
// source runs on every backend: controls by their numbered names, acting in
// the modal dialog that a call is about to show, a log of the status texts a
// window set, a temporary folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/FormWindow.h"
#include "tests/support/TempDir.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace qm90test {

using TempFolder = TempDir;

// A control of `form` by its name, as `T`; a failure when there is none.
template <typename T = qm90ui::TControl>
T* Find(const qm90ui::TForm& form, const std::string& name) {
  auto* control = form.FindAs<T>(name);
  EXPECT_NE(control, nullptr) << name;
  return control;
}
template <typename T = qm90ui::TControl>
T* Find(const TFormWindow& window, const std::string& name) {
  return Find<T>(window.Form(), name);
}

// The text of a control ("" when there is none).
inline std::string TextOf(const qm90ui::TForm& form, const std::string& name) {
  qm90ui::TControl* control = Find(form, name);
  return control ? control->Text() : std::string();
}
inline std::string TextOf(const TFormWindow& window, const std::string& name) {
  return TextOf(window.Form(), name);
}

// Runs `action` in the modal dialog that the next ShowModal shows, then
// closes it as its close box does unless the action ended it already. With no
// modal dialog by then, nothing runs.
inline void OnNextModal(std::function<void(qm90ui::TForm&)> action) {
  qm90ui::Post([action = std::move(action)] {
    qm90ui::TForm* modal = qm90ui::ActiveModalForm();
    if (!modal) return;
    action(*modal);
    if (qm90ui::ActiveModalForm() == modal && modal->ModalResult() == qm90ui::TModalResult::kNone)
      modal->Close();
  });
}

// Characters (not bytes) of a UTF-8 text.
inline std::size_t Utf8Length(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

// Every text set on a status bar's first panel, in order, from now on.
class StatusLog {
 public:
  StatusLog(const qm90ui::TForm& form, const std::string& bar = "StatusBar1") {
    auto* status = Find<qm90ui::TStatusBar>(form, bar);
    if (!status) return;
    status->OnPanelText = [texts = texts_](int index, const std::string& text) {
      if (index == 0) texts->push_back(text);
    };
  }
  explicit StatusLog(const TFormWindow& window) : StatusLog(window.Form()) {}
  const std::vector<std::string>& Texts() const { return *texts_; }
  std::string Last() const { return texts_->empty() ? std::string() : texts_->back(); }

 private:
  std::shared_ptr<std::vector<std::string>> texts_ = std::make_shared<std::vector<std::string>>();
};

}  // namespace qm90test
