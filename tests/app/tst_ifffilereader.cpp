#include "TempFolder.h"
#include "dataViewer.h"
#include "hexView.h"
#include "iffBuilder.h"
#include "iffFileReader.h"

#include <QMenu>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

using namespace qxIff_n;

// The analyser over files built here: what each chunk row says, where a
// parser error shows, the title rules, and the data viewer's tab rule.
class tst_IffFileReader : public QObject
{
    Q_OBJECT
private:
    TempFolder m_dir;

    QString write(const QString& p_strName, const QByteArray& p_arrBytes) { return m_dir.write(p_strName, p_arrBytes); }

    // A QXIF file with one QXF0 form holding p_listChunks.
    static QByteArray fileWith(const QList<iffChunk_t>& p_listChunks)
    {
        iffForm_t content("QXF0");
        for (const iffChunk_t& chunk : p_listChunks)
            content.addChunk(chunk);
        QString name = QStringLiteral("test"), version = QStringLiteral("1");
        return buildIffFile({content}, name, version);
    }

    static QTreeWidgetItem* contentRow(iffFileReader_c& p_reader, int p_nChild)
    {
        QTreeWidgetItem* qxif = p_reader.tree()->topLevelItem(0);
        return qxif && qxif->child(0) ? qxif->child(0)->child(p_nChild) : nullptr;
    }

private slots:
    void chunkRows_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("info");

        QTest::newRow("QXFV of 27 bytes") << QByteArray("QXFV") << QByteArray(27, 'a') << "QXFV"
                                          << "Size mismatch. Expected 28 Bytes, got 27";
        QTest::newRow("COMP of 9 bytes") << QByteArray("COMP") << QByteArray::fromHex("000100018E8A0A01FF")
                                         << "COMP" << QString::fromUtf8("COMP Ver. 1 Falsche Länge! 000100018e8a0a01ff");
        QTest::newRow("COMP of 8 bytes, version 1")
            << QByteArray("COMP") << QByteArray::fromHex("0001") + makeCompEntry(102026, 10, 1) << "COMP"
            << "COMP Ver. 1 (102026 1.0 A)";
        QTest::newRow("FTYP of 2 bytes: CRC unreadable") << QByteArray("FTYP") << QByteArray::fromHex("C706")
                                                         << "FTYP" << "0xC706 / CRC 0xFFFF";
        QTest::newRow("FNAM up to 0x00") << QByteArray("FNAM") << QByteArray("pic.png\0junk", 12) << "FNAM"
                                         << "pic.png";
        QTest::newRow("DATE") << QByteArray("DATE") << QByteArray(32, 'x') << "DATE" << "<<encrypted data>>";
        QTest::newRow("unknown chunk") << QByteArray("ABCD") << QByteArray("x") << "? ABCD" << QString();
    }

    void chunkRows()
    {
        QFETCH(QByteArray, id);
        QFETCH(QByteArray, payload);
        QFETCH(QString, label);
        QFETCH(QString, info);
        iffFileReader_c reader;
        const QString path = write(QStringLiteral("chunk.iff"), fileWith({iffChunk_t(id, payload)}));
        QVERIFY(reader.openFile(path));
        QCOMPARE(reader.windowTitle(), path);
        QTreeWidgetItem* qxif = reader.tree()->topLevelItem(0);
        QCOMPARE(qxif->text(2), "FORM Quarnex Interface File");
        QCOMPARE(qxif->child(0)->text(2), "FORM File Content");
        QTreeWidgetItem* row = contentRow(reader, 0);
        QVERIFY(row);
        QCOMPARE(row->text(0), label);
        QCOMPARE(row->text(1), QString::number(payload.size()));
        QCOMPARE(row->text(2), info);
        QCOMPARE(row->data(0, Qt::UserRole).toByteArray(), payload);
        QVERIFY(row->isExpanded() || row->childCount() == 0);
        QVERIFY(qxif->isExpanded() && qxif->child(0)->isExpanded());
    }

    // The DATA row's computed CRC and the FTYP row's stored one sit under
    // the same role, so that the operator sees whether they agree.
    void crcsCompare()
    {
        iffFileReader_c reader;
        QString name = QStringLiteral("t"), version = QStringLiteral("1");
        const QByteArray file = buildIffFile(
            {makeContentForm(0xC700, "payload bytes", QByteArray(), "f.bin", QByteArray(), QByteArray())}, name,
            version);
        QVERIFY(reader.openFile(write(QStringLiteral("crc.iff"), file)));
        QTreeWidgetItem* content = reader.tree()->topLevelItem(0)->child(0);
        QHash<QString, QTreeWidgetItem*> rows;
        for (int i = 0; i < content->childCount(); ++i)
            rows.insert(content->child(i)->text(0), content->child(i));
        QVERIFY(rows.contains("DATA") && rows.contains("FTYP"));
        QVERIFY(rows["DATA"]->data(2, Qt::UserRole + 1).isValid());
        QCOMPARE(rows["DATA"]->data(2, Qt::UserRole + 1), rows["FTYP"]->data(2, Qt::UserRole + 1));
        QVERIFY(rows["DATA"]->text(2).startsWith("<<raw data>>, CRC 0x"));
    }

    // A chunk whose length runs past its form: the elements before it stay,
    // the error row names where it happened, the title says so.
    void parserErrorKeepsWhatParsed()
    {
        const QByteArray inner =
            serializeChunk(iffChunk_t("FNAM", "a.bin")) + QByteArray("DATA\x00\x00\x00\x64" "abcd", 12);
        const QByteArray file = serializeForm(iffForm_t("QXIF", serializeForm(iffForm_t("QXF0", inner))));
        const QString path = write(QStringLiteral("broken.iff"), file);
        iffFileReader_c reader;
        QVERIFY(!reader.openFile(path));
        QCOMPARE(reader.windowTitle(), "Parser error: " + path);
        QTreeWidgetItem* content = reader.tree()->topLevelItem(0)->child(0);
        QCOMPARE(content->text(0), "QXF0");
        QCOMPARE(content->child(0)->text(0), "FNAM");
        QTreeWidgetItem* error = content->child(content->childCount() - 1);
        QCOMPARE(error->text(0), QString());
        QVERIFY2(error->text(1).startsWith("Error Code "), qPrintable(error->text(1)));
        QVERIFY2(error->text(2).startsWith('"') && error->text(2).endsWith("\" at /FORM QXIF/FORM QXF0/DATA"),
                 qPrintable(error->text(2)));
    }

    void missingFile()
    {
        iffFileReader_c reader;
        const QString path = m_dir.path(QStringLiteral("absent.iff"));
        QVERIFY(!reader.openFile(path));
        QCOMPARE(reader.windowTitle(), "Failed to open file: " + path);
        QCOMPARE(reader.tree()->topLevelItemCount(), 0);
    }

    void selectionShowsPayload()
    {
        iffFileReader_c reader;
        QVERIFY(reader.openFile(write(QStringLiteral("sel.iff"), fileWith({iffChunk_t("FNAM", "name.txt")}))));
        reader.tree()->setCurrentItem(contentRow(reader, 0));
        QCOMPARE(reader.viewer()->data(), QByteArray("name.txt"));
        QCOMPARE(reader.viewer()->hexView()->data(), QByteArray("name.txt"));
    }

    void viewerTab_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("text");
        QTest::newRow("text with line ends") << QByteArray("line one\r\nline two\tend\n") << "Text"
                                             << "line one\r\nline two\tend\n";
        QTest::newRow("0x00 in the middle") << QByteArray("abc\0def", 7) << "Hex-Viewer" << "abc";
        QTest::newRow("control byte") << QByteArray("\x01" "abc") << "Hex-Viewer" << "\x01" "abc";
        QTest::newRow("byte above ASCII") << QByteArray("caf\xe9") << "Hex-Viewer" << QString::fromLatin1("caf\xe9");
        QTest::newRow("empty") << QByteArray() << "Text" << QString();
    }

    void viewerTab()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, tab);
        QFETCH(QString, text);
        dataViewer_c viewer;
        viewer.setData(QByteArray("\x02"));
        viewer.setData(bytes);
        QCOMPARE(viewer.tabs()->tabText(viewer.tabs()->currentIndex()), tab);
        // QPlainTextEdit keeps "\r\n" as one paragraph break.
        QCOMPARE(viewer.text(), QString(text).replace("\r\n", "\n"));
    }

    // "Save" from the viewer and from the analyser's menu writes the
    // payload; a file that cannot be created is reported by name.
    void save()
    {
        iffFileReader_c reader;
        QVERIFY(reader.openFile(write(QStringLiteral("save.iff"), fileWith({iffChunk_t("FNAM", "payload")}))));
        QString target = m_dir.path(QStringLiteral("out.bin"));
        QStringList warnings;
        reader.setSaveAsker([&target]() { return target; });
        reader.setWarner([&warnings](const QString& p_strTitle, const QString& p_strText) {
            warnings << p_strTitle + "|" + p_strText;
        });
        QScopedPointer<QMenu> menu(reader.createItemMenu(contentRow(reader, 0)));
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, QStringList({"Show Data", "Save"}));
        menu->actions().at(1)->trigger();
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("payload"));

        target = m_dir.path(QStringLiteral("no/such/dir/out.bin"));
        reader.tree()->setCurrentItem(contentRow(reader, 0));
        reader.viewer()->slotSave();
        QCOMPARE(warnings, QStringList("File creation error|Failed to create save file\n" + target + "."));
    }
};

QTEST_MAIN(tst_IffFileReader)
#include "tst_ifffilereader.moc"
