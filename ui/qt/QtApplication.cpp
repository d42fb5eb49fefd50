// The message loop of ui/Application.h on Qt.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include "ui/Application.h"
#include "ui/qt/QtForm.h"

namespace qm90ui {

struct TApplication::TImpl {
  TImpl(int& argc, char** argv) : application(argc, argv) {}
  QApplication application;
};

TApplication::TApplication(int& argc, char** argv) : impl_(std::make_unique<TImpl>(argc, argv)) {}

TApplication::~TApplication() = default;

int TApplication::Run(TForm& main_form) {
  main_form.Show();
  return QApplication::exec();
}

void ProcessMessages() {
  QCoreApplication::processEvents();
}

void ProcessMessagesFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void Post(std::function<void()> call) {
  QTimer::singleShot(0, QCoreApplication::instance(), std::move(call));
}

TForm* ActiveModalForm() {
  return qm90qt::FormOf(QApplication::activeModalWidget());
}

}  // namespace qm90ui
