#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

// Chooses the digit colour and the face. Both are read only when the clock
// starts, so saving offers to restart the program.
class ThemeForm : public QWidget
{
    Q_OBJECT

public:
    static inline const QString RestartQuestion =
        QStringLiteral("Tockwise needs to be restarted for the changes to take effect. Would you like to restart "
                       "the program now?");

    ThemeForm();

    void Form_Load();
    void SaveButton_Click();
    void CancelButton_Click();

signals:
    // The user saved and agreed to restart the program.
    void restartRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *Label1 = nullptr;
    QListWidget *DigitList = nullptr;
    QLabel *Label2 = nullptr;
    QListWidget *FaceList = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *SaveButton = nullptr;
};
