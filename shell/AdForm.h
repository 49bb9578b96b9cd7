#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// "About Varnod": the maker's picture; the address printed in it opens the
// maker's web site.
class AdForm : public QWidget
{
    Q_OBJECT

public:
    AdForm();

    static QString Address();

    void LinkButton_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    QLabel *LinkButton = nullptr;
};
