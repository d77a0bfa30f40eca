#include "commCryptAnalysis.h"

#include "Rc4Box.h"
#include "cipherLog.h"
#include "textCodec.h"

#include <QDebug>
#include <QIODevice>
#include <QStringList>

namespace commCrypt_n {

namespace {

QString throughBox(Rc4Box& p_box, const QString& p_strValue, cipherDirection_t p_eDirection)
{
    if (p_eDirection == cipherDirection_t::encipher)
        return QString::fromLatin1(p_box.encryptToHex(textCodec_n::to8Bit(p_strValue)));
    QByteArray plain = p_box.decryptFromHex(p_strValue.toLatin1());
    // As the protocol levels read deciphered values.
    const int zero = plain.indexOf('\0');
    if (zero >= 0)
        plain.truncate(zero);
    return QString::fromLatin1(plain);
}

QString reportLine(const char* p_pMarker, const QString& p_strName, const QString& p_strValue)
{
    qCDebug(lcCipher) << p_pMarker << p_strName << "=>" << p_strValue;
    return QStringLiteral("    ") + QLatin1String(p_pMarker) + QLatin1Char(' ') + p_strName +
           QStringLiteral(" => ") + p_strValue + QLatin1Char('\n');
}

// Length of the cipher-end pair from the start of its name: "qxce=" and
// 8 hex digits.
constexpr int cipherEndPairLength = 13;
// Continuation lines of a long log entry start with this many prefix characters.
constexpr int continuationPrefix = 8;

} // namespace

QString analyseTelegram(Rc4Box& p_box, const QString& p_strText, const QString& p_strKey,
                        cipherDirection_t p_eDirection, QString* p_pRebuilt)
{
    QString report;
    QString begin;
    const int question = p_strText.indexOf(QLatin1Char('?'));
    if (p_pRebuilt)
        *p_pRebuilt = question >= 0 ? p_strText.left(question) : QString();
    const QStringList parts = p_strText.mid(std::max(question, 0)).split(QLatin1Char('&'));
    for (const QString& part : parts) {
        const QStringList pair = part.split(QLatin1Char('='));
        if (pair.size() != 2) {
            qCDebug(lcCipher) << "** Incorrect pair" << part << "in request" << p_strText;
            report += QStringLiteral("** Incorrect pair ") + part + QStringLiteral(" in request ") +
                      p_strText + QLatin1Char('\n');
            // The rebuilt text keeps a malformed part as it stands.
            if (p_pRebuilt)
                *p_pRebuilt += part + QLatin1Char('&');
            continue;
        }
        const QString& name = pair.at(0);
        const QString& value = pair.at(1);
        QString last;
        if (name == QLatin1String("?qxcb") || name == QLatin1String("?qx_cb")) {
            begin = value;
            p_box.init(Rc4Box::telegramKey(p_strKey, begin));
            report += reportLine("=I", name, begin);
            last = begin;
        } else if (name == QLatin1String("qxcb") || name == QLatin1String("qx_cb")) {
            begin = value;
            report += reportLine("=S", name, begin);
            last = begin;
        } else if (name == QLatin1String("qxce") || name == QLatin1String("qx_ce")) {
            last = throughBox(p_box, value, p_eDirection);
            report += reportLine("=E", name, last);
            report += last == begin ? QStringLiteral("*   Schl\u00fcsselwerte korrekt\n\n")
                                    : QStringLiteral("*   Verschl\u00fcsselung fehlerhaft\n\n");
        } else {
            last = throughBox(p_box, value, p_eDirection);
            report += reportLine("=D", name, last);
        }
        if (p_pRebuilt)
            *p_pRebuilt += name + QLatin1Char('=') + last + QLatin1Char('&');
    }
    return report;
}

QString analyseSystemLog(QIODevice* p_pLog, const QString& p_strKey)
{
    if (!p_pLog || (!p_pLog->isOpen() && !p_pLog->open(QIODevice::ReadOnly)))
        return QString();
    QStringList lines;
    while (!p_pLog->atEnd()) {
        QByteArray line = p_pLog->readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        lines << textCodec_n::from8Bit(line);
    }

    Rc4Box box;
    QString output;
    for (int index = 0; index < lines.size(); ++index) {
        const QString& line = lines.at(index);
        if (!line.contains(QLatin1String("HTTP CRYPT!")))
            continue;
        qCDebug(lcCipher) << line;
        output += line + QLatin1Char('\n');
        int start = line.indexOf(QLatin1String("qxcb"));
        if (start < 0)
            continue;
        if (start > 0 && line.at(start - 1) == QLatin1Char('?'))
            --start;
        // Requests are reported by the number of the line where they begin.
        const int lineNumber = index + 1;
        QString request = line.mid(start);
        while (!request.contains(QLatin1String("qxce")) && index + 1 < lines.size())
            request += lines.at(++index).mid(continuationPrefix);
        const int end = request.indexOf(QLatin1String("qxce"));
        if (end >= 0)
            request.truncate(end + cipherEndPairLength);
        qCDebug(lcCipher) << "LINE" << lineNumber << request;
        output += QStringLiteral("Zeile %1: ").arg(lineNumber) + request + QLatin1Char('\n');
        output += analyseTelegram(box, request, p_strKey, cipherDirection_t::decipher);
    }
    return output;
}

} // namespace commCrypt_n
