#include "configFile.h"

#include "serverLog.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>

namespace {

using values_t = appSettings_c::values_t;

enum class encoding_t
{
    Base64,  // UTF-8 bytes of a text, standard Base64 with padding
    Hex,     // UTF-8 bytes of a text, two lower-case digits per byte
    Decimal, // an integer; 0/1 flags too
};

struct configKey_t
{
    const char* key; // with its colon
    encoding_t encoding;
    QString values_t::*text;
    int values_t::*number;
};

// The settings in the order in which they are written.
const configKey_t c_keys[] = {
    {"dl-dir:", encoding_t::Base64, &values_t::dlDir, nullptr},
    {"up-dir:", encoding_t::Base64, &values_t::upDir, nullptr},
    {"http-level-0-base-path:", encoding_t::Base64, &values_t::level0BasePath, nullptr},
    {"http-level-1-base-path:", encoding_t::Base64, &values_t::level1BasePath, nullptr},
    {"http-iff-base-path:", encoding_t::Base64, &values_t::iffBasePath, nullptr},
    {"firmware-file:", encoding_t::Base64, &values_t::firmwareFile, nullptr},
    {"delay-requests-by:", encoding_t::Decimal, nullptr, &values_t::delayRequestsBy},
    {"response-ack-method:", encoding_t::Decimal, nullptr, &values_t::responseAckMethod},
    {"request-view-activate-limit:", encoding_t::Decimal, nullptr, &values_t::requestViewActivateLimit},
    {"request-view-count:", encoding_t::Decimal, nullptr, &values_t::requestViewCount},
    {"activate-upload-retention:", encoding_t::Decimal, nullptr, &values_t::activateUploadRetention},
    {"upload-retention-period:", encoding_t::Decimal, nullptr, &values_t::uploadRetentionPeriod},
    {"comm-key:", encoding_t::Hex, &values_t::commKey, nullptr},
    {"autoscroll:", encoding_t::Decimal, nullptr, &values_t::autoscroll},
    {"immediate-close:", encoding_t::Decimal, nullptr, &values_t::immediateClose},
    {"ba-active:", encoding_t::Decimal, nullptr, &values_t::baActive},
    {"ba-realm:", encoding_t::Hex, &values_t::baRealm, nullptr},
    {"ba-user:", encoding_t::Hex, &values_t::baUser, nullptr},
    {"ba-password:", encoding_t::Hex, &values_t::baPassword, nullptr},
    {"totd:", encoding_t::Decimal, nullptr, &values_t::totd},
    {"save-incoming-req:", encoding_t::Decimal, nullptr, &values_t::saveIncomingReq},
    {"save-incoming-req-filename:", encoding_t::Hex, &values_t::saveIncomingReqFilename, nullptr},
    {"save-device-dt-column:", encoding_t::Hex, &values_t::saveDeviceDtColumn, nullptr},
};

const QByteArray c_cmdTableKey = QByteArrayLiteral("cmd-table:");

QByteArray encodeValue(const configKey_t& p_key, const values_t& p_values)
{
    switch (p_key.encoding) {
    case encoding_t::Base64:
        return (p_values.*p_key.text).toUtf8().toBase64();
    case encoding_t::Hex:
        return (p_values.*p_key.text).toUtf8().toHex();
    case encoding_t::Decimal:
        break;
    }
    return QByteArray::number(p_values.*p_key.number);
}

// The decoders skip characters outside their alphabet; the text ends at the
// first zero byte.
QString decodeText(encoding_t p_encoding, const QByteArray& p_arrValue)
{
    QByteArray bytes = p_encoding == encoding_t::Base64 ? QByteArray::fromBase64(p_arrValue)
                                                        : QByteArray::fromHex(p_arrValue);
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

void decodeValue(const configKey_t& p_key, const QByteArray& p_arrValue, values_t& p_values)
{
    if (p_key.encoding == encoding_t::Decimal) {
        bool ok = false;
        const int number = p_arrValue.toInt(&ok);
        p_values.*p_key.number = ok ? number : 0;
    } else {
        p_values.*p_key.text = decodeText(p_key.encoding, p_arrValue);
    }
}

// Lines are trimmed as bytes, so a CR before the LF goes, while a non-ASCII
// space at the end of a planning cell stays part of the cell.
void parseLine(const QByteArray& p_arrLine, values_t& p_values)
{
    const QByteArray line = p_arrLine.trimmed();
    for (const configKey_t& key : c_keys) {
        if (line.startsWith(key.key)) {
            decodeValue(key, line.mid(int(qstrlen(key.key))).trimmed(), p_values);
            return;
        }
    }
    if (line.startsWith(c_cmdTableKey)) {
        // The row ends at the first zero byte, like a text. Cut before
        // trimming, so that white space in front of the zero byte goes too:
        // a cell written back with it would lose it on the next read.
        // Trimming drops empty cells at either end of the row.
        QByteArray row = line.mid(c_cmdTableKey.size());
        const int zero = row.indexOf('\0');
        if (zero >= 0)
            row.truncate(zero);
        row = row.trimmed();
        p_values.cmdTable.append(QString::fromUtf8(row).split(QLatin1Char('\t')));
        return;
    }
    qCDebug(lcServer) << "Unhandled config line" << QString::fromUtf8(line);
}

QByteArray configurationText(const values_t& p_values)
{
    QByteArray text;
    for (const configKey_t& key : c_keys)
        text += key.key + QByteArray(" ") + encodeValue(key, p_values) + '\n';
    for (const QStringList& row : p_values.cmdTable)
        text += c_cmdTableKey + ' ' + row.join(QLatin1Char('\t')).toUtf8() + '\n';
    return text;
}

} // namespace

bool readConfiguration(const QString& p_strFileName, appSettings_c& p_settings)
{
    QFile file(p_strFileName);
    const bool opened = file.open(QIODevice::ReadOnly);
    if (!opened)
        qCDebug(lcServer) << "Failed to open config file" << p_strFileName;
    const QByteArray content = opened ? file.readAll() : QByteArray();

    // One update, so readers in other threads never see a half-read file.
    p_settings.modify([&](values_t& p_values) {
        p_values.cmdTable.clear();
        QList<QByteArray> lines = content.split('\n');
        if (lines.last().isEmpty())
            lines.removeLast(); // nothing after the final line feed
        for (const QByteArray& line : qAsConst(lines))
            parseLine(line, p_values);
    });
    return opened;
}

bool writeConfiguration(const QString& p_strFileName, appSettings_c& p_settings)
{
    const QByteArray text = configurationText(p_settings.values());

    // Written beside the old file and renamed over it once complete, so an
    // interrupted write never leaves a truncated configuration behind.
    QSaveFile file(p_strFileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        qCDebug(lcServer) << "Failed to create config file" << p_strFileName;
        return false;
    }
    return true;
}

QStringList listenerSettingsFileNames()
{
    QStringList names;
    for (int n = 0; n <= 9; ++n)
        names.append(QStringLiteral("settings-%1.ini").arg(n));
    return names;
}
