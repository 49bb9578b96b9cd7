#include "ui/FormRegistry.h"

FormRegistry &FormRegistry::instance()
{
    static FormRegistry registry;
    return registry;
}

void FormRegistry::DeleteAll()
{
    const auto forms = m_forms.values();
    m_forms.clear();
    for (const QPointer<QWidget> &form : forms)
        delete form.data();
}
