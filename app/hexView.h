#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>

// A read-only hex view: one row per 16 bytes with the offset, the bytes in
// hex and as ASCII ('.' for anything not printable). The bytes are shared,
// not copied, and painting touches only the rows in view, so opening and
// scrolling cost the same for a hundred bytes and a hundred megabytes.
//
// Selection by mouse (drag, shift-click) or Ctrl+A; the copy shortcut puts
// the selected bytes on the clipboard as hex pairs separated by blanks.
class hexView_c : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr int bytesPerRow = 16;

    explicit hexView_c(QWidget* p_pParent = nullptr);

    void setData(const QByteArray& p_arrData);
    const QByteArray& data() const { return m_arrData; }

    // Selected byte range [start, end); empty when start == end.
    qint64 selectionStart() const { return qMin(m_nAnchor, m_nCursor); }
    qint64 selectionEnd() const { return qMax(m_nAnchor, m_nCursor); }
    void setSelection(qint64 p_nStart, qint64 p_nEnd);
    QByteArray selectedBytes() const;
    // The selection as the clipboard receives it: "41 42 43".
    QString selectedHex() const;
    void copy() const;

    // The text of one row: "%08X", two blanks, 16 hex pairs (blank-padded on
    // the last row), two blanks, the ASCII column.
    QString rowText(qint64 p_nRow) const;
    qint64 rowCount() const;
    // Row shown at the top; scrolls so that it is.
    qint64 firstVisibleRow() const;
    void scrollToRow(qint64 p_nRow);
    // Rows drawn by the last paint, for the benchmark and the tests.
    int lastPaintedRows() const { return m_nLastPaintedRows; }
    // Wide enough for a whole row.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* p_pEvent) override;
    void resizeEvent(QResizeEvent* p_pEvent) override;
    void mousePressEvent(QMouseEvent* p_pEvent) override;
    void mouseMoveEvent(QMouseEvent* p_pEvent) override;
    void keyPressEvent(QKeyEvent* p_pEvent) override;

private:
    void updateScrollBars();
    int lineHeight() const;
    int charWidth() const;
    // The byte under p_pos (viewport coordinates), clamped to the data.
    qint64 byteAt(const QPoint& p_pos) const;
    void extendSelectionTo(qint64 p_nByte);

    QByteArray m_arrData;
    qint64 m_nAnchor = 0;
    qint64 m_nCursor = 0;
    qint64 m_nPressByte = 0; // where the mouse went down
    int m_nLastPaintedRows = 0;
};
