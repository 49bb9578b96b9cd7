#pragma once

#include "about/AboutForm.h"

// "Crewline Kit": the product family's picture; the address printed in it opens
// the family's web site.
class PersonalForm : public AboutForm
{
    Q_OBJECT

public:
    PersonalForm();

    static QString Address();

    void LinkButton_Click() override;
};
