#include "about/AdForm.h"

#include "resources/Artwork.h"
#include "ui/BrowserLink.h"

AdForm::AdForm()
    : AboutForm(QStringLiteral("AdForm"), QStringLiteral("About Varnod"), Artwork::kAdPictureSize, Artwork::kAdPicture,
                Artwork::kAdLinkArea, Address())
{}

QString AdForm::Address()
{
    return Artwork::MakerSite().toString();
}

void AdForm::LinkButton_Click()
{
    BrowserLink::OpenLink(Address());
}
