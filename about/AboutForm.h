#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include <string_view>

class QLabel;

// An about window: a fixed picture with a web address printed in it, under an
// invisible hot area that opens that address.
class AboutForm : public QWidget
{
    Q_OBJECT

public:
    virtual void LinkButton_Click() = 0;

protected:
    // The address is what a screen reader hears for the link.
    AboutForm(const QString &name, const QString &caption, QSize size, std::string_view picture, QRect linkArea,
              const QString &address);

    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    QLabel *LinkButton = nullptr;
};
