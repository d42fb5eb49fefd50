// OkamDIN: window TForm11 (placeholder until its own issue builds it).
#pragma once

#include <QDialog>

#include "link/Dekl.h"

class TForm11 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm11(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
};
