// A message box raised by the command service, as a widget header names it.
#include <QMessageBox>

int Planted()
{
    return QMessageBox::critical(nullptr, QStringLiteral("Tockwise"), QStringLiteral("planted"));
}
