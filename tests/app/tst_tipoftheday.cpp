#include "tipOfTheDay.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QStringList s_tips{"<h1>Tip 1</h1><p>Body</p>", "<h1>Tip 2</h1><p>Body</p>",
                         "<h1>Tip 3</h1><p>Body</p>"};

} // namespace

class tst_TipOfTheDay : public QObject
{
    Q_OBJECT
private slots:
    // clang-format off
    void paging_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("clicks"); // P = previous, N = next
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one tip, next stays") << 1 << "N" << "Tip of the day (1/1)" << "Tip 1";
        QTest::newRow("next") << 3 << "N" << "Tip of the day (2/3)" << "Tip 2";
        QTest::newRow("next on the last wraps to the first") << 3 << "NNN" << "Tip of the day (1/3)" << "Tip 1";
        QTest::newRow("previous on the first wraps to the last") << 3 << "P" << "Tip of the day (3/3)" << "Tip 3";
        QTest::newRow("no tips") << 0 << "NP" << "Tip of the day" << "No content set";
    }
    // clang-format on
    void paging()
    {
        QFETCH(int, count);
        QFETCH(QString, clicks);
        QFETCH(QString, title);
        QFETCH(QString, shown);
        tipOfTheDay_c tip;
        tip.set(s_tips.mid(0, count));
        for (const QChar click : clicks)
            tip.findChild<QPushButton*>(click == 'P' ? "previous" : "next")->click();
        QCOMPARE(tip.windowTitle(), title);
        const QString text = tip.findChild<QTextBrowser*>("view")->toPlainText();
        QVERIFY2(text.contains(shown), qPrintable(text));
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("visible");
        QTest::newRow("Escape hides") << int(Qt::Key_Escape) << false;
        QTest::newRow("Return hides") << int(Qt::Key_Return) << false;
        QTest::newRow("a letter does not") << int(Qt::Key_A) << true;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(bool, visible);
        tipOfTheDay_c tip;
        tip.set(s_tips);
        tip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tip));
        QTest::keyClick(&tip, Qt::Key(key));
        QCOMPARE(tip.isVisible(), visible);
    }
};

QTEST_MAIN(tst_TipOfTheDay)
#include "tst_tipoftheday.moc"
