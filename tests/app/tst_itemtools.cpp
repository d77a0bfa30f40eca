#include "lineEdit.h"
#include "stringListItemDelegate.h"
#include "textOrTooltipItemDelegate.h"

#include <QComboBox>
#include <QDialog>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QtTest>

using itemTools_n::stringListItemDelegate_c;
using itemTools_n::textOrTooltipItemDelegate_c;

namespace {

// A table of 3 x 3 cells "r<row>c<column>" in a dialog, beside a line edit
// that can take the focus away from an editor.
struct tableWindow_t
{
    tableWindow_t(QAbstractItemDelegate* p_pDelegate)
    {
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int column = 0; column < model.columnCount(); ++column) {
                model.setData(model.index(row, column), QStringLiteral("r%1c%2").arg(row).arg(column));
            }
        }
        view->setModel(&model);
        view->setItemDelegate(p_pDelegate);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(view);
        layout->addWidget(other);
        dialog.show();
    }

    template <typename T> T* openEditor(int p_nRow, int p_nColumn)
    {
        const QModelIndex cell = model.index(p_nRow, p_nColumn);
        view->setCurrentIndex(cell);
        view->edit(cell);
        return view->findChild<T*>();
    }

    QStandardItemModel model{3, 3};
    QDialog dialog;
    QTableView* view = new QTableView;
    QLineEdit* other = new QLineEdit;
};

} // namespace

class tst_ItemTools : public QObject
{
    Q_OBJECT
private slots:
    void backgroundColour_data();
    void backgroundColour();
    void textEditing_data();
    void textEditing();
    void listEditing_data();
    void listEditing();
};

// clang-format off
void tst_ItemTools::backgroundColour_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QVariant>("background");
    QTest::addColumn<QColor>("expected");

    const QColor base(Qt::cyan);
    const QColor yellow(255, 255, 192);
    const QColor red(255, 224, 224);
    const QVariant white(QStringLiteral("white"));

    QTest::newRow("colour name") << "plain" << "Message" << white << QColor(Qt::white);
    QTest::newRow("brush") << "plain" << "" << QVariant(QBrush(Qt::gray)) << QColor(Qt::gray);
    QTest::newRow("no colour named") << "plain" << "" << QVariant(QStringLiteral("nonsense")) << base;
    QTest::newRow("equals sign") << "a=b" << "Message" << white << yellow;
    QTest::newRow("comma") << "a,b" << "Message" << white << yellow;
    QTest::newRow("escaped separators") << "a%3db%26c%2c" << "Message" << white << QColor(Qt::white);
    QTest::newRow("download path") << "/download-area/x.iff" << "Server-Path DL" << white << QColor(Qt::white);
    QTest::newRow("download path outside the area") << "/upload-area/x" << "Server-Path DL" << white << red;
    QTest::newRow("empty download path") << "" << "Server-Path DL" << white << red;
    QTest::newRow("download path with comma") << "/download-area/a,b" << "Server-Path DL" << white << yellow;
    QTest::newRow("misplaced path wins over separators") << "x=1" << "Server-Path DL" << white << red;
    QTest::newRow("upload path") << "/upload-area/x" << "Server-Path UL" << white << QColor(Qt::white);
    QTest::newRow("upload path outside the area") << "/download-area/x" << "Server-Path UL" << white << red;
}
// clang-format on

void tst_ItemTools::backgroundColour()
{
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QVariant, background);
    QFETCH(QColor, expected);

    QCOMPARE(textOrTooltipItemDelegate_c::backgroundColour(text, toolTip, background, QColor(Qt::cyan)),
             expected);
}

// clang-format off
void tst_ItemTools::textEditing_data()
{
    QTest::addColumn<QString>("finish");        // how the editing ends
    QTest::addColumn<bool>("removeRowAbove");   // while the editor is open
    QTest::addColumn<QVariantList>("reported"); // row, column, text; empty for no report

    const QString typed = QStringLiteral(" new ");
    QTest::newRow("Return reports") << "return" << false << QVariantList{1, 2, typed};
    QTest::newRow("leaving reports") << "focus" << false << QVariantList{1, 2, typed};
    QTest::newRow("Escape cancels") << "escape" << false << QVariantList();
    QTest::newRow("report follows the row up") << "return" << true << QVariantList{0, 2, typed};
}
// clang-format on

void tst_ItemTools::textEditing()
{
    QFETCH(QString, finish);
    QFETCH(bool, removeRowAbove);
    QFETCH(QVariantList, reported);

    textOrTooltipItemDelegate_c delegate;
    tableWindow_t window(&delegate);
    QVERIFY(QTest::qWaitForWindowActive(&window.dialog));
    QPointer<widgets_n::lineEdit_c> editor = window.openEditor<widgets_n::lineEdit_c>(1, 2);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("r1c2"));
    QTRY_VERIFY(editor->hasFocus());

    QSignalSpy spy(&delegate, &textOrTooltipItemDelegate_c::itemChanged);
    editor->clear();
    QTest::keyClicks(editor, QStringLiteral(" new "));
    if (removeRowAbove) {
        window.model.removeRow(0);
    }
    if (finish == QLatin1String("focus")) {
        window.other->setFocus();
    } else {
        QTest::keyClick(editor, finish == QLatin1String("return") ? Qt::Key_Return : Qt::Key_Escape);
    }

    QTRY_VERIFY(editor.isNull());
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), reported.isEmpty() ? 0 : 1);
    if (!reported.isEmpty()) {
        QCOMPARE(spy.first(), reported);
    }
    // The owner of the table applies the text, the delegate does not.
    QCOMPARE(window.model.index(removeRowAbove ? 0 : 1, 2).data().toString(), QStringLiteral("r1c2"));
    QVERIFY(window.dialog.isVisible());
}

// clang-format off
void tst_ItemTools::listEditing_data()
{
    QTest::addColumn<QString>("cellText");
    QTest::addColumn<int>("preselected");

    QTest::newRow("text in the list") << "b" << 1;
    QTest::newRow("text not in the list") << "zzz" << -1;
}
// clang-format on

void tst_ItemTools::listEditing()
{
    QFETCH(QString, cellText);
    QFETCH(int, preselected);

    stringListItemDelegate_c delegate({"---", "b", "c"});
    tableWindow_t window(&delegate);
    window.model.setData(window.model.index(2, 1), cellText);
    QSignalSpy spy(&delegate, &stringListItemDelegate_c::itemChanged);

    QComboBox* editor = window.openEditor<QComboBox>(2, 1);
    QVERIFY(editor);
    QCOMPARE(editor->count(), 3);
    QCOMPARE(editor->currentIndex(), preselected);
    QCOMPARE(spy.count(), 0);

    editor->setCurrentIndex(2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first(), (QVariantList{2, 1, QStringLiteral("c")}));
    QCOMPARE(window.model.index(2, 1).data().toString(), cellText);
}

QTEST_MAIN(tst_ItemTools)
#include "tst_itemtools.moc"
