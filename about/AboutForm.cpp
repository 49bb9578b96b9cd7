#include "about/AboutForm.h"

#include "resources/Artwork.h"
#include "ui/AccessibleRole.h"
#include "ui/ToolWindow.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

AboutForm::AboutForm(const QString &name, const QString &caption, QSize size, std::string_view picture, QRect linkArea,
                     const QString &address)
{
    setObjectName(name);
    ToolWindow::Setup(this, caption, size);
    m_picture = Artwork::Picture(QLatin1String(picture.data(), qsizetype(picture.size())), devicePixelRatioF());

    // An invisible hot area over the address printed in the picture.
    LinkButton = new QLabel(this);
    LinkButton->setObjectName(QStringLiteral("LinkButton"));
    // A screen too small for the picture (a high scale on a small monitor)
    // gets it smaller, the hot area with it.
    ToolWindow::CentreOnScreen(this, true);
    const qreal scale = qreal(width()) / size.width();
    LinkButton->setGeometry(QRectF(QPointF(linkArea.topLeft()) * scale, QSizeF(linkArea.size()) * scale).toRect());
    LinkButton->setCursor(Artwork::LinkCursor(devicePixelRatioF()));
    LinkButton->installEventFilter(this);
    // The window's one control, so it has the focus: Enter opens the site.
    LinkButton->setFocusPolicy(Qt::StrongFocus);
    AccessibleRole::Set(LinkButton, QAccessible::Link, address);
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

void AboutForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if ((enter || event->key() == Qt::Key_Space) && LinkButton->hasFocus()) {
        event->accept();
        LinkButton_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AboutForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_picture.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawImage(rect(), m_picture);
}
