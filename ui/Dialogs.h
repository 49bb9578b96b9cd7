#pragma once

#include <QString>
#include <functional>

class QWidget;

// The program's message boxes, titled "Tockwise". Tests install handlers that
// answer them instead of waiting for a real dialog.
namespace Dialogs {

inline const QString Title = QStringLiteral("Tockwise");

// Yes/No question, no icon. Returns true for Yes.
bool AskYesNo(QWidget *parent, const QString &text, bool yesIsDefault = true);
// Whether a Yes/No question is open (a removal question, say).
bool Asking();
// A failure the user must know about (e.g. a save that did not happen).
void ShowError(QWidget *parent, const QString &text);

using AskHandler = std::function<bool(const QString &text)>;
using ErrorHandler = std::function<void(const QString &text)>;
// An empty handler restores the real message box.
void SetAskHandler(AskHandler handler);
void SetErrorHandler(ErrorHandler handler);

} // namespace Dialogs
