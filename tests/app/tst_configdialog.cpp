#include "configDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using values_t = appSettings_c::values_t;
using browseMode_t = configDialog_c::browseMode_t;
Q_DECLARE_METATYPE(browseMode_t)

namespace {

// Every setting away from its default, planning rows included.
values_t unusualValues()
{
    values_t v;
    v.dlDir = "/dl";
    v.upDir = "/up";
    v.level0BasePath = "/l0";
    v.level1BasePath = "/l1";
    v.iffBasePath = "/iff";
    v.firmwareFile = "fw.qxz";
    v.delayRequestsBy = 500;
    v.responseAckMethod = 2;
    v.requestViewActivateLimit = 1;
    v.requestViewCount = 3;
    v.activateUploadRetention = 0;
    v.uploadRetentionPeriod = 30;
    v.commKey = QStringLiteral("k\u00e4y");
    v.autoscroll = 1;
    v.immediateClose = 1;
    v.baActive = 1;
    v.baRealm = "realm";
    v.baUser = "user";
    v.baPassword = "pass";
    v.totd = 0;
    v.saveIncomingReq = 1;
    v.saveIncomingReqFilename = "req-%Y.txt";
    v.saveDeviceDtColumn = "dt;time";
    v.cmdTable = {{"X", "qx_beep", "3"}};
    return v;
}

void type(configDialog_c& p_dialog, const QString& p_strField, const QString& p_strText)
{
    auto* edit = p_dialog.findChild<QLineEdit*>(p_strField);
    QVERIFY2(edit, qPrintable(p_strField));
    edit->setText(p_strText);
}

} // namespace

class tst_ConfigDialog : public QObject
{
    Q_OBJECT
private slots:
    void okStoresEveryField();
    void numbers_data();
    void numbers();
    void unknownResponseMode();
    void cancelChangesNothing();
    void browse_data();
    void browse();
};

// The settings are reset behind the open dialog, so every value must come
// from its field: a field that is not filled or not stored shows up.
void tst_ConfigDialog::okStoresEveryField()
{
    appSettings_c settings;
    settings.setValues(unusualValues());
    configDialog_c dialog(nullptr, settings);
    settings.resetToDefaults();
    dialog.findChild<QPushButton*>("ok")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    values_t expected = unusualValues();
    expected.cmdTable.clear();
    QVERIFY(settings.values() == expected);
}

// clang-format off
void tst_ConfigDialog::numbers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");

    QTest::newRow("delay 0") << "delayRequestsBy" << "0" << 1;
    QTest::newRow("delay abc") << "delayRequestsBy" << "abc" << 1;
    QTest::newRow("delay negative") << "delayRequestsBy" << "-20" << 1;
    QTest::newRow("delay 60000") << "delayRequestsBy" << "60000" << 60000;
    QTest::newRow("delay 70000") << "delayRequestsBy" << "70000" << 60000;
    QTest::newRow("delay beyond int") << "delayRequestsBy" << "99999999999" << 1;
    QTest::newRow("view count abc") << "requestViewCount" << "abc" << 0;
    QTest::newRow("retention 1.5 days") << "uploadRetentionPeriod" << "1.5" << 0;
}
// clang-format on

void tst_ConfigDialog::numbers()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, stored);

    appSettings_c settings;
    configDialog_c dialog(nullptr, settings);
    type(dialog, field, text);
    dialog.findChild<QPushButton*>("ok")->click();
    const values_t values = settings.values();
    const QHash<QString, int> numbers{{"delayRequestsBy", values.delayRequestsBy},
                                      {"requestViewCount", values.requestViewCount},
                                      {"uploadRetentionPeriod", values.uploadRetentionPeriod}};
    QCOMPARE(numbers.value(field), stored);
}

// A mode outside the list acts as "Don't send acknowledge" and is shown and
// stored as that one.
void tst_ConfigDialog::unknownResponseMode()
{
    appSettings_c settings;
    settings.modify([](values_t& v) { v.responseAckMethod = 5; });
    configDialog_c dialog(nullptr, settings);
    QCOMPARE(dialog.findChild<QComboBox*>("responseAckMethod")->currentText(),
             QStringLiteral("Don't send acknowledge"));
    dialog.findChild<QPushButton*>("ok")->click();
    QCOMPARE(settings.values().responseAckMethod, 1);
}

void tst_ConfigDialog::cancelChangesNothing()
{
    appSettings_c settings;
    settings.setValues(unusualValues());
    configDialog_c dialog(nullptr, settings);
    type(dialog, "dlDir", "/other");
    type(dialog, "delayRequestsBy", "7");
    dialog.findChild<QCheckBox*>("baActive")->setChecked(false);
    dialog.findChild<QComboBox*>("responseAckMethod")->setCurrentIndex(0);
    dialog.findChild<QPushButton*>("cancel")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(settings.values() == unusualValues());
}

// clang-format off
void tst_ConfigDialog::browse_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<browseMode_t>("mode");
    QTest::addColumn<QString>("chosen"); // empty: the operator cancels

    QTest::newRow("download directory") << "dlDir" << browseMode_t::directory << "/new/dl";
    QTest::newRow("upload directory") << "upDir" << browseMode_t::directory << "/new/up";
    QTest::newRow("firmware file") << "firmwareFile" << browseMode_t::openFile << "/new/fw.qxz";
    QTest::newRow("firmware file cancelled") << "firmwareFile" << browseMode_t::openFile << "";
    QTest::newRow("request file") << "saveIncomingReqFilename" << browseMode_t::saveFile << "/new/req.txt";
}
// clang-format on

// The chooser starts at the field's text; a choice replaces it, a cancel
// keeps it, and nothing is stored before "Ok".
void tst_ConfigDialog::browse()
{
    QFETCH(QString, field);
    QFETCH(browseMode_t, mode);
    QFETCH(QString, chosen);

    appSettings_c settings;
    configDialog_c dialog(nullptr, settings);
    auto* edit = dialog.findChild<QLineEdit*>(field);
    edit->setText("/old");
    QList<configDialog_c::browse_t> asked;
    dialog.setChooser([&](const configDialog_c::browse_t& p_request) {
        asked << p_request;
        return chosen;
    });
    dialog.findChild<QToolButton*>(field + "Browse")->click();

    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().mode, mode);
    QCOMPARE(asked.first().startPath, QStringLiteral("/old"));
    QCOMPARE(edit->text(), chosen.isEmpty() ? QStringLiteral("/old") : chosen);
    QVERIFY(settings.values() == values_t());
}

QTEST_MAIN(tst_ConfigDialog)
#include "tst_configdialog.moc"
