// The connection dialog on a record of its own, against the scripted driver
// libraries: shared by its behaviour tests and its Qt-only ones.
#pragma once

#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <optional>

#include "dialogs/Pripojeni.h"
#include "tests/app/AppTestSupport.h"

namespace apptest {

class ConnectionDialogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    scripted::Script().responder = scripted::ModuleResponder();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetDataDefaults(&data);
  }
  void TearDown() override {
    CloseLink(data);
    SetDriverDirectory("");
  }

  // Opens the dialog on the record (FormShow runs).
  void Open() {
    form.emplace(nullptr);
    form->Data = &data;
    form->Show();
  }
  void SelectKind(int kind) { Find<qm90ui::TComboList>(*form, "ComboBox2")->Pick(kind); }
  void Press() { Find<qm90ui::TButton>(*form, "Button1")->Click(); }

  TData data;
  std::optional<TForm2> form;
};

}  // namespace apptest
