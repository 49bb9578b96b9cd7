#pragma once

#include <QLabel>
#include <QMouseEvent>

// A label that reports mouse presses, as the panels' labels act on the press
// of any button rather than on a click.
class MouseLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void mouseDown(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        emit mouseDown(event->button());
        event->accept();
    }
};
