#include "iffParser.h"

#include "iffBytes.h"
#include "iffLog.h"

#include <QDebug>
#include <QIODevice>

namespace qxIff_n {

namespace {

constexpr qint64 elementHeaderLength = 8;

// Keeps the current element's entry on the handler's path while it is alive.
class pathEntryGuard_c
{
public:
    pathEntryGuard_c(iffParserHandler_t* p_pHandler, const QByteArray& p_arrEntry) : m_pHandler(p_pHandler)
    {
        m_pHandler->path.append(p_arrEntry);
    }
    ~pathEntryGuard_c()
    {
        if (!m_pHandler->path.isEmpty()) {
            m_pHandler->path.removeLast();
        }
    }
    pathEntryGuard_c(const pathEntryGuard_c&) = delete;
    pathEntryGuard_c& operator=(const pathEntryGuard_c&) = delete;

private:
    iffParserHandler_t* m_pHandler;
};

void reportError(iffParserHandler_t* p_pHandler, int p_nCode, const QString& p_strMessage)
{
    qCDebug(lcIff).noquote() << "qxIff_n::parseIff:" << p_strMessage;
    if (p_pHandler->fnErrorHandler) {
        p_pHandler->fnErrorHandler(p_pHandler, p_nCode, p_strMessage);
    }
}

QString insufficientDataMessage(qint64 p_nBytesLeft, qint64 p_nExpected)
{
    return QStringLiteral("Insufficient data size. Got %1 bytes, expected at least %2 bytes.")
        .arg(p_nBytesLeft)
        .arg(p_nExpected);
}

void deliverElement(iffParserHandler_t* p_pHandler, bool p_bForm, const QByteArray& p_arrName,
                    const QByteArray& p_arrPayload, qint64& p_nLength)
{
    if (p_bForm) {
        if (p_pHandler->fnFormHandler) {
            p_pHandler->fnFormHandler(p_pHandler, p_arrName, p_arrPayload);
        } else {
            // An unknown top-level container is stepped into rather than
            // over: only its 12-byte header is skipped, so its contents are
            // parsed as if they stood at this level.
            if (p_arrName == "QXIF") {
                p_nLength = 4;
            }
            reportError(p_pHandler, 3,
                        QStringLiteral("IFF-FORM %1 with data size %2 bytes is unknown to parser.")
                            .arg(QString::fromLatin1(p_arrName))
                            .arg(p_nLength));
        }
        if (p_pHandler->fnFormEndHandler) {
            p_pHandler->fnFormEndHandler(p_pHandler, p_arrName);
        }
    } else if (p_pHandler->fnChunkHandler) {
        p_pHandler->fnChunkHandler(p_pHandler, p_arrName, p_arrPayload);
    } else {
        reportError(p_pHandler, 4,
                    QStringLiteral("IFF-CHUNK %1 with data size %2 bytes is unknown to parser.")
                        .arg(QString::fromLatin1(p_arrName))
                        .arg(p_nLength));
    }
}

} // namespace

QByteArray formContents(const QByteArray& p_arrFormPayload)
{
    if (p_arrFormPayload.size() <= 4)
        return QByteArray();
    return QByteArray::fromRawData(p_arrFormPayload.constData() + 4, p_arrFormPayload.size() - 4);
}

bool parseIff(const QByteArray& p_arrBuffer, iffParserHandler_t* p_pHandler)
{
    if (!p_pHandler) {
        qCDebug(lcIff) << "qxIff_n::parseIff: No handler";
        return false;
    }
    const qint64 size = p_arrBuffer.size();
    qint64 offset = 0;
    while (offset < size) {
        const qint64 bytesLeft = size - offset;
        const QByteArray id = p_arrBuffer.mid(int(offset), 4);
        const bool isForm = id == "FORM";
        const QByteArray name = isForm ? p_arrBuffer.mid(int(offset) + 8, 4) : id;
        pathEntryGuard_c entry(p_pHandler, isForm ? "FORM " + name : id);

        quint32 rawLength = 0;
        if (!readUInt32(p_arrBuffer, int(offset) + 4, rawLength)) {
            reportError(p_pHandler, 1,
                        QStringLiteral("Cannot determine iff chunk size. Received only %1 bytes of data.")
                            .arg(bytesLeft));
            return false;
        }
        // The length field is taken as signed 32 bits: a "negative" element
        // gets everything after its header and then ends the parse below.
        qint64 length = qint32(rawLength);
        if (length >= 0 && elementHeaderLength + length > bytesLeft) {
            reportError(p_pHandler, 2, insufficientDataMessage(bytesLeft, elementHeaderLength + length));
            return false;
        }
        const QByteArray payload =
            p_arrBuffer.mid(int(offset + elementHeaderLength), length >= 0 ? int(length) : -1);
        deliverElement(p_pHandler, isForm, name, payload, length);

        if (length < 0) {
            reportError(p_pHandler, 1, insufficientDataMessage(bytesLeft, elementHeaderLength + length));
            qCDebug(lcIff) << "LENGTH COMPUTATION ERROR:" << length << "< 0. Giving Up!";
            return false;
        }
        // Skips the pad byte after an odd payload; a buffer that ends without
        // it simply ends the loop.
        offset += elementHeaderLength + length + (length % 2);
    }
    return true;
}

bool testFileIsQxWebIff(QIODevice* p_pDevice, bool p_bVerbose)
{
    const auto reject = [p_bVerbose](const char* p_pReason) {
        if (p_bVerbose) {
            qCDebug(lcIff) << "qxIff_n::testFileIsQxWebIff:" << p_pReason;
        }
        return false;
    };
    if (!p_pDevice) {
        return reject("No File");
    }
    const bool openedHere = !p_pDevice->isOpen();
    if (openedHere && !p_pDevice->open(QIODevice::ReadOnly)) {
        return reject("Failed to open file");
    }
    const qint64 previousPosition = p_pDevice->pos();
    if (!p_pDevice->isSequential()) {
        p_pDevice->seek(0);
    }
    const QByteArray header = p_pDevice->read(12);
    const qint64 size = p_pDevice->size();
    if (openedHere) {
        p_pDevice->close();
    } else if (!p_pDevice->isSequential()) {
        p_pDevice->seek(previousPosition);
    }

    if (p_bVerbose) {
        qCDebug(lcIff).noquote() << "qxIff_n::testFileIsQxWebIff: HEADER IS" << header.toHex();
    }
    if (header.left(4) != "FORM") {
        return reject("File is not a FORM");
    }
    if (header.mid(8, 4) != "QXIF") {
        return reject("File is not a QXIF-FORM");
    }
    quint32 formLength = 0;
    if (!readUInt32(header, 4, formLength)) {
        return reject("FORM does not contain a length");
    }
    // 64-bit sum: a length near 4 GiB cannot wrap round into a pass.
    const qint64 totalLength = qint64(formLength) + 8;
    if (size < totalLength) {
        if (p_bVerbose) {
            qCDebug(lcIff) << "qxIff_n::testFileIsQxWebIff: FILE length" << size
                           << "shorter than total FORM length" << totalLength;
        }
        return false;
    }
    return true;
}

} // namespace qxIff_n
