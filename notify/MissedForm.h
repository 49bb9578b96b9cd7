#pragma once

#include <QImage>
#include <QWidget>
#include <array>

class MouseLabel;

// The panel under the clock that lists the missed alarms, six rows at a time.
class MissedForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Rows = 6;
    static inline const QColor Active{0xFF, 0xFF, 0xFF};
    static inline const QColor Inactive{0x88, 0x88, 0x88};

    MissedForm();

    // Scroll position: how many non-empty entries are skipped before row 0.
    qint32 MissedStart = 0;

    void UpdateMissedList();

    void UpButton_MouseDown(Qt::MouseButton Button);
    void DownButton_MouseDown(Qt::MouseButton Button);
    void Label1_MouseDown(Qt::MouseButton Button);
    void MissedList_MouseDown(int Index, Qt::MouseButton Button);

    // For the menus and for tests.
    bool HasEntries() const { return m_hasEntries; }
    QString RowText(int row) const;
    QString RowTag(int row) const;
    QColor UpColour() const;
    QColor DownColour() const;

signals:
    // A right click asks for the panel's menu: entry is the missed line it
    // was on (0 for none; then Delete is off), clearEnabled whether there is
    // anything to clear.
    void menuRequested(qint32 entry, bool clearEnabled);
    // Shown or hidden, however it happened (a menu, Alt+F4, the clock).
    void shownChanged(bool shown);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void popupMenu(qint32 entry);
    static void setColour(MouseLabel *label, const QColor &colour);
    static QColor colour(const MouseLabel *label);

    QImage m_background;
    MouseLabel *Label1 = nullptr;
    std::array<MouseLabel *, Rows> MissedList{};
    MouseLabel *UpButton = nullptr;
    MouseLabel *DownButton = nullptr;
    bool m_hasEntries = false;
    int m_wheelAngle = 0; // eighths of a degree not yet turned into a step
};
