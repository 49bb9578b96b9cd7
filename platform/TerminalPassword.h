#pragma once

#include <QByteArray>
#include <QString>

// A password typed on the terminal: the one place that turns the echo off
// (and back on, should a signal end the program meanwhile).
namespace TerminalPassword {

// A line read past this is cut here.
constexpr qsizetype LineLimit = 64 * 1024;

// A password typed on the terminal without echo, the prompt on standard
// error, or, when standard input is no terminal, its first line. Nothing
// after that line is read. Empty with ok false when none came.
QByteArray Ask(const QString &prompt, bool *ok);

} // namespace TerminalPassword
