#include "hexView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

// Columns in characters: offset (8), gap (2), 16 × "hh " (48), gap (1), ASCII (16).
constexpr int s_nHexColumn = 10;
constexpr int s_nAsciiColumn = s_nHexColumn + 3 * hexView_c::bytesPerRow + 1;
constexpr int s_nRowChars = s_nAsciiColumn + hexView_c::bytesPerRow;
constexpr int s_nMargin = 4;

char asciiOf(char p_cByte)
{
    return p_cByte >= 0x20 && p_cByte < 0x7F ? p_cByte : '.';
}

} // namespace

hexView_c::hexView_c(QWidget* p_pParent) : QAbstractScrollArea(p_pParent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
}

void hexView_c::setData(const QByteArray& p_arrData)
{
    m_arrData = p_arrData;
    m_nAnchor = m_nCursor = 0;
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

qint64 hexView_c::rowCount() const
{
    return (m_arrData.size() + bytesPerRow - 1) / bytesPerRow;
}

int hexView_c::lineHeight() const
{
    return fontMetrics().height();
}

int hexView_c::charWidth() const
{
    return fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

void hexView_c::updateScrollBars()
{
    const int visibleRows = qMax(1, viewport()->height() / lineHeight());
    // The scroll bar counts rows, so its range stays within int for any
    // QByteArray (at most 2^31 bytes, 2^27 rows).
    verticalScrollBar()->setRange(0, int(qMax<qint64>(0, rowCount() - visibleRows)));
    verticalScrollBar()->setPageStep(visibleRows);
    verticalScrollBar()->setSingleStep(1);
    const int width = 2 * s_nMargin + s_nRowChars * charWidth();
    horizontalScrollBar()->setRange(0, qMax(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

QSize hexView_c::sizeHint() const
{
    const int width = 2 * s_nMargin + s_nRowChars * charWidth() + verticalScrollBar()->sizeHint().width() +
                      2 * frameWidth();
    return QSize(width, 20 * lineHeight());
}

qint64 hexView_c::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

void hexView_c::scrollToRow(qint64 p_nRow)
{
    verticalScrollBar()->setValue(int(qBound<qint64>(0, p_nRow, verticalScrollBar()->maximum())));
}

QString hexView_c::rowText(qint64 p_nRow) const
{
    static const char digits[] = "0123456789ABCDEF";
    const qint64 start = p_nRow * bytesPerRow;
    const int count = int(qBound<qint64>(0, m_arrData.size() - start, bytesPerRow));
    QByteArray text = QByteArray::number(start, 16).toUpper().rightJustified(8, '0');
    text.append("  ");
    QByteArray ascii;
    for (int i = 0; i < bytesPerRow; ++i) {
        if (i < count) {
            const char byte = m_arrData.at(int(start + i));
            text.append(digits[quint8(byte) >> 4]).append(digits[byte & 0x0F]).append(' ');
            ascii.append(asciiOf(byte));
        } else {
            text.append("   ");
        }
    }
    text.append(' ').append(ascii);
    return QString::fromLatin1(text);
}

void hexView_c::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int height = lineHeight();
    const int width = charWidth();
    const int ascent = fontMetrics().ascent();
    const int x0 = s_nMargin - horizontalScrollBar()->value();
    const qint64 first = firstVisibleRow();
    const qint64 last = qMin(rowCount(), first + viewport()->height() / height + 1);
    const QColor highlight = palette().color(QPalette::Highlight);
    const qint64 selStart = selectionStart();
    const qint64 selEnd = selectionEnd();

    m_nLastPaintedRows = 0;
    for (qint64 row = first; row < last; ++row) {
        const int y = int(row - first) * height;
        const qint64 rowStart = row * bytesPerRow;
        // Selection under the bytes of this row, in both columns.
        const qint64 from = qMax(selStart, rowStart);
        const qint64 to = qMin(selEnd, rowStart + bytesPerRow);
        if (from < to) {
            const int a = int(from - rowStart);
            const int b = int(to - rowStart);
            painter.fillRect(x0 + (s_nHexColumn + 3 * a) * width, y, (3 * (b - a) - 1) * width, height,
                             highlight);
            painter.fillRect(x0 + (s_nAsciiColumn + a) * width, y, (b - a) * width, height, highlight);
        }
        painter.drawText(x0, y + ascent, rowText(row));
        ++m_nLastPaintedRows;
    }
}

void hexView_c::resizeEvent(QResizeEvent* p_pEvent)
{
    QAbstractScrollArea::resizeEvent(p_pEvent);
    updateScrollBars();
}

qint64 hexView_c::byteAt(const QPoint& p_pos) const
{
    if (m_arrData.isEmpty())
        return 0;
    const int width = charWidth();
    const int column = (p_pos.x() + horizontalScrollBar()->value() - s_nMargin) / width;
    int index;
    if (column >= s_nAsciiColumn)
        index = column - s_nAsciiColumn;
    else
        index = (column - s_nHexColumn) / 3;
    index = qBound(0, index, bytesPerRow - 1);
    const qint64 row = firstVisibleRow() + qMax(0, p_pos.y()) / lineHeight();
    return qBound<qint64>(0, row * bytesPerRow + index, m_arrData.size() - 1);
}

void hexView_c::setSelection(qint64 p_nStart, qint64 p_nEnd)
{
    m_nAnchor = qBound<qint64>(0, p_nStart, m_arrData.size());
    m_nCursor = qBound<qint64>(0, p_nEnd, m_arrData.size());
    viewport()->update();
}

void hexView_c::mousePressEvent(QMouseEvent* p_pEvent)
{
    if (p_pEvent->button() != Qt::LeftButton || m_arrData.isEmpty())
        return;
    const qint64 byte = byteAt(p_pEvent->pos());
    if (!(p_pEvent->modifiers() & Qt::ShiftModifier))
        m_nPressByte = byte;
    extendSelectionTo(byte);
}

void hexView_c::mouseMoveEvent(QMouseEvent* p_pEvent)
{
    if (!(p_pEvent->buttons() & Qt::LeftButton) || m_arrData.isEmpty())
        return;
    extendSelectionTo(byteAt(p_pEvent->pos()));
}

void hexView_c::extendSelectionTo(qint64 p_nByte)
{
    // The byte where the mouse went down stays selected whichever way the
    // selection grows.
    if (p_nByte >= m_nPressByte)
        setSelection(m_nPressByte, p_nByte + 1);
    else
        setSelection(m_nPressByte + 1, p_nByte);
}

void hexView_c::keyPressEvent(QKeyEvent* p_pEvent)
{
    if (p_pEvent->matches(QKeySequence::Copy)) {
        copy();
    } else if (p_pEvent->matches(QKeySequence::SelectAll)) {
        setSelection(0, m_arrData.size());
    } else {
        QAbstractScrollArea::keyPressEvent(p_pEvent);
    }
}

QByteArray hexView_c::selectedBytes() const
{
    return m_arrData.mid(int(selectionStart()), int(selectionEnd() - selectionStart()));
}

QString hexView_c::selectedHex() const
{
    return QString::fromLatin1(selectedBytes().toHex(' ').toUpper());
}

void hexView_c::copy() const
{
    if (selectionEnd() > selectionStart())
        QApplication::clipboard()->setText(selectedHex());
}
