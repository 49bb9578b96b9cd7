#include "theme/ThemeForm.h"

#include "engine/Settings.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"
#include "ui/ToolWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

using ToolWindow::MakeButton;
using ToolWindow::MakeLabel;
using ToolWindow::PlaceTwips;

namespace {

QListWidget *makeList(QWidget *parent, const char *name, const QStringList &items)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->addItems(items);
    return list;
}

// The selected row; a list the user has emptied by Ctrl+click keeps its
// current row, and a list without either counts as the first choice.
int chosenIndex(const QListWidget *list)
{
    return list->currentRow() >= 0 ? list->currentRow() : 0;
}

} // namespace

ThemeForm::ThemeForm()
{
    setObjectName(QStringLiteral("ThemeForm"));
    ToolWindow::Setup(this, QStringLiteral("Tockwise - Theme"), QSize(ToolWindow::Px(3015), ToolWindow::Px(2535)));

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Digits:"), Qt::AlignRight);
    PlaceTwips(Label1, 120, 120, 975, 255);
    DigitList =
        makeList(this, "DigitList",
                 {QStringLiteral("White"), QStringLiteral("Red"), QStringLiteral("Orange"), QStringLiteral("Green")});
    PlaceTwips(DigitList, 1200, 120, 1695, 840);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Face:"), Qt::AlignRight);
    PlaceTwips(Label2, 120, 1080, 975, 255);
    FaceList = makeList(
        this, "FaceList",
        {QStringLiteral("Silver"), QStringLiteral("Gold"), QStringLiteral("Metalic Blue"), QStringLiteral("Brass")});
    PlaceTwips(FaceList, 1200, 1080, 1695, 840);
    CancelButton = MakeButton(this, "CancelButton", QStringLiteral("Cancel"));
    PlaceTwips(CancelButton, 120, 2040, 1335, 375);
    SaveButton = MakeButton(this, "SaveButton", QStringLiteral("Save"));
    PlaceTwips(SaveButton, 1560, 2040, 1335, 375);

    setTabOrder(DigitList, FaceList);
    setTabOrder(FaceList, SaveButton);
    setTabOrder(SaveButton, CancelButton);

    connect(SaveButton, &QPushButton::clicked, this, &ThemeForm::SaveButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &ThemeForm::CancelButton_Click);

    Form_Load();
}

void ThemeForm::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the window as its close box does: nothing is stored.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ThemeForm::Form_Load()
{
    // A stored value outside 0-3 names no choice; it reads as the first one.
    DigitList->setCurrentRow(Settings::ReadThemeIndex(Settings::Digits));
    FaceList->setCurrentRow(Settings::ReadThemeIndex(Settings::Face));
}

void ThemeForm::SaveButton_Click()
{
    QString problem;
    if (!Settings::Write({{Settings::Digits, QString::number(chosenIndex(DigitList))},
                          {Settings::Face, QString::number(chosenIndex(FaceList))}},
                         &problem)) {
        Dialogs::ShowError(this, QStringLiteral("Tockwise cannot save the theme.\n\n%1").arg(problem));
        return;
    }
    if (!Dialogs::AskYesNo(this, RestartQuestion, true))
        return;
    emit restartRequested();
}

void ThemeForm::CancelButton_Click()
{
    close();
}
