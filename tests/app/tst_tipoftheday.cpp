#include "startupTips.h"
#include "tipOfTheDay.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

#include <cstdlib>

class tst_TipOfTheDay : public QObject
{
    Q_OBJECT
private slots:
    void paging_data();
    void paging();
    void keys_data();
    void keys();
    void randomTipCoversEveryTip();
    void startupTipsLinkToExistingDocuments();

private:
    static QStringList numberedTips(int p_nCount);
};

QStringList tst_TipOfTheDay::numberedTips(int p_nCount)
{
    QStringList tips;
    for (int n = 1; n <= p_nCount; ++n) {
        tips << QStringLiteral("<h1>Tip %1</h1><p>Body</p>").arg(n);
    }
    return tips;
}

// clang-format off
void tst_TipOfTheDay::paging_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("clicks"); // P = previous, N = next
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shown");

    QTest::newRow("one tip") << 1 << "" << "Tip of the day (1/1)" << "Tip 1";
    QTest::newRow("one tip, next stays") << 1 << "N" << "Tip of the day (1/1)" << "Tip 1";
    QTest::newRow("one tip, previous stays") << 1 << "P" << "Tip of the day (1/1)" << "Tip 1";
    QTest::newRow("next") << 3 << "N" << "Tip of the day (2/3)" << "Tip 2";
    QTest::newRow("next on the last wraps to the first") << 3 << "NNN" << "Tip of the day (1/3)" << "Tip 1";
    QTest::newRow("previous on the first wraps to the last") << 3 << "P" << "Tip of the day (3/3)" << "Tip 3";
    QTest::newRow("no tips") << 0 << "NP" << "Tip of the day" << "No content set";
}
// clang-format on

void tst_TipOfTheDay::paging()
{
    QFETCH(int, count);
    QFETCH(QString, clicks);
    QFETCH(QString, title);
    QFETCH(QString, shown);

    tipOfTheDay_c tip;
    tip.set(numberedTips(count));
    for (const QChar click : clicks) {
        auto* button = tip.findChild<QPushButton*>(click == 'P' ? "previous" : "next");
        QVERIFY(button);
        button->click();
    }
    QCOMPARE(tip.windowTitle(), title);
    QVERIFY2(tip.findChild<QTextBrowser*>("view")->toPlainText().contains(shown),
             qPrintable(tip.findChild<QTextBrowser*>("view")->toPlainText()));
}

// clang-format off
void tst_TipOfTheDay::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("visible");

    QTest::newRow("Escape hides") << int(Qt::Key_Escape) << false;
    QTest::newRow("Return hides") << int(Qt::Key_Return) << false;
    QTest::newRow("a letter does not") << int(Qt::Key_A) << true;
}
// clang-format on

void tst_TipOfTheDay::keys()
{
    QFETCH(int, key);
    QFETCH(bool, visible);

    tipOfTheDay_c tip;
    tip.set(numberedTips(2));
    tip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tip));
    QTest::keyClick(&tip, Qt::Key(key));
    QCOMPARE(tip.isVisible(), visible);
}

void tst_TipOfTheDay::randomTipCoversEveryTip()
{
    tipOfTheDay_c tip;
    tip.showRandomTip();
    QCOMPARE(tip.windowTitle(), QStringLiteral("Tip of the day"));

    tip.set(numberedTips(3));
    std::srand(1);
    QSet<QString> seen;
    for (int n = 0; n < 100; ++n) {
        tip.showRandomTip();
        seen.insert(tip.windowTitle());
    }
    QCOMPARE(seen, (QSet<QString>{"Tip of the day (1/3)", "Tip of the day (2/3)", "Tip of the day (3/3)"}));
}

// Every link of the tips names a file of the documentation folder, and the
// sections they point at exist there.
void tst_TipOfTheDay::startupTipsLinkToExistingDocuments()
{
    const QStringList tips = startupTips();
    QCOMPARE(tips.size(), 6);
    const QDir project(QStringLiteral(QX_SOURCE_DIR));
    const QRegularExpression link(QStringLiteral("href=\"([^\"#]+)(?:#([^\"]+))?\""));
    int links = 0;
    for (const QString& tip : tips) {
        QVERIFY(tip.startsWith(QLatin1String("<h1>")));
        for (auto match = link.globalMatch(tip); match.hasNext(); ++links) {
            const QRegularExpressionMatch found = match.next();
            const QString file = tipOfTheDay_c::documentFile(QUrl(found.captured(1)), {project.path()});
            QVERIFY2(!file.isEmpty(), qPrintable(found.captured(1)));
            if (found.capturedLength(2) > 0) {
                QFile document(file);
                QVERIFY(document.open(QIODevice::ReadOnly));
                const QByteArray anchor = "<a name=\"" + found.captured(2).toUtf8() + "\"></a>";
                QVERIFY2(document.readAll().contains(anchor), anchor.constData());
            }
        }
    }
    QVERIFY(links >= 4);
}

QTEST_MAIN(tst_TipOfTheDay)
#include "tst_tipoftheday.moc"
