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
    // Light enough to read on the panel's grey as drawn (small text is drawn
    // lighter than its colour): 4.5:1 and more, the inactive arrows too.
    static inline const QColor Active{0xFF, 0xFF, 0xFF};
    static inline const QColor Inactive{0xE4, 0xE4, 0xE4};
    static inline const QColor RowColour{0xF2, 0xF2, 0xF2};

    MissedForm();

    // Scroll position: how many non-empty entries are skipped before row 0.
    qint32 MissedStart = 0;

    void UpdateMissedList();

    void UpButton_MouseDown(Qt::MouseButton Button);
    void DownButton_MouseDown(Qt::MouseButton Button);
    void Label1_MouseDown(Qt::MouseButton Button);
    void MissedList_MouseDown(int Index, Qt::MouseButton Button);

    // The line chosen with Up and Down (or a click): its index in the missed
    // list, 0 for none.
    qint32 Selected() const { return m_selected; }
    // Delete or "Clear All" left nothing: the panel goes.
    void HideWhenEmptied();

    // For the menus and for tests.
    bool HasEntries() const { return m_hasEntries; }
    QString RowText(int row) const;
    QString RowTag(int row) const;
    QColor UpColour() const;
    QColor DownColour() const;

signals:
    // A right click (or the menu key) asks for the panel's menu at a point:
    // entry is the missed line it was on (0 for none; then Delete is off),
    // clearEnabled whether there is anything to clear.
    void menuRequested(qint32 entry, bool clearEnabled, const QPoint &at);
    // Shown or hidden, however it happened (a menu, Alt+F4, the clock).
    void shownChanged(bool shown);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void popupMenu(qint32 entry, const QPoint &at);
    // Entries still in the list, in order.
    QList<qint32> entries() const;
    void select(qint32 entry);
    // The row that shows the entry, or -1.
    int rowOf(qint32 entry) const;
    static void setColour(MouseLabel *label, const QColor &colour);
    static QColor colour(const MouseLabel *label);

    QImage m_background;
    MouseLabel *Label1 = nullptr;
    std::array<MouseLabel *, Rows> MissedList{};
    MouseLabel *UpButton = nullptr;
    MouseLabel *DownButton = nullptr;
    bool m_hasEntries = false;
    qint32 m_selected = 0;
    int m_wheelAngle = 0; // eighths of a degree not yet turned into a step
};
