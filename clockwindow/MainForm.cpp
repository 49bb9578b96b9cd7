#include "clockwindow/MainForm.h"

#include "clockwindow/RegionData.h"

MainForm::MainForm() = default;
MainForm::~MainForm() = default;
bool MainForm::Form_Load(QString *) { return true; }
void MainForm::Form_Unload(int) {}
void MainForm::RefreshTimer_Timer() {}
void MainForm::SaveTimer_Timer() {}
void MainForm::InitSegmentPatterns() {}
void MainForm::StepDigit(int, int) {}
void MainForm::DrawFace() {}
void MainForm::DrawDigit(int) {}
void MainForm::DrawColon() {}
void MainForm::PositionMissedForm() {}
void MainForm::OpenNotification(const QString &, const QString &, qint32) {}
void MainForm::ShowMissedAlarms() {}
int MainForm::LeftTwips() const { return 0; }
int MainForm::TopTwips() const { return 0; }
void MainForm::paintEvent(QPaintEvent *) {}
void MainForm::mousePressEvent(QMouseEvent *) {}
void MainForm::mouseMoveEvent(QMouseEvent *) {}
void MainForm::mouseReleaseEvent(QMouseEvent *) {}
void MainForm::closeEvent(QCloseEvent *) {}
void MainForm::loadPictures() {}
