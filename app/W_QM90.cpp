// W_QM90: configuration and test tool for the QM-90 remote I/O module.
#include "app/Hlavni.h"
#include "base/StdDescriptors.h"
#include "ui/Application.h"

int main(int argc, char* argv[]) {
  base::EnsureStdDescriptors();
  qm90ui::TApplication application(argc, argv);
  TForm1 form;
  qm90ui::CloseOnStopRequests(form.Form());
  return application.Run(form.Form());
}
