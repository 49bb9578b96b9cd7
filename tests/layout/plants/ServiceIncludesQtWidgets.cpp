// A message box raised by the command service, through the module's own folder,
// which Qt Core's include path reaches too: only the linker can refuse it.
#include <QtWidgets/QMessageBox>

int Planted()
{
    return QMessageBox::critical(nullptr, QStringLiteral("Tockwise"), QStringLiteral("planted"));
}
