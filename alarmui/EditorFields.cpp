#include "alarmui/EditorFields.h"

#include "engine/AlarmHandling.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace EditorFields {

QLineEdit *MakeTimeBox(QWidget *parent, const char *name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setMaxLength(2);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Typing is filtered key by key; this keeps pasted text to digits as well.
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,2}")), box));
    return box;
}

QComboBox *MakeList(QWidget *parent, const char *name, const QStringList &items)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setEditable(false);
    list->addItems(items);
    return list;
}

StorableNameValidator::StorableNameValidator(QObject *parent, std::function<void(const QString &control)> refused)
    : QValidator(parent)
    , m_refused(std::move(refused))
{}

QValidator::State StorableNameValidator::validate(QString &input, int &pos) const
{
    const QString control = AlarmRecord::ControlCharacterIn(input);
    const auto keep = [](const QString &text) {
        QString kept = text;
        kept.removeIf([](QChar c) { return AlarmRecord::IsControl(c); });
        return AlarmHandling::StorableName(kept);
    };
    const QString storable = keep(input);
    if (storable.size() != input.size()) {
        pos = static_cast<int>(keep(input.left(pos)).size());
        input = storable;
        m_refused(control);
    }
    return Acceptable;
}

} // namespace EditorFields
