#include "ui/Dialogs.h"

#include <QMessageBox>

namespace Dialogs {

namespace {
AskHandler askHandler;
ErrorHandler errorHandler;
} // namespace

bool AskYesNo(QWidget *parent, const QString &text, bool yesIsDefault)
{
    if (askHandler)
        return askHandler(text);
    QMessageBox box(QMessageBox::NoIcon, Title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void ShowError(QWidget *parent, const QString &text)
{
    if (errorHandler) {
        errorHandler(text);
        return;
    }
    QMessageBox::critical(parent, Title, text);
}

void SetAskHandler(AskHandler handler)
{
    askHandler = std::move(handler);
}

void SetErrorHandler(ErrorHandler handler)
{
    errorHandler = std::move(handler);
}

} // namespace Dialogs
