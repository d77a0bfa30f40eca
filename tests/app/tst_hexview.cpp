#include "hexView.h"

#include <QClipboard>
#include <QScrollBar>
#include <QtTest>

// The hex view's rows, its selection and copy, and that a large buffer is
// drawn a screenful at a time.
class tst_HexView : public QObject
{
    Q_OBJECT
private slots:
    void rowText_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        const QByteArray alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        QTest::newRow("full row") << alphabet << 0
                                  << "00000000  41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  ABCDEFGHIJKLMNOP";
        QTest::newRow("last row padded") << alphabet << 1
                                         << "00000010  51 52 53 54 55 56 57 58 59 5A" + QString(19, ' ') +
                                                " QRSTUVWXYZ";
        QTest::newRow("unprintable as dots") << QByteArray::fromHex("00097F80FF20") << 0
                                             << "00000000  00 09 7F 80 FF 20" + QString(32, ' ') + "..... ";
    }

    void rowText()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, row);
        QFETCH(QString, text);
        hexView_c view;
        view.setData(data);
        QCOMPARE(view.rowText(row), text);
    }

    void selectionAndCopy()
    {
        hexView_c view;
        view.setData(QByteArray("0123456789abcdefXYZ"));
        view.setSelection(14, 17);
        QCOMPARE(view.selectedBytes(), QByteArray("efX"));
        QCOMPARE(view.selectedHex(), "65 66 58");
        view.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), "65 66 58");
        // Backwards gives the same range; beyond the end is clamped.
        view.setSelection(100, 16);
        QCOMPARE(view.selectedBytes(), QByteArray("XYZ"));
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selectedBytes().size(), 19);
    }

    // Click on a byte, shift-click on a later one: both and all between.
    void mouseSelection()
    {
        hexView_c view;
        view.resize(700, 200);
        view.setData(QByteArray(64, 'q'));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const int width = view.fontMetrics().horizontalAdvance('0');
        const int line = view.fontMetrics().height();
        // Byte 1 of row 0 and byte 2 of row 1 in the hex column (column 10 + 3 per byte).
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(4 + 13 * width + 1, line / 2));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          QPoint(4 + 16 * width + 1, line + line / 2));
        QCOMPARE(view.selectionStart(), qint64(1));
        QCOMPARE(view.selectionEnd(), qint64(19));
    }

    // 100 MB: painting draws the rows in view and no more, at the top and
    // after a jump to the end.
    void largeBufferPaintsVisibleRows()
    {
        hexView_c view;
        view.resize(700, 300);
        view.setData(QByteArray(100 * 1024 * 1024, '\x5a'));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const int visible = view.viewport()->height() / view.fontMetrics().height() + 1;
        view.viewport()->repaint();
        QVERIFY(view.lastPaintedRows() > 0);
        QVERIFY(view.lastPaintedRows() <= visible);
        view.scrollToRow(view.rowCount());
        view.viewport()->repaint();
        QVERIFY(view.lastPaintedRows() <= visible);
        QCOMPARE(view.firstVisibleRow() + view.lastPaintedRows(), view.rowCount());
        QVERIFY(view.rowText(view.rowCount() - 1).startsWith("063FFFF0  5A"));
    }
};

QTEST_MAIN(tst_HexView)
#include "tst_hexview.moc"
