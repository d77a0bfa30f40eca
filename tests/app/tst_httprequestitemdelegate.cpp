#include "httpRequestItemDelegate.h"

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QtTest>

namespace {

// g gray, b blue, r red, ? anything else
QChar letterOf(const QColor& p_colour)
{
    const QHash<QRgb, QChar> letters{
        {QColor(Qt::gray).rgb(), 'g'}, {QColor(Qt::blue).rgb(), 'b'}, {QColor(Qt::red).rgb(), 'r'}};
    return letters.value(p_colour.rgb(), '?');
}

} // namespace

class tst_HttpRequestItemDelegate : public QObject
{
    Q_OBJECT
private slots:
    // clang-format off
    void split_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QStringList>("pieces"); // colour letter, then text
        QTest::newRow("two parameters")
            << "GET /a?b=1&c=2" << QStringList{"gGET /a?", "bb", "g=", "r1", "g&", "bc", "g=", "r2"};
        QTest::newRow("no query") << "GET /a" << QStringList();
        QTest::newRow("empty name") << "POST /x?=v" << QStringList{"gPOST /x?=", "rv"};
        QTest::newRow("every further part is a value")
            << "GET /a?k=v=w" << QStringList{"gGET /a?", "bk", "g=", "rv", "g=", "rw"};
        QTest::newRow("empty parameters keep their separators")
            << "GET /a?x&&y=" << QStringList{"gGET /a?", "bx", "g&&", "by", "g="};
        QTest::newRow("later question marks belong to the value")
            << "GET /a?b=1?c" << QStringList{"gGET /a?", "bb", "g=", "r1?c"};
    }
    // clang-format on
    void split()
    {
        QFETCH(QString, request);
        QFETCH(QStringList, pieces);
        QStringList got;
        for (const httpRequestItemDelegate_c::piece_t& piece : httpRequestItemDelegate_c::split(request))
            got << letterOf(piece.colour) + piece.text;
        QCOMPARE(got, pieces);
    }

    // Renders one cell without antialiasing, so every text pixel has exactly
    // its piece's colour, and reads the colours column by column.
    void paint()
    {
        QStandardItemModel model(1, 1);
        model.setData(model.index(0, 0), "GET /a?b=1&c=2", Qt::UserRole);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 600, 60);
        option.font.setPixelSize(32);
        option.font.setStyleStrategy(QFont::NoAntialias);
        option.state = QStyle::State_Enabled;
        QImage image(option.rect.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            httpRequestItemDelegate_c().paint(&painter, option, model.index(0, 0));
        }
        QString runs;
        for (int x = 0; x < image.width(); ++x) {
            QSet<QChar> column;
            for (int y = 0; y < image.height(); ++y) {
                if (image.pixelColor(x, y) != QColor(Qt::white))
                    column.insert(letterOf(image.pixelColor(x, y)));
            }
            QVERIFY2(!column.contains('?'),
                     qPrintable(QStringLiteral("unexpected colour in column %1").arg(x)));
            // A column shared by two neighbouring glyphs tells nothing about order.
            if (column.size() == 1 && !runs.endsWith(*column.begin()))
                runs += *column.begin();
        }
        QCOMPARE(runs, QStringLiteral("gbgrgbgr"));
    }
};

QTEST_MAIN(tst_HttpRequestItemDelegate)
#include "tst_httprequestitemdelegate.moc"
