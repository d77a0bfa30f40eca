#include "configDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

// Every field of the dialog as "name=value".
QStringList fields(const configDialog_c& p_dialog)
{
    QStringList fields;
    for (const QLineEdit* edit : p_dialog.findChildren<QLineEdit*>())
        fields << edit->objectName() + '=' + edit->text();
    for (const QCheckBox* box : p_dialog.findChildren<QCheckBox*>())
        fields << box->objectName() + '=' + QString::number(box->isChecked());
    for (const QComboBox* combo : p_dialog.findChildren<QComboBox*>())
        fields << combo->objectName() + '=' + QString::number(combo->currentIndex());
    return fields;
}

} // namespace

class tst_ConfigDialog : public QObject
{
    Q_OBJECT
private slots:
    void closing_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("Ok stores every field") << true;
        QTest::newRow("Cancel changes nothing") << false;
    }
    // Every field changed: a number of its own in each text field, each box
    // toggled, each list one entry on. After "Ok" the dialog opened again
    // shows them all.
    void closing()
    {
        QFETCH(bool, ok);
        appSettings_c settings;
        configDialog_c dialog(nullptr, settings);
        int number = 100;
        for (QLineEdit* edit : dialog.findChildren<QLineEdit*>())
            edit->setText(QString::number(++number));
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            box->toggle();
        for (QComboBox* combo : dialog.findChildren<QComboBox*>())
            combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
        dialog.findChild<QPushButton*>(ok ? "ok" : "cancel")->click();
        QCOMPARE(dialog.result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
        if (ok)
            QCOMPARE(fields(configDialog_c(nullptr, settings)), fields(dialog));
        else
            QVERIFY(settings.values() == appSettings_c::values_t());
    }

    // clang-format off
    void delayClamps_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("stored");
        QTest::newRow("0") << "0" << 1;
        QTest::newRow("abc") << "abc" << 1;
        QTest::newRow("60000") << "60000" << 60000;
        QTest::newRow("70000") << "70000" << 60000;
        QTest::newRow("beyond int") << "99999999999" << 1;
    }
    // clang-format on
    void delayClamps()
    {
        QFETCH(QString, text);
        QFETCH(int, stored);
        appSettings_c settings;
        configDialog_c dialog(nullptr, settings);
        dialog.findChild<QLineEdit*>("delayRequestsBy")->setText(text);
        dialog.findChild<QPushButton*>("ok")->click();
        QCOMPARE(settings.values().delayRequestsBy, stored);
    }
};

QTEST_MAIN(tst_ConfigDialog)
#include "tst_configdialog.moc"
