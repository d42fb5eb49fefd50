// W_QM90: configuration and test tool for the QM-90 remote I/O module.
#include <QApplication>

#include "app/Hlavni.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  TForm1 form;
  form.show();
  return application.exec();
}
