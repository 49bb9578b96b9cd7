#include "shell/AboutForm.h"

#include "resources/Artwork.h"
#include "shell/ToolWindow.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

AboutForm::AboutForm(const QString &name, const QString &caption, QSize size, std::string_view picture, QRect linkArea)
{
    setObjectName(name);
    ToolWindow::Setup(this, caption, size);
    m_picture = Artwork::Picture(QLatin1String(picture.data(), qsizetype(picture.size())), devicePixelRatioF());

    // An invisible hot area over the address printed in the picture.
    LinkButton = new QLabel(this);
    LinkButton->setObjectName(QStringLiteral("LinkButton"));
    LinkButton->setGeometry(linkArea);
    LinkButton->setCursor(Qt::PointingHandCursor);
    LinkButton->installEventFilter(this);
}

bool AboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LinkButton && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        // A click is a press and a release of the left button over the area.
        if (mouse->button() == Qt::LeftButton && LinkButton->rect().contains(mouse->position().toPoint()))
            LinkButton_Click();
    }
    return QWidget::eventFilter(watched, event);
}

void AboutForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_picture.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawImage(rect(), m_picture);
}
