#include "dialogs/Pripojeni.h"

TForm2::TForm2(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm2")); }
