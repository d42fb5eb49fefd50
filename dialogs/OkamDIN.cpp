#include "dialogs/OkamDIN.h"

TForm11::TForm11(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm11")); }
