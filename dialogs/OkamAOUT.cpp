#include "dialogs/OkamAOUT.h"

TForm3::TForm3(QWidget* owner) : QDialog(owner) { setObjectName(QStringLiteral("TForm3")); }
