#include "dialogs/NastavAOUT.h"

TForm4::TForm4(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm4")); }
