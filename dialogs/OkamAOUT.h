// OkamAOUT: window TForm3 (placeholder until its own issue builds it).
#pragma once

#include <QDialog>

#include "link/Dekl.h"

class TForm3 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
};
