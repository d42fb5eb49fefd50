// GoogleTest main of every window test: the toolkit set up once, on Qt's
// offscreen platform unless another one was asked for.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/Application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qm90ui::TApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
