#include "dialogs/OkamDOUT.h"

TForm9::TForm9(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm9")); }
