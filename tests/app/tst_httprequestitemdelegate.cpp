#include "httpRequestItemDelegate.h"

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QtTest>

using piece_t = httpRequestItemDelegate_c::piece_t;

class tst_HttpRequestItemDelegate : public QObject
{
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void paint();

private:
    static QChar letterOf(const QColor& p_colour);
};

// g gray, b blue, r red, ? anything else
QChar tst_HttpRequestItemDelegate::letterOf(const QColor& p_colour)
{
    if (p_colour == QColor(Qt::gray)) {
        return 'g';
    }
    if (p_colour == QColor(Qt::blue)) {
        return 'b';
    }
    return p_colour == QColor(Qt::red) ? 'r' : '?';
}

// clang-format off
void tst_HttpRequestItemDelegate::split_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("colours");

    QTest::newRow("two parameters") << "GET /a?b=1&c=2" << QStringList{"GET /a?", "b", "=", "1", "&", "c", "=", "2"}
                                    << "gbgrgbgr";
    QTest::newRow("no query") << "GET /a" << QStringList() << "";
    QTest::newRow("question mark only at the start") << "?b=1" << QStringList() << "";
    QTest::newRow("empty name") << "POST /x?=v" << QStringList{"POST /x?=", "v"} << "gr";
    QTest::newRow("every further part is a value")
        << "GET /a?k=v=w" << QStringList{"GET /a?", "k", "=", "v", "=", "w"} << "gbgrgr";
    QTest::newRow("empty parameters keep their separators")
        << "GET /a?x&&y=" << QStringList{"GET /a?", "x", "&&", "y", "="} << "gbgbg";
    QTest::newRow("later question marks belong to the value")
        << "GET /a?b=1?c" << QStringList{"GET /a?", "b", "=", "1?c"} << "gbgr";
}
// clang-format on

void tst_HttpRequestItemDelegate::split()
{
    QFETCH(QString, request);
    QFETCH(QStringList, texts);
    QFETCH(QString, colours);

    QStringList gotTexts;
    QString gotColours;
    for (const piece_t& piece : httpRequestItemDelegate_c::split(request)) {
        gotTexts << piece.text;
        gotColours += letterOf(piece.colour);
    }
    QCOMPARE(gotTexts, texts);
    QCOMPARE(gotColours, colours);
}

// Renders one cell without antialiasing, so every text pixel has exactly its
// piece's colour, and reads the colours column by column.
void tst_HttpRequestItemDelegate::paint()
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
            const QColor pixel = image.pixelColor(x, y);
            if (pixel != QColor(Qt::white)) {
                column.insert(letterOf(pixel));
            }
        }
        QVERIFY2(!column.contains('?'), qPrintable(QStringLiteral("unexpected colour in column %1").arg(x)));
        // A column shared by two neighbouring glyphs tells nothing about order.
        if (column.size() == 1 && !runs.endsWith(*column.begin())) {
            runs += *column.begin();
        }
    }
    QCOMPARE(runs, QStringLiteral("gbgrgbgr"));
}

QTEST_MAIN(tst_HttpRequestItemDelegate)
#include "tst_httprequestitemdelegate.moc"
