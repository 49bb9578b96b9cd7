#pragma once

#include "about/AboutForm.h"

// "About Varnod": the maker's picture; the address printed in it opens the
// maker's web site.
class AdForm : public AboutForm
{
    Q_OBJECT

public:
    AdForm();

    static QString Address();

    void LinkButton_Click() override;
};
