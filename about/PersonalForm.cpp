#include "about/PersonalForm.h"

#include "resources/Artwork.h"
#include "ui/BrowserLink.h"

PersonalForm::PersonalForm()
    : AboutForm(QStringLiteral("PersonalForm"), QStringLiteral("Crewline Kit"), Artwork::kPersonalPictureSize,
                Artwork::kPersonalPicture, Artwork::kPersonalLinkArea, Address())
{}

QString PersonalForm::Address()
{
    return Artwork::ProductFamilySite().toString();
}

void PersonalForm::LinkButton_Click()
{
    BrowserLink::OpenLink(Address());
}
