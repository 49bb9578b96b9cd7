#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// "Crewline Kit": the product family's picture; the address printed in it opens
// the family's web site.
class PersonalForm : public QWidget
{
    Q_OBJECT

public:
    PersonalForm();

    static QString Address();

    void LinkButton_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    QLabel *LinkButton = nullptr;
};
