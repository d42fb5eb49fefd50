// The main window on a settings file of the test's own, against the scripted
// driver libraries: shared by its behaviour tests and its Qt-only ones.
#pragma once

#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Hlavni.h"
#include "tests/app/AppTestSupport.h"

namespace apptest {

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    scripted::Script().responder = scripted::ModuleResponder();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetSettingsFilePath(settings);
  }
  void TearDown() override {
    form.reset();
    SetSettingsFilePath("");
    SetDriverDirectory("");
  }

  void Start(TForm1::DataFactory factory = &TForm1::NewData) {
    form = std::make_unique<TForm1>(factory);
    form->Show();
  }

  TempFolder folder;
  std::string settings = folder.File("W_qm90.ini");
  std::unique_ptr<TForm1> form;
};

}  // namespace apptest
