#include "ui/Dialogs.h"

#include <QMessageBox>

namespace Dialogs {

namespace {
AskHandler askHandler;
ErrorHandler errorHandler;
} // namespace

namespace {
int asking = 0;
} // namespace

bool AskYesNo(QWidget *parent, const QString &text, bool yesIsDefault)
{
    // The answer may act on what the question names: while it is open, a
    // change from outside must wait.
    ++asking;
    const struct Answered
    {
        ~Answered() { --asking; }
    } answered;
    if (askHandler)
        return askHandler(text);
    QMessageBox box(QMessageBox::NoIcon, Title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool Asking()
{
    return asking > 0;
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
