#include "shell/PersonalForm.h"

#include "alarmui/ToolWindow.h"
#include "resources/Artwork.h"
#include "shell/BrowserLink.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

PersonalForm::PersonalForm()
{
    setObjectName(QStringLiteral("PersonalForm"));
    ToolWindow::Setup(this, QStringLiteral("Crewline Kit"), Artwork::kPersonalPictureSize);
    m_picture =
        Artwork::Picture(QLatin1String(Artwork::kPersonalPicture.data(), qsizetype(Artwork::kPersonalPicture.size())),
                         devicePixelRatioF());

    // An invisible hot area over the address printed in the picture.
    LinkButton = new QLabel(this);
    LinkButton->setObjectName(QStringLiteral("LinkButton"));
    LinkButton->setGeometry(Artwork::kPersonalLinkArea);
    LinkButton->setCursor(Qt::PointingHandCursor);
    LinkButton->installEventFilter(this);
}

QString PersonalForm::Address()
{
    return Artwork::ProductFamilySite().toString();
}

void PersonalForm::LinkButton_Click()
{
    BrowserLink::OpenLink(Address());
}

bool PersonalForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LinkButton && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        // A click is a press and a release of the left button over the area.
        if (mouse->button() == Qt::LeftButton && LinkButton->rect().contains(mouse->position().toPoint()))
            LinkButton_Click();
    }
    return QWidget::eventFilter(watched, event);
}

void PersonalForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_picture.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawImage(rect(), m_picture);
}
