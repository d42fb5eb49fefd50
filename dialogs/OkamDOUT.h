// OkamDOUT: window TForm9 (placeholder until its own issue builds it).
#pragma once

#include <QDialog>

#include "link/Dekl.h"

class TForm9 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm9(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
};
