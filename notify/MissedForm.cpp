#include "notify/MissedForm.h"

#include "engine/AlarmChecking.h"
#include "engine/Settings.h"
#include "notify/MouseLabel.h"
#include "resources/Artwork.h"
#include "ui/AccessibleRole.h"
#include "ui/FormRegistry.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int Twips = 15;

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / Twips, top / Twips, width / Twips, height / Twips);
}

QFont arial(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    return font;
}

} // namespace

MissedForm::MissedForm()
{
    setObjectName(QStringLiteral("MissedForm"));
    setWindowTitle(QStringLiteral("Missed Alarms"));
    setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(6000 / Twips, 2025 / Twips);
    // Up, Down, Delete, the menu key and Escape work while it is active.
    setFocusPolicy(Qt::StrongFocus);
    AccessibleRole::Set(this, QAccessible::List, QStringLiteral("Missed Alarms"));
    m_background = Artwork::Picture(QString::fromLatin1(Artwork::kMissedPicture), devicePixelRatioF());

    auto makeLabel = [this](const QString &name, const QString &text, const QRect &geometry, const QColor &colour,
                            double points, Qt::Alignment alignment) {
        auto *label = new MouseLabel(text, this);
        label->setObjectName(name);
        label->setGeometry(geometry);
        label->setFont(arial(points));
        label->setAlignment(alignment | Qt::AlignVCenter);
        label->setAttribute(Qt::WA_TranslucentBackground);
        setColour(label, colour);
        return label;
    };

    Label1 = makeLabel(QStringLiteral("Label1"), QStringLiteral("Missed Alarms"), twips(120, 120, 5775, 255),
                       QColor(0xE0, 0xE0, 0xE0), 9.75, Qt::AlignHCenter);
    connect(Label1, &MouseLabel::mouseDown, this, &MissedForm::Label1_MouseDown);
    for (int i = 0; i < Rows; ++i) {
        MouseLabel *row = makeLabel(QStringLiteral("MissedList_%1").arg(i), QStringLiteral("Missed Alarm"),
                                    twips(240, 360 + 240 * i, 5295, 255), RowColour, 8.25, Qt::AlignLeft);
        row->setProperty("Tag", QStringLiteral("0"));
        // The selected line takes the focus, so a screen reader reads it (as
        // focused only when it may take the focus at all); Tab passes it by.
        row->setFocusPolicy(Qt::ClickFocus);
        AccessibleRole::Set(row, QAccessible::ListItem);
        row->setTextFormat(Qt::PlainText);
        connect(row, &MouseLabel::mouseDown, this, [this, i](Qt::MouseButton button) {
            if (button == Qt::LeftButton)
                select(static_cast<qint32>(Settings::LenientNumber(RowTag(i))));
            MissedList_MouseDown(i, button);
        });
        MissedList[static_cast<size_t>(i)] = row;
    }
    UpButton = makeLabel(QStringLiteral("UpButton"), QStringLiteral("/\\"), twips(5520, 360, 255, 255), Active, 8.25,
                         Qt::AlignHCenter);
    DownButton = makeLabel(QStringLiteral("DownButton"), QStringLiteral("\\/"), twips(5520, 1560, 255, 255), Active,
                           8.25, Qt::AlignHCenter);
    connect(UpButton, &MouseLabel::mouseDown, this, &MissedForm::UpButton_MouseDown);
    connect(DownButton, &MouseLabel::mouseDown, this, &MissedForm::DownButton_MouseDown);

    Form_Load();
}

void MissedForm::Form_Load()
{
    MissedStart = 0;
    UpdateMissedList();
}

void MissedForm::UpdateMissedList()
{
    const QStringList &missed = AlarmChecking::MissedAlarms;
    qint32 skip = MissedStart;
    int shown = 0;
    const qsizetype top = missed.size() - 1;
    // One entry past the last row is enough to light the down arrow; walking
    // on to the end would make every appended line cost the whole list.
    for (qsizetype k = 1; k <= top && shown <= Rows; ++k) {
        if (missed.at(k).isEmpty())
            continue;
        if (skip > 0) {
            --skip;
            continue;
        }
        if (shown < Rows) {
            MouseLabel *row = MissedList[static_cast<size_t>(shown)];
            row->setText(missed.at(k));
            row->setProperty("Tag", QString::number(k));
            // A line cut off at the row's end shows whole under the pointer,
            // on one line and as typed (a name is never markup).
            const bool cut = row->fontMetrics().horizontalAdvance(missed.at(k)) > row->contentsRect().width();
            row->setToolTip(cut ? QStringLiteral("<p style='white-space:pre'>%1</p>").arg(missed.at(k).toHtmlEscaped())
                                : QString());
        }
        ++shown;
    }
    for (int r = shown; r < Rows; ++r) {
        MissedList[static_cast<size_t>(r)]->setText(QString());
        MissedList[static_cast<size_t>(r)]->setToolTip(QString());
        MissedList[static_cast<size_t>(r)]->setProperty("Tag", QStringLiteral("0"));
    }
    // Scrolled past every entry that is left: an empty panel would hide them.
    if (shown == 0 && MissedStart > 0) {
        MissedStart = 0;
        UpdateMissedList();
        return;
    }
    m_hasEntries = shown > 0;
    setColour(UpButton, MissedStart > 0 ? Active : Inactive);
    setColour(DownButton, shown > Rows ? Active : Inactive);
    // A selected line that went (deleted, cleared) or scrolled out of sight is
    // no longer selected.
    if (m_selected > 0 && rowOf(m_selected) < 0) {
        m_selected = 0;
        if (QWidget *focus = focusWidget(); focus && focus != this)
            setFocus(Qt::OtherFocusReason);
    }
    update();
}

QList<qint32> MissedForm::entries() const
{
    QList<qint32> list;
    const QStringList &missed = AlarmChecking::MissedAlarms;
    for (qsizetype k = 1; k < missed.size(); ++k) {
        if (!missed.at(k).isEmpty())
            list.append(static_cast<qint32>(k));
    }
    return list;
}

int MissedForm::rowOf(qint32 entry) const
{
    if (entry <= 0)
        return -1;
    const QString tag = QString::number(entry);
    for (int r = 0; r < Rows; ++r) {
        if (RowTag(r) == tag && !RowText(r).isEmpty())
            return r;
    }
    return -1;
}

void MissedForm::select(qint32 entry)
{
    const QList<qint32> all = entries();
    const qsizetype at = all.indexOf(entry);
    if (at < 0)
        return;
    // Scrolled so that the line shows, as the arrows would.
    if (at < MissedStart)
        MissedStart = static_cast<qint32>(at);
    else if (at >= MissedStart + Rows)
        MissedStart = static_cast<qint32>(at - Rows + 1);
    m_selected = entry;
    UpdateMissedList();
    if (const int row = rowOf(entry); row >= 0 && isActiveWindow())
        MissedList[static_cast<size_t>(row)]->setFocus(Qt::OtherFocusReason);
    update();
}

void MissedForm::HideWhenEmptied()
{
    UpdateMissedList();
    if (!m_hasEntries)
        hide();
}

void MissedForm::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const QList<qint32> all = entries();
    const qsizetype at = all.indexOf(m_selected);
    if (mods == Qt::NoModifier && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        if (!all.isEmpty()) {
            qsizetype next;
            if (at < 0) // the first line in sight, or the last going up
                next = key == Qt::Key_Down ? MissedStart : std::min<qsizetype>(all.size() - 1, MissedStart + Rows - 1);
            else
                next = std::clamp<qsizetype>(at + (key == Qt::Key_Down ? 1 : -1), 0, all.size() - 1);
            select(all.at(std::clamp<qsizetype>(next, 0, all.size() - 1)));
        }
        event->accept();
        return;
    }
    if (mods == Qt::NoModifier && key == Qt::Key_Delete) {
        if (at >= 0) {
            // The line below takes its place, or the one above at the end.
            const qint32 after = at + 1 < all.size() ? all.at(at + 1) : (at > 0 ? all.at(at - 1) : 0);
            AlarmChecking::DeleteMissedAlarm(m_selected);
            m_selected = 0;
            HideWhenEmptied();
            if (after > 0 && isVisible())
                select(after);
        }
        event->accept();
        return;
    }
    if ((mods == Qt::NoModifier && key == Qt::Key_Menu) || (mods == Qt::ShiftModifier && key == Qt::Key_F10)) {
        const int row = rowOf(m_selected);
        const QWidget *under = row >= 0 ? static_cast<QWidget *>(MissedList[static_cast<size_t>(row)]) : Label1;
        popupMenu(row >= 0 ? m_selected : 0, under->mapToGlobal(QPoint(12, under->height())));
        event->accept();
        return;
    }
    if (mods == Qt::NoModifier && key == Qt::Key_Escape) {
        hide();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MissedForm::UpButton_MouseDown(Qt::MouseButton)
{
    if (colour(UpButton) == Active) {
        --MissedStart;
        UpdateMissedList();
    }
}

void MissedForm::DownButton_MouseDown(Qt::MouseButton)
{
    if (colour(DownButton) == Active) {
        ++MissedStart;
        UpdateMissedList();
    }
}

void MissedForm::Label1_MouseDown(Qt::MouseButton Button)
{
    if (Button == Qt::RightButton)
        popupMenu(0, QCursor::pos());
}

void MissedForm::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        popupMenu(0, QCursor::pos());
}

void MissedForm::wheelEvent(QWheelEvent *event)
{
    // Each notch of the wheel is a press on the arrow of its direction.
    m_wheelAngle += event->angleDelta().y();
    for (; m_wheelAngle >= QWheelEvent::DefaultDeltasPerStep; m_wheelAngle -= QWheelEvent::DefaultDeltasPerStep)
        UpButton_MouseDown(Qt::NoButton);
    for (; m_wheelAngle <= -QWheelEvent::DefaultDeltasPerStep; m_wheelAngle += QWheelEvent::DefaultDeltasPerStep)
        DownButton_MouseDown(Qt::NoButton);
    event->accept();
}

void MissedForm::closeEvent(QCloseEvent *event)
{
    // The window manager's close (Alt+F4) hides the panel as its "Close" does;
    // it is unloaded only with the clock.
    if (event->spontaneous()) {
        event->ignore();
        hide();
        return;
    }
    QWidget::closeEvent(event);
}

void MissedForm::MissedList_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button != Qt::RightButton)
        return;
    const double tag = Settings::LenientNumber(RowTag(Index));
    const bool entry = tag > 0 && tag < static_cast<double>(AlarmChecking::MissedAlarms.size());
    popupMenu(entry ? static_cast<qint32>(std::lround(tag)) : 0, QCursor::pos());
}

void MissedForm::popupMenu(qint32 entry, const QPoint &at)
{
    emit menuRequested(entry, m_hasEntries, at);
}

void MissedForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    emit shownChanged(true);
}

void MissedForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    emit shownChanged(false);
}

QString MissedForm::RowText(int row) const
{
    return MissedList.at(static_cast<size_t>(row))->text();
}

QString MissedForm::RowTag(int row) const
{
    return MissedList.at(static_cast<size_t>(row))->property("Tag").toString();
}

QColor MissedForm::UpColour() const
{
    return colour(UpButton);
}

QColor MissedForm::DownColour() const
{
    return colour(DownButton);
}

void MissedForm::setColour(MouseLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QColor MissedForm::colour(const MouseLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

void MissedForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_background.isNull())
        painter.fillRect(rect(), QColor(Artwork::kMissedPanel));
    else
        painter.drawImage(rect(), m_background);
    // The selected line: a darker band, which only adds to the text's
    // contrast, framed in the rows' colour.
    if (const int row = rowOf(m_selected); row >= 0) {
        const QRect band =
            MissedList[static_cast<size_t>(row)]->geometry().adjusted(-4, 0, -4, 0); // clear of the arrows
        painter.fillRect(band, QColor(0x26, 0x26, 0x26));
        painter.setPen(RowColour);
        painter.drawRect(band.adjusted(0, 0, -1, -1));
    }
}
