// main of the window test programs under Wine: GoogleTest, then the window
// layer's application (the Qt backend's tests have theirs in tests/support).
#include <gtest/gtest.h>

#include "ui/Application.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  qm90ui::TApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
