#include "dialogs/NastavAdr.h"

TForm12::TForm12(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm12")); }
