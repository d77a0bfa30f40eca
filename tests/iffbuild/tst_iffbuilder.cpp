#include "iffBootloader.h"
#include "iffBuilder.h"
#include "iffBytes.h"
#include "iffChunkMakers.h"
#include "iffFileBuilders.h"

#include "TempFolder.h"

#include <QtTest>
#include <functional>

using namespace qxIff_n;

namespace {

// Bytes as text: printable ASCII as it is, everything else as \xHH, so that
// UTF-8 and Windows-1252 texts are compared byte for byte.
QString bytesText(const QByteArray& p_arrBytes)
{
    QString text;
    for (char c : p_arrBytes) {
        const quint8 byte = quint8(c);
        text += (byte >= 0x20 && byte < 0x7F && c != '\\') ? QString(QLatin1Char(c))
                                                         : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

// One line per form and chunk: "FORM QXF0", "FNAM name", ...; DATA and
// DATE payloads as their size only.
QStringList describe(const QList<iffForm_t>& p_listForms)
{
    QStringList lines;
    for (const iffForm_t& form : p_listForms) {
        lines << QStringLiteral("FORM ") + QString::fromLatin1(form.type);
        for (const iffChunk_t& chunk : form.chunks) {
            const bool bulk = chunk.id == "DATA" || chunk.id == "DATE";
            lines << QString::fromLatin1(chunk.id) + QLatin1Char(' ') +
                         (bulk ? QStringLiteral("%1 bytes").arg(chunk.data.size()) : bytesText(chunk.data));
        }
    }
    return lines;
}

// The DESC form: the hierarchy names, then the descriptions, in German and
// in English; "|" ends it.
QString desc(const QString& p_strDe, const QString& p_strEn, const QString& p_strHtmlDe, const QString& p_strHtmlEn)
{
    return QStringLiteral("FORM DESC|HIER DE\\x00\\x00\\x00\\x00%1|HIER EN\\x00\\x00\\x00\\x00%2|HTML DE\\x00\\x00%3|"
                          "HTML EN\\x00\\x00%4|")
        .arg(p_strDe, p_strEn, p_strHtmlDe, p_strHtmlEn);
}

using builder_t = std::function<QList<iffForm_t>(const QString&)>;

} // namespace

Q_DECLARE_METATYPE(builder_t)

class tst_IffBuilder : public QObject
{
    Q_OBJECT

private:
    TempFolder m_dir;

private slots:
    // No application object: the built-in creator name and the time stamp;
    // a name and version given are written instead.
    void emptyFile()
    {
        QString name, version;
        const QByteArray file = buildIffFile({}, name, version);
        QCOMPARE(name, QStringLiteral("QXWebIffBuilder"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{8} \\d{6}$")).match(version).hasMatch());
        QCOMPARE(file, QByteArray("FORM\0\0\0\x28QXIFQXFV\0\0\0\x1cQXWebIffBuil", 32) + version.toLatin1() + '\0');
        QString given = QStringLiteral("Werkzeug-\u00dcberpr\u00fcfer"), givenVersion = QStringLiteral("2.1");
        QCOMPARE(buildIffFile({}, given, givenVersion).mid(20),
                 QByteArray("Werkzeug-\xc3\x9c" "b") + QByteArray("2.1").leftJustified(16, '\0'));
    }

    void fileTypeNames_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << 0xC700 << "Unspecified File";
        QTest::newRow("last") << 0xC716 << "Firmware Update (K&V Base Station)";
        QTest::newRow("0xC717 unnamed") << 0xC717 << "Unknown File Type Id 0xC717";
        QTest::newRow("small id, four digits") << 0x00AB << "Unknown File Type Id 0x00AB";
    }

    void fileTypeNames()
    {
        QFETCH(int, id);
        QFETCH(QString, name);
        QCOMPARE(fileTypeName(quint16(id)), name);
    }

    // Each builder's forms and chunks, one line each joined by "|"; the
    // source holds "abc" (CRC-16 0x5749), %1 stands for its path.
    void builders_data()
    {
        QTest::addColumn<builder_t>("build");
        QTest::addColumn<QString>("expected");
        const QString setup = desc("Setup", "Setup", "Diese Datei enth\\xc3\\xa4lt ein Ger\\xc3\\xa4te-Setup.",
                                   "This file contains a device setup.");
        QTest::newRow("0xC700 file with device name")
            << builder_t([](const QString& p) { return buildFileUpload(p, QStringLiteral("Gr\u00fc\u00dfe.txt")); })
            << "FORM QXF0|FNAM Gr\\xfc\\xdfe.txt|DATA 3 bytes|FTYP \\xc7\\x00WI";
        QTest::newRow("0xC702 setup") << builder_t([](const QString& p) { return buildSetup(p); })
                                      << setup + "FORM QXF0|FNAM %1|DATA 3 bytes|FTYP \\xc7\\x02WI";
        QTest::newRow("0xC703 setup list file")
            << builder_t([](const QString& p) { return buildSetupList(p, QStringLiteral("L1")); })
            << desc("Setup-Liste", "Setup list", "Diese Datei enth\\xc3\\xa4lt eine Liste f\\xc3\\xbcr das Setup.",
                    "This file contains a list for use with the setup.") +
                   "FORM QXF0|FAUX \\x00\\x01L1|FNAM %1|DATA 3 bytes|FTYP \\xc7\\x03WI";
        QTest::newRow("0xC703 list bytes")
            << builder_t([](const QString&) { return buildSetupListData("abc", QStringLiteral("L2")); })
            << desc("Setup", "Setup", "Diese Datei enth\\xc3\\xa4lt Listendaten f\\xc3\\xbcr das Ger\\xc3\\xa4te-Setup.",
                    "This file contains list data for the device setup.") +
                   "FORM QXF0|FAUX \\x00\\x01L2|FNAM raw data|DATA 3 bytes|FTYP \\xc7\\x03WI";
        QTest::newRow("0xC704 access list")
            << builder_t([](const QString& p) { return buildAccessList(p, QStringLiteral("ZK")); })
            << desc("ZK2 Liste", "AC2 list", "Diese Datei enth\\xc3\\xa4lt eine Liste f\\xc3\\xbcr die Zutrittskontrolle.",
                    "This file contains a list for access control.") +
                   "FORM QXF0|FAUX \\x00\\x01ZK|FNAM %1|DATA 3 bytes|FTYP \\xc7\\x04WI";
        QTest::newRow("0xC706 picture, name after the last slash")
            << builder_t([](const QString& p) { return buildPicture(p); })
            << desc("Ger\\xc3\\xa4tedatei", "Device File", "Kamera-Bild, Sigatur oder Barcode.",
                    "Camera-Image, Signature or Barcode.") +
                   "FORM QXF0|FNAM source.bin|DATA 3 bytes|FTYP \\xc7\\x06WI";
        QTest::newRow("0xC718 fingerprint template")
            << builder_t([](const QString& p) { return buildFingerprintTemplate(p, 2, 1234, 5, 6); })
            << "FORM QXF0|FAUX \\x00\\x01\\x01\\x02\\x00\\x00\\x04\\xd2\\x05\\x06|FNAM %1|DATA 3 bytes|FTYP \\xc7\\x18WI";
        QTest::newRow("0xC71A TWN4, 1.0A as 0x0A 0x01")
            << builder_t([](const QString& p) { return buildTwn4Firmware(p); })
            << "FORM QXF0|COMP \\x00\\x01\\x00\\x01\\x8e\\x8a\\x0a\\x01\\x00\\x01\\x8e\\x8e\\x0a\\x01|FNAM %1|DATA 3 bytes|"
               "FTYP \\xc7\\x1aWI";
        QTest::newRow("0xC714 two versions")
            << builder_t([](const QString& p) { return buildModuleFirmware(fileTypeZezere4020, p); })
            << "FORM QXF0|COMP \\x00\\x01\\x00\\x01\\x96B\\x0a\\x01\\x00\\x01\\x96B\\x0a\\x02|FNAM %1|DATA 3 bytes|"
               "FTYP \\xc7\\x14WI";
        QTest::newRow("0xC717 five entries")
            << builder_t([](const QString& p) { return buildModuleFirmware(fileTypeModule0xC717, p); })
            << "FORM QXF0|COMP \\x00\\x01\\x00\\x01\\xad\\xb8\\x0a\\x01\\x00\\x01\\xad\\xb8\\x0b\\x01\\x00\\x01\\xad\\xb8\\x0c"
               "\\x01\\x00\\x00\\x00[\\x0a\\x01\\x00\\x00\\x00U\\x0a\\x01|FNAM %1|DATA 3 bytes|FTYP \\xc7\\x17WI";
        QTest::newRow("0xC715 padded to 358400 bytes")
            << builder_t([](const QString& p) { return buildModuleFirmware(fileTypeSaturn01, p); })
            << "FORM QXF0|COMP \\x00\\x01\\x00\\x01\\x96C\\x0a\\x01\\x00\\x01\\x96C\\x0a\\x02\\x00\\x01\\x96C\\x0a\\x03|"
               "FNAM %1|DATA 358400 bytes|FTYP \\xc7\\x15)\\x94";
        QTest::newRow("0xC701 firmware, one encrypted block")
            << builder_t([](const QString& p) { return buildFirmware(p); })
            << desc("Firmware", "Firmware",
                    "Diese Datei enth\\xc3\\xa4lt eine neue Firmware-Version f\\xc3\\xbcr das OrvenIV-Ger\\xc3\\xa4te.",
                    "This file contains a new firmware for the OrvenIV device.") +
                   "FORM QXF0|DATE 36 bytes|FTYP \\xc7\\x01\\x00\\x00";
    }

    void builders()
    {
        QFETCH(builder_t, build);
        QFETCH(QString, expected);
        const QString path = m_dir.write(QStringLiteral("source.bin"), "abc");
        QCOMPARE(describe(build(path)), expected.replace(QLatin1String("%1"), bytesText(path.toLatin1())).split('|'));
        // A source that cannot be opened gives no forms.
        if (!expected.contains(QStringLiteral("raw data")))
            QVERIFY(build(m_dir.path(QStringLiteral("missing.bin"))).isEmpty());
    }

    void rs9110()
    {
        const QString a = m_dir.write(QStringLiteral("tadm"), "A");
        const QList<iffForm_t> forms = buildRs9110Firmware(a, a, a);
        const QStringList lines = describe(forms);
        QCOMPARE(lines.mid(0, 5), QStringLiteral("FORM DESC|HIER DE\\x00\\x00\\x00\\x00Modul|"
                                                 "HIER DE\\x00\\x00\\x00\\x01WLAN|HIER EN\\x00\\x00\\x00\\x00Module|"
                                                 "HIER EN\\x00\\x00\\x00\\x01WIFI")
                                      .split('|'));
        QCOMPARE(forms.size(), 4);
        for (int index = 0; index < 3; ++index) {
            const iffForm_t& form = forms.at(index + 1);
            QCOMPARE(form.findChunk("FNAM").data, QList<QByteArray>({"tadm", "taim1", "taim2"}).at(index));
            QCOMPARE(form.findChunk("COMP").data.toHex(), QByteArray("0001000000010d07000000010d0a00019a2a0d07"));
            quint16 blockIndex = 0;
            QVERIFY(readUInt16(form.findChunk("DATE").data, 2, blockIndex));
            QCOMPARE(int(blockIndex), index);
        }
    }

    // A language source with a bad line gives no forms, and the reader's
    // message.
    void languageFileError()
    {
        QString error;
        QVERIFY(buildLanguageFile(m_dir.write(QStringLiteral("bad.h"), "#define X 1 \"no marker\"\n"), &error).isEmpty());
        QCOMPARE(error, QStringLiteral("(33): Das Format einer Datenzeile ist falsch."));
    }

    // Two images with a gap: one block from the lowest address, 0xFF between
    // them, enciphered under the salt it names.
    void bootloader()
    {
        const QString low = m_dir.write(QStringLiteral("bl_00001000.bin"), "\x01\x02\x03\x04");
        const QString high = m_dir.write(QStringLiteral("bl_00001008.BIN"), "\x05\x06");
        const QString hcl = m_dir.write(QStringLiteral("hcl.txt"), "# hardware\n  102026\t13\tG  \n\n91\t10\t1\n");
        QString messages;
        std::srand(5);
        const QList<iffForm_t> forms = buildBootloader(QStringLiteral("BL 1.2"), hcl, {high, low}, {}, messages);
        QCOMPARE(messages, QString());
        QCOMPARE(describe(forms), QStringLiteral("FORM QXF0|COMP \\x00\\x01\\x00\\x01\\x8e\\x8a\\x0d\\x07\\x00\\x00\\x00[\\x0a"
                                                 "\\x01|FAUX \\x00\\x01BL 1.2|DATE 36 bytes|FTYP \\xc7\\x0d\\x00\\x00")
                                      .split('|'));
        const QByteArray date = forms.first().findChunk("DATE").data;
        quint32 salt = 0;
        QVERIFY(readUInt32(date, 16, salt));
        const QByteArray plaintext("\x01\x02\x03\x04\xFF\xFF\xFF\xFF\x05\x06", 10);
        QCOMPARE(date.toHex(), makeEncryptedChunk(0xB007, 0x1000, plaintext, salt).data.toHex());
    }

    void bootloaderMessages_data()
    {
        QTest::addColumn<QStringList>("images"); // "" stands for a missing one
        QTest::addColumn<QByteArray>("hcl");
        QTest::addColumn<QString>("message");
        const QByteArray goodHcl("1\t10\tA\n");
        const QString nameRule = "* File should end with \"_<addr>.bin\". ";
        QTest::newRow("no underscore") << QStringList("bl-00001000.bin") << goodHcl << nameRule + "'_' is missing.\n";
        QTest::newRow("no .bin") << QStringList("bl_00001000.hex") << goodHcl << nameRule + "'.bin' is missing.\n";
        QTest::newRow("address not hex") << QStringList("bl_0000100G.bin") << goodHcl
                                         << nameRule + "<addr> ('0000100G') is not hexadecimal offset.\n";
        QTest::newRow("image missing") << QStringList("") << goodHcl << "* Failed to open '%1'.\n";
        QTest::newRow("two columns") << QStringList("bl_00001000.bin") << QByteArray("1\t10\n")
                                     << "* Failed to parse line'1\t10'. Not enough columns\n";
        QTest::newRow("letter not a number") << QStringList("bl_00001000.bin") << QByteArray("1\t10\tAB\n")
                                             << "* Failed to parse firmware index'AB'. Not a number.\n";
        QTest::newRow("list missing") << QStringList("bl_00001000.bin") << QByteArray() << "* Failed to open '%2'.\n";
        // Refused instead of allocating the range.
        QTest::newRow("images far apart") << QStringList{"a_00000000.bin", "b_F0000000.bin"} << goodHcl
                                          << "* Images span 4026531841 bytes, more than 67108864.\n";
    }

    void bootloaderMessages()
    {
        QFETCH(QStringList, images);
        QFETCH(QByteArray, hcl);
        QFETCH(QString, message);
        const QString missing = m_dir.path(QStringLiteral("missing_00000000.bin"));
        for (QString& image : images)
            image = image.isEmpty() ? missing : m_dir.write(image, "x");
        const QString hclPath = hcl.isEmpty() ? m_dir.path(QStringLiteral("none.txt"))
                                              : m_dir.write(QStringLiteral("hcl.txt"), hcl);
        QString messages;
        buildBootloader(QStringLiteral("1"), hclPath, images, {}, messages);
        QCOMPARE(messages, QString(message).replace(QLatin1String("%1"), missing).replace(QLatin1String("%2"), hclPath));
    }

    // A description file: the update-loader list makes a second block, names
    // resolve against the description's folder. (Its other lines reach the
    // user through the creator dialog, tested there.)
    void descriptionFile()
    {
        m_dir.write(QStringLiteral("ul_00002000.bin"), "U");
        m_dir.write(QStringLiteral("bl_00001000.bin"), "B");
        m_dir.write(QStringLiteral("list.hcl"), "7\t10\ta\n");
        const QString desc = m_dir.write(QStringLiteral("boot.desc"), "VERSION: 3.0\nHCL: list.hcl\nBIN-UL: ul_00002000.bin\n"
                                                                 "BIN-BL: bl_00001000.bin\n");
        bootloaderDescription_t description;
        QVERIFY(readBootloaderDescription(desc, description));
        QString messages;
        const QList<iffForm_t> forms = buildBootloader(description.version, description.hclPath,
                                                       description.bootloaderImages,
                                                       description.updateLoaderImages, messages);
        QCOMPARE(messages, QString());
        QStringList indexes;
        for (const iffChunk_t& chunk : forms.first().chunks) {
            if (chunk.id == "DATE")
                indexes << chunk.data.mid(2, 6).toHex();
        }
        QCOMPARE(indexes, QStringList({QStringLiteral("b00700001000"), QStringLiteral("555200002000")}));
    }
};

QTEST_APPLESS_MAIN(tst_IffBuilder)
#include "tst_iffbuilder.moc"
