// W_QM90: configuration and test tool for the QM-90 remote I/O module.
#include <QApplication>

#include "app/Hlavni.h"
#include "app/StopSignals.h"
#include "base/StdDescriptors.h"

int main(int argc, char* argv[]) {
  base::EnsureStdDescriptors();
  QApplication application(argc, argv);
  TForm1 form;
  CloseOnStopSignals(form);
  form.show();
  return application.exec();
}
