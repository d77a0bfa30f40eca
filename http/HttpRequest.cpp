#include "HttpRequest.h"

#include "HttpCookie.h"
#include "HttpLimits.h"
#include "HttpSettings.h"
#include "httpLog.h"
#include "textCodec.h"

#include <QDir>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// Slice size for multipart bodies and the longest line read back from them.
constexpr qint64 kMultipartSlice = 65536;

// The text between p_arrOpen and the next double quote after it, empty when
// either is missing.
QByteArray quotedAttribute(const QByteArray& p_arrLine, const QByteArray& p_arrOpen)
{
    const int start = p_arrLine.indexOf(p_arrOpen);
    if (start < 0)
        return QByteArray();
    const int from = start + p_arrOpen.size();
    const int end = p_arrLine.indexOf('"', from);
    return end < 0 ? QByteArray() : p_arrLine.mid(from, end - from);
}

std::unique_ptr<QTemporaryFile> openTemporaryFile(const char* p_szPrefix)
{
    auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QLatin1Char('/') +
                                                 QLatin1String(p_szPrefix) + QLatin1String("XXXXXX"));
    file->open();
    return file;
}

int hexValue(char p_cDigit)
{
    if (p_cDigit >= '0' && p_cDigit <= '9')
        return p_cDigit - '0';
    if (p_cDigit >= 'a' && p_cDigit <= 'f')
        return p_cDigit - 'a' + 10;
    if (p_cDigit >= 'A' && p_cDigit <= 'F')
        return p_cDigit - 'A' + 10;
    return -1;
}

} // namespace

HttpRequest::HttpRequest(HttpSettings* p_pSettings)
{
    const HttpLimits limits = p_pSettings->limits();
    m_maxSize = limits.maxRequestSize;
    m_maxMultiPartSize = limits.maxMultiPartSize;
}

HttpRequest::~HttpRequest()
{
    qDeleteAll(m_uploadedFiles);
}

void HttpRequest::consume(QIODevice* p_pDevice)
{
    if (!m_pLocalCertificate) {
        if (auto* sslSocket = qobject_cast<QSslSocket*>(p_pDevice)) {
            m_pLocalCertificate = std::make_unique<QSslCertificate>(sslSocket->localCertificate());
            m_pPeerCertificate = std::make_unique<QSslCertificate>(sslSocket->peerCertificate());
        }
    }

    switch (m_state) {
    case WaitingForRequestLine:
        readRequestLine(p_pDevice);
        break;
    case WaitingForHeaders:
        readHeader(p_pDevice);
        break;
    case WaitingForBody:
        if (m_boundary.isEmpty())
            readBody(p_pDevice);
        else
            readMultipartBody(p_pDevice);
        break;
    case Complete:
    case Aborted:
        break;
    }

    const qint64 limit = m_boundary.isEmpty() ? m_maxSize : m_maxMultiPartSize;
    if (m_state != Aborted && m_currentSize > limit) {
        qCWarning(lcHttp, "HttpRequest: received too many bytes");
        m_state = Aborted;
    }

    if (m_state == Complete) {
        decodeParameters();
        extractCookies();
    }
}

bool HttpRequest::readLine(QIODevice* p_pDevice, QByteArray* p_pLine)
{
    // One byte more than the limit allows, so that an overflow is seen. Only a
    // CR LF ends a line: a bare LF stays in the buffer until the limit is hit.
    const qint64 allowed = std::max<qint64>(1, m_maxSize - m_currentSize + 1);
    const QByteArray bytes = p_pDevice->readLine(allowed + 1);
    m_lineBuffer += bytes;
    m_currentSize += bytes.size();
    if (!m_lineBuffer.contains("\r\n"))
        return false;
    *p_pLine = m_lineBuffer.trimmed();
    m_lineBuffer.clear();
    return true;
}

void HttpRequest::readRequestLine(QIODevice* p_pDevice)
{
    QByteArray line;
    if (!readLine(p_pDevice, &line) || line.isEmpty())
        return;

    const auto* socket = qobject_cast<QAbstractSocket*>(p_pDevice);
    const QHostAddress peer = socket ? socket->peerAddress() : QHostAddress();
    qCDebug(lcHttp, "HttpRequest: from %s: %s", qPrintable(peer.toString()), line.constData());

    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !parts.at(2).contains("HTTP")) {
        qCWarning(lcHttp, "HttpRequest: received broken HTTP request, invalid first line");
        m_state = Aborted;
        return;
    }
    m_method = parts.at(0).trimmed();
    m_path = parts.at(1);
    m_version = parts.at(2);
    m_peerAddress = peer;
    m_state = WaitingForHeaders;
}

void HttpRequest::readHeader(QIODevice* p_pDevice)
{
    QByteArray line;
    if (!readLine(p_pDevice, &line))
        return;

    const int colon = line.indexOf(':');
    if (colon > 0) {
        m_currentHeader = line.left(colon).toLower();
        m_headers.insert(m_currentHeader, line.mid(colon + 1).trimmed());
    } else if (!line.isEmpty()) {
        // A continuation line extends the header before it.
        if (m_headers.contains(m_currentHeader))
            m_headers.insert(m_currentHeader, m_headers.value(m_currentHeader) + ' ' + line);
    } else {
        endOfHeaders();
    }
}

void HttpRequest::endOfHeaders()
{
    const QByteArray contentType = m_headers.value("content-type");
    const int boundaryAt = contentType.indexOf("boundary=");
    if (contentType.startsWith("multipart/form-data") && boundaryAt >= 0) {
        m_boundary = contentType.mid(boundaryAt + 9);
        if (m_boundary.startsWith('"') && m_boundary.endsWith('"'))
            m_boundary = m_boundary.mid(1, m_boundary.size() - 2);
    }
    if (m_headers.contains("content-length")) {
        bool ok = false;
        m_expectedBodySize = m_headers.value("content-length").toLongLong(&ok);
        // A negative length counts as no length, like one that is no number.
        if (!ok || m_expectedBodySize < 0)
            m_expectedBodySize = 0;
    }

    if (m_expectedBodySize == 0) {
        m_state = Complete;
    } else if (m_boundary.isEmpty() && m_expectedBodySize + m_currentSize > m_maxSize) {
        qCWarning(lcHttp, "HttpRequest: expected body is too large");
        m_state = Aborted;
    } else if (!m_boundary.isEmpty() && m_expectedBodySize > m_maxMultiPartSize) {
        qCWarning(lcHttp, "HttpRequest: expected multipart body is too large");
        m_state = Aborted;
    } else {
        m_state = WaitingForBody;
    }
}

void HttpRequest::readBody(QIODevice* p_pDevice)
{
    const qint64 missing = m_expectedBodySize - m_body.size();
    if (missing > 0) {
        const QByteArray bytes = p_pDevice->read(missing);
        m_currentSize += bytes.size();
        m_body += bytes;
    }
    if (m_body.size() >= m_expectedBodySize)
        m_state = Complete;
}

void HttpRequest::readMultipartBody(QIODevice* p_pDevice)
{
    if (!m_pTempFile)
        m_pTempFile = openTemporaryFile("qxhttp-body-");

    // currentSize is not increased: the multipart body has its own limit.
    const qint64 missing = std::min(m_expectedBodySize - m_pTempFile->size(), kMultipartSlice);
    if (missing > 0)
        m_pTempFile->write(p_pDevice->read(missing));

    if (m_pTempFile->size() >= m_maxMultiPartSize) {
        qCWarning(lcHttp, "HttpRequest: received too many multipart bytes");
        m_state = Aborted;
    } else if (m_pTempFile->size() >= m_expectedBodySize) {
        if (!m_pTempFile->flush() || m_pTempFile->error() != QFileDevice::NoError)
            qCCritical(lcHttp, "HttpRequest: Error writing temp file for multipart body");
        parseMultipartFile();
        m_pTempFile->close();
        m_state = Complete;
    }
}

namespace {

// The fields of one multipart part, filled from its Content-Disposition line.
struct MultipartPart
{
    QByteArray fieldName;
    QByteArray fileName;
    QByteArray value;
    std::unique_ptr<QTemporaryFile> file;
};

bool readable(const QFile& p_file)
{
    return !p_file.atEnd() && p_file.error() == QFileDevice::NoError;
}

void readPartHeaders(QFile& p_file, MultipartPart* p_pPart)
{
    while (readable(p_file)) {
        const QByteArray line = p_file.readLine(kMultipartSlice + 1).trimmed();
        if (line.isEmpty())
            return;
        if (!line.startsWith("Content-Disposition:"))
            continue;
        if (line.contains("form-data")) {
            p_pPart->fieldName = quotedAttribute(line, " name=\"");
            p_pPart->fileName = quotedAttribute(line, " filename=\"");
        } else {
            qCDebug(lcHttp, "HttpRequest: ignoring unsupported content part %s", line.constData());
        }
    }
}

void collectPartLine(MultipartPart* p_pPart, const QByteArray& p_arrLine, qint64* p_pSize)
{
    if (p_pPart->fieldName.isEmpty())
        return;
    if (p_pPart->fileName.isEmpty()) {
        p_pPart->value += p_arrLine;
        *p_pSize += p_arrLine.size();
        return;
    }
    if (!p_pPart->file)
        p_pPart->file = openTemporaryFile("qxhttp-upload-");
    if (p_pPart->file->write(p_arrLine) != p_arrLine.size())
        qCCritical(lcHttp, "HttpRequest: error writing temp file, %s",
                   qPrintable(p_pPart->file->errorString()));
}

} // namespace

void HttpRequest::parseMultipartFile()
{
    qCDebug(lcHttp, "HttpRequest: parsing multipart temp file");
    QTemporaryFile& file = *m_pTempFile;
    file.seek(0);
    const QByteArray delimiter = "--" + m_boundary;
    bool finished = false;
    while (readable(file) && !finished) {
        MultipartPart part;
        readPartHeaders(file, &part);
        while (readable(file)) {
            const QByteArray line = file.readLine(kMultipartSlice + 1);
            if (!line.startsWith(delimiter)) {
                collectPartLine(&part, line, &m_currentSize);
                continue;
            }
            finishPart(part.fieldName, part.fileName, part.value, std::move(part.file));
            finished = line.contains(m_boundary + "--");
            break;
        }
    }
    if (file.error() != QFileDevice::NoError)
        qCCritical(lcHttp, "HttpRequest: cannot read temp file, %s", qPrintable(file.errorString()));
}

void HttpRequest::finishPart(const QByteArray& p_arrFieldName, const QByteArray& p_arrFileName,
                             QByteArray p_arrValue, std::unique_ptr<QTemporaryFile> p_pFile)
{
    // The CR LF before a delimiter belongs to the delimiter, not to the content.
    if (p_arrFieldName.isEmpty())
        return;
    if (p_arrFileName.isEmpty()) {
        p_arrValue.chop(2);
        addParameter(p_arrFieldName, p_arrValue);
        qCDebug(lcHttp, "HttpRequest: set parameter %s=%s", p_arrFieldName.constData(),
                p_arrValue.constData());
        return;
    }
    if (!p_pFile) {
        qCWarning(lcHttp, "HttpRequest: format error, unexpected end of file data");
        return;
    }
    p_pFile->flush();
    p_pFile->resize(std::max<qint64>(0, p_pFile->size() - 2));
    p_pFile->seek(0);
    addParameter(p_arrFieldName, p_arrFileName);
    qCDebug(lcHttp, "HttpRequest: set parameter %s=%s", p_arrFieldName.constData(),
            p_arrFileName.constData());
    const qint64 size = p_pFile->size();
    delete m_uploadedFiles.value(p_arrFieldName);
    m_uploadedFiles.insert(p_arrFieldName, p_pFile.release());
    qCDebug(lcHttp, "HttpRequest: uploaded file size is %lli", size);
}

void HttpRequest::decodeParameters()
{
    QByteArray query;
    const int question = m_path.indexOf('?');
    if (question >= 0) {
        query = m_path.mid(question + 1);
        m_path.truncate(question);
    }
    const QByteArray contentType = header("content-type");
    if (!m_body.isEmpty() &&
        (contentType.isEmpty() || contentType.startsWith("application/x-www-form-urlencoded"))) {
        if (!query.isEmpty())
            query += '&';
        query += m_body;
    }
    for (const QByteArray& part : query.split('&')) {
        const int eq = part.indexOf('=');
        if (eq >= 0)
            addParameter(urlDecode(part.left(eq).trimmed()), urlDecode(part.mid(eq + 1).trimmed()));
        else if (!part.isEmpty())
            addParameter(urlDecode(part), QByteArray());
    }
}

void HttpRequest::extractCookies()
{
    for (const QByteArray& cookieHeader : headers("cookie")) {
        for (const QByteArray& part : HttpCookie::splitAttributes(cookieHeader)) {
            const int eq = part.indexOf('=');
            if (eq >= 0)
                m_cookies.insert(part.left(eq).trimmed(), part.mid(eq + 1).trimmed());
            else
                m_cookies.insert(part.trimmed(), QByteArray());
        }
    }
    m_headers.remove("cookie");
}

void HttpRequest::addParameter(const QByteArray& p_arrName, const QByteArray& p_arrValue)
{
    m_parameters.insert(p_arrName, p_arrValue);
    // The texts end at the first zero byte.
    m_parameterList.append(qMakePair(textCodec_n::fromWire(p_arrName.constData()),
                                     textCodec_n::fromWire(p_arrValue.constData())));
}

QByteArray HttpRequest::header(const QByteArray& p_arrName) const
{
    return m_headers.value(p_arrName.toLower());
}

QList<QByteArray> HttpRequest::headers(const QByteArray& p_arrName) const
{
    QList<QByteArray> values = m_headers.values(p_arrName.toLower());
    std::reverse(values.begin(), values.end());
    return values;
}

QByteArray HttpRequest::parameter(const QByteArray& p_arrName) const
{
    return m_parameters.value(p_arrName);
}

QList<QByteArray> HttpRequest::parameters(const QByteArray& p_arrName) const
{
    QList<QByteArray> values = m_parameters.values(p_arrName);
    std::reverse(values.begin(), values.end());
    return values;
}

QTemporaryFile* HttpRequest::uploadedFile(const QByteArray& p_arrFieldName) const
{
    return m_uploadedFiles.value(p_arrFieldName);
}

QByteArray HttpRequest::urlDecode(const QByteArray& p_arrSource)
{
    QByteArray buffer(p_arrSource);
    buffer.replace('+', ' ');
    for (int percent = buffer.indexOf('%'); percent >= 0; percent = buffer.indexOf('%', percent + 1)) {
        if (percent + 2 >= buffer.size())
            break;
        const int high = hexValue(buffer.at(percent + 1));
        const int low = hexValue(buffer.at(percent + 2));
        if (high >= 0 && low >= 0)
            buffer.replace(percent, 3, QByteArray(1, char(high * 16 + low)));
    }
    return buffer;
}
