#include "dialogs/StatReg.h"

TForm15::TForm15(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm15")); }
