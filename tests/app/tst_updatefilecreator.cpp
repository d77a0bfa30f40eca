#include "LoopbackClient.h"
#include "RootRequestMapper.h"
#include "TempFolder.h"
#include "TestServer.h"
#include "iffFileBuilders.h"
#include "mainWindow.h"
#include "planningTable.h"
#include "serverContext.h"
#include "treeDump.h"
#include "updateFileCreator.h"

#include <QCheckBox>
#include <QProcess>
#include <QtTest>

#include <cstdlib>

using namespace qxIff_n;

// The "Create IFF File" dialog: its warnings, the name rule, the pending
// list, description files and bootloaders, files identical to qxtool's, and
// a file offered in the download area served by a running server.
class tst_UpdateFileCreator : public QObject
{
    Q_OBJECT
private:
    TempFolder m_dir;
    serverContext_c m_context;
    QStringList m_messages;

    QString write(const QString& p_strName, const QByteArray& p_arrBytes) { return m_dir.write(p_strName, p_arrBytes); }
    static QByteArray read(const QString& p_strPath) { return TempFolder::read(p_strPath); }

    void prepare(updateFileCreator_c& p_creator, const QString& p_strSaveName)
    {
        m_messages.clear();
        p_creator.setMessenger([this](QMessageBox::Icon, const QString& p_strTitle, const QString& p_strText) {
            m_messages << p_strTitle + "|" + p_strText;
        });
        p_creator.setSaveAsker([p_strSaveName](const QString&, const QString&) { return p_strSaveName; });
        p_creator.setCreatorTexts(QStringLiteral("tester"), QStringLiteral("9.9"));
    }

    static bool add(updateFileCreator_c& p_creator, quint16 p_nId, const QVariantMap& p_fields)
    {
        p_creator.selectContent(p_nId);
        for (auto it = p_fields.cbegin(); it != p_fields.cend(); ++it) {
            if (!p_creator.setField(p_nId, it.key(), it.value().toString()))
                return false;
        }
        QSignalSpy added(&p_creator, &updateFileCreator_c::chunkAdded);
        p_creator.slotAddChunk();
        return added.wait(30000) && added.first().first().toBool();
    }

    static QString build(updateFileCreator_c& p_creator)
    {
        QSignalSpy built(&p_creator, &updateFileCreator_c::fileBuilt);
        p_creator.slotBuildIffFile();
        if (built.isEmpty() && !built.wait(30000))
            return QStringLiteral("<timeout>");
        return built.first().first().toString();
    }

private slots:
    void initTestCase()
    {
        m_context.settings().modify([this](appSettings_c::values_t& p_v) { p_v.dlDir = m_dir.path(QString()); });
    }

    // The name asked for gets ".iff" unless it ends so in any case. What the
    // dialog refuses comes with its warnings: nothing is written, the pending
    // list stays as it was (a bootloader that fails adds nothing, so building
    // then warns of an empty file).
    void savedOrRefused_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<int>("content");          // the page added, 0 for none
        QTest::addColumn<QString>("saved");        // empty: nothing saved
        QTest::addColumn<QStringList>("messages"); // %1: the path asked for
        QTest::addColumn<int>("pending");          // after a refusal
        const int setup = fileTypeSetup;
        const QString empty = "Please add Chunks first|Building an empty IFF file does not seem reasonable. Please "
                              "use \"Add Chunk\" to add some data first";
        QTest::newRow("no extension") << "plain" << setup << "plain.iff" << QStringList() << 0;
        QTest::newRow("other extension") << "plain.bin" << setup << "plain.bin.iff" << QStringList() << 0;
        QTest::newRow("mixed case kept") << "mixed.Iff" << setup << "mixed.Iff" << QStringList() << 0;
        QTest::newRow("empty") << "empty.iff" << 0 << "" << QStringList(empty) << 0;
        QTest::newRow("folder missing") << "no/such/dir/x.iff" << setup << ""
                                        << QStringList("File creation failed|Creating the file\n%1\nfailed.") << 2;
        QTest::newRow("bootloader image address not hex") << "boot.iff" << int(fileTypeBootloader) << ""
            << QStringList{"Bootloader|Error creating bootloader iff\n\n* File should end with \"_<addr>.bin\". "
                           "<addr> ('0000100G') is not hexadecimal offset.\n", empty} << 0;
    }

    void savedOrRefused()
    {
        QFETCH(QString, asked);
        QFETCH(int, content);
        QFETCH(QString, saved);
        QFETCH(QStringList, messages);
        QFETCH(int, pending);
        updateFileCreator_c creator(m_context.settings());
        const QString path = m_dir.path(asked);
        prepare(creator, path);
        if (content == fileTypeSetup)
            QVERIFY(add(creator, fileTypeSetup, {{"setupFile", write("setup.txt", "a=1\n")}}));
        if (content == fileTypeBootloader)
            QVERIFY(!add(creator, fileTypeBootloader, {{"bootloaderVersion", "1"}, {"hclFile", write("hcl.txt", "1\t10\tA\n")},
                                                       {"fw1", write("fw_0000100G.bin", "\x01\x02")}}));
        QCOMPARE(build(creator), saved.isEmpty() ? QString() : m_dir.path(saved));
        QCOMPARE(QFile::exists(m_dir.path(saved.isEmpty() ? asked : saved)), !saved.isEmpty());
        for (QString& message : messages)
            message = message.arg(path);
        QCOMPARE(m_messages, messages);
        if (saved.isEmpty())
            QCOMPARE(creator.pendingForms(), pending);
    }

    // The same page added twice: a row each, the second with the field as
    // changed in between (their order in the file: identicalToQxtool()).
    void samePageTwice()
    {
        updateFileCreator_c creator(m_context.settings());
        prepare(creator, m_dir.path(QStringLiteral("twice")));
        const QString local = write("local.bin", "0123456789");
        QVERIFY(add(creator, fileTypeUnspecified, {{"localFile", local}, {"deviceFilename", "dev.bin"}}));
        creator.setField(fileTypeUnspecified, "deviceFilename", "second.bin");
        QVERIFY(add(creator, fileTypeUnspecified, {}));
        QCOMPARE(treeDump(creator.pendingTree()),
                 QStringList({"0xC700|58 Byte|File upload \"" + local + "\" -> \"dev.bin\"",
                              "0xC700|60 Byte|File upload \"" + local + "\" -> \"second.bin\""}));
        creator.slotClear();
        QCOMPARE(creator.pendingTree()->topLevelItemCount(), 0);
        QCOMPARE(creator.pendingForms(), 0);
    }

    void descriptionFile()
    {
        updateFileCreator_c creator(m_context.settings());
        prepare(creator, QString());
        const QString desc = write("boot.desc", "VERSION: BL 2.1 \nHCL: hcl.txt\nBIN-BL: bl_00001000.bin\n"
                                                "COLOUR: blue\nBIN-UL: ul_00002000.bin\n");
        creator.setOpenAsker([desc](const QString&, const QString&, const QString&) { return desc; });
        creator.slotBootloaderDescriptionFile();
        QCOMPARE(creator.field(fileTypeBootloader, "bootloaderVersion"), "BL 2.1");
        QCOMPARE(creator.field(fileTypeBootloader, "hclFile"), m_dir.path("hcl.txt"));
        QCOMPARE(creator.field(fileTypeBootloader, "fw1"), m_dir.path("bl_00001000.bin"));
        QCOMPARE(creator.field(fileTypeBootloader, "fw2"), QString());
        QCOMPARE(m_messages, QStringList("Verarbeitungsfehler|Aus Datei " + desc +
                                         " konnten folgende Zeilen nicht verarbeitet werden:\n\nCOLOUR: blue\n"
                                         "BIN-UL: " + m_dir.path("ul_00002000.bin")));

        m_messages.clear();
        const QString missing = m_dir.path("missing.desc");
        creator.setOpenAsker([missing](const QString&, const QString&, const QString&) { return missing; });
        creator.slotBootloaderDescriptionFile();
        QCOMPARE(m_messages, QStringList("Dateifehler|Kann Datei " + missing + " nicht öffnen."));
    }

    // The same inputs, seed and creator texts: the dialog's file and
    // qxtool's are the same bytes, encrypted blocks included.
    void identicalToQxtool_data()
    {
        QTest::addColumn<QList<QVariantList>>("items"); // id, fields, qxtool item words

        const QString local = write("id-local.bin", "local file bytes");
        const QString image = write("id-sig.png", QByteArray(300, '\x11'));
        const QString firmware = write("id-fw.bin", QByteArray(5000, '\x42'));
        const QString finger = write("id-finger.bin", QByteArray(161, '\x07'));
        const QString hcl = write("id-hcl.txt", "102026\t13\tG\n");
        const QString boot = write("id-bl_00001000.bin", QByteArray(64, '\x33'));
        using map_t = QVariantMap;
        QTest::newRow("image") << QList<QVariantList>{
            {fileTypePicture, map_t{{"imageFile", image}}, QStringList{"image", image}}};
        QTest::newRow("fingerprint") << QList<QVariantList>{
            {fileTypeFingerprintTemplate,
             map_t{{"fingerprintFile", finger}, {"templateFormat", "2"}, {"personalId", "4711"},
                   {"groupId", "3"}, {"fingerId", "9"}},
             QStringList{"fingerprint", finger, "2", "4711", "3", "9"}}};
        QTest::newRow("bootloader") << QList<QVariantList>{
            {fileTypeBootloader, map_t{{"bootloaderVersion", "BL 1"}, {"hclFile", hcl}, {"fw1", boot}},
             QStringList{"bootloader", "BL 1", hcl, boot}}};
        QTest::newRow("one page twice, then encrypted firmware") << QList<QVariantList>{
            {fileTypeUnspecified, map_t{{"localFile", local}, {"deviceFilename", "a"}}, QStringList{"file", local, "a"}},
            {fileTypeUnspecified, map_t{{"localFile", local}, {"deviceFilename", "b"}}, QStringList{"file", local, "b"}},
            {fileTypeFirmware, map_t{{"firmwareFile", firmware}}, QStringList{"firmware", firmware}}};
    }

    void identicalToQxtool()
    {
        QFETCH(QList<QVariantList>, items);
        QStringList arguments{"iff", "build", "-o", m_dir.path("tool.iff"), "--seed", "77", "--creator",
                              "tester", "--creator-version", "9.9"};
        updateFileCreator_c creator(m_context.settings());
        prepare(creator, m_dir.path("dialog.iff"));
        std::srand(77);
        for (int i = 0; i < items.size(); ++i) {
            QVERIFY(add(creator, quint16(items.at(i).at(0).toInt()), items.at(i).at(1).toMap()));
            if (i > 0)
                arguments << "--and";
            arguments << items.at(i).at(2).toStringList();
        }
        QCOMPARE(build(creator), m_dir.path("dialog.iff"));

        QProcess tool;
        tool.start(QStringLiteral(QXTOOL_PATH), arguments);
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(read(m_dir.path("dialog.iff")), read(m_dir.path("tool.iff")));
    }

    // Through the window: the saved file becomes an active "qx_load_file"
    // row, and a device fetches it from the download area.
    void addedToDownloadsIsServed()
    {
        RootRequestMapper::registerMetaTypes();
        RootRequestMapper mapper(m_context, "HTTP Listener");
        TestServer server;
        QVERIFY(server.start(&mapper));
        m_context.settings().modify([](appSettings_c::values_t& p_v) { p_v.activateUploadRetention = 0; });
        mainWindow_c window(m_context.settings());
        window.slotCreateIffFile();
        updateFileCreator_c* creator = window.iffCreator();
        QVERIFY(creator);
        prepare(*creator, m_dir.path(QStringLiteral("served")));
        QVERIFY(add(*creator, fileTypeSetup, {{"setupFile", write("setup.txt", "a=1\n")}}));
        creator->addToDownloads()->setChecked(true);
        QCOMPARE(build(*creator), m_dir.path("served.iff"));

        const QList<QStringList> rows = window.planningRows();
        QCOMPARE(rows.value(rows.size() - 1).mid(0, 3), QStringList({"X", "qx_load_file", "/download-area/served.iff"}));

        HttpReply reply;
        QVERIFY(LoopbackClient::exchange(server.port(),
                                         "GET /download-area/served.iff HTTP/1.1\r\nHost: dev\r\n\r\n", &reply));
        QCOMPARE(reply.statusCode, 200);
        QCOMPARE(reply.body, read(m_dir.path("served.iff")));
        creator->close();
    }
};

QTEST_MAIN(tst_UpdateFileCreator)
#include "tst_updatefilecreator.moc"
