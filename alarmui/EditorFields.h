#pragma once

#include <QValidator>
#include <functional>

class QComboBox;
class QLineEdit;
class QWidget;

// The editor's fields as the editor makes them.
namespace EditorFields {

// A two-digit box for the hour or the minute.
QLineEdit *MakeTimeBox(QWidget *parent, const char *name);
// A drop-down list that cannot be typed into.
QComboBox *MakeList(QWidget *parent, const char *name, const QStringList &items);

// Leaves out, typed or pasted, what the alarm file cannot hold, rather than
// let it become '?' on the way to the disk, and control characters, which no
// name may hold; and says so: refused gets the first control character left
// out ("U+0009"), empty when only letters beyond the code page were.
class StorableNameValidator : public QValidator
{
public:
    StorableNameValidator(QObject *parent, std::function<void(const QString &control)> refused);
    State validate(QString &input, int &pos) const override;

private:
    std::function<void(const QString &control)> m_refused;
};

} // namespace EditorFields
