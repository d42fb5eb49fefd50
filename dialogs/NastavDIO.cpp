#include "dialogs/NastavDIO.h"

TForm14::TForm14(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm14")); }
