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

    // The last steps of the restart: start a new copy of the program and end
    // this one at once. Tests replace them to watch a restart without ending.
    // Launch returns why the new copy could not be started, empty when it was.
    using Launch = std::function<QString(const QString &program, const QStringList &arguments)>;
    using EndProcess = std::function<void()>;
    // Empty functions restore the real ones.
    static void SetRestartSeam(Launch launch, EndProcess endProcess);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void restart();

    QLabel *Label1 = nullptr;
    QListWidget *DigitList = nullptr;
    QLabel *Label2 = nullptr;
    QListWidget *FaceList = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *SaveButton = nullptr;
};
