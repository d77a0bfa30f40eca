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
#include <cstring>
#include <limits>

namespace {

// Header names as stored (lower case): built once, copied without allocation.
const QByteArray kContentType = QByteArrayLiteral("content-type");
const QByteArray kContentLength = QByteArrayLiteral("content-length");
const QByteArray kTransferEncoding = QByteArrayLiteral("transfer-encoding");
const QByteArray kCookie = QByteArrayLiteral("cookie");

// Slice size for multipart bodies and the longest line read back from them.
constexpr qint64 kMultipartSlice = 65536;
// Bytes looked at per consume(): a whole request within the default limit.
constexpr qint64 kReadChunk = 16384;

// The white space QByteArray::trimmed() removes.
bool isSpace(char p_c)
{
    return p_c == ' ' || (p_c >= '\t' && p_c <= '\r');
}

// Moves *p_ppBegin and *p_ppEnd inwards past white space.
void trim(const char** p_ppBegin, const char** p_ppEnd)
{
    while (*p_ppBegin < *p_ppEnd && isSpace(**p_ppBegin))
        ++*p_ppBegin;
    while (*p_ppEnd > *p_ppBegin && isSpace((*p_ppEnd)[-1]))
        --*p_ppEnd;
}

// Whether QByteArray::toLower() would leave p_arrName as it is.
bool isLowerCase(const QByteArray& p_arrName)
{
    for (const char c : p_arrName) {
        const uchar u = uchar(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
            return false;
    }
    return true;
}

// The first p_c in [p_pBegin, p_pEnd), or nullptr.
const char* find(const char* p_pBegin, const char* p_pEnd, char p_c)
{
    return static_cast<const char*>(std::memchr(p_pBegin, p_c, size_t(p_pEnd - p_pBegin)));
}

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

// The body length a request announces: 0 without a Content-Length header,
// -1 when it cannot be trusted (a value that is not a plain decimal number,
// or several headers that disagree). A number beyond the range of qint64
// gives the largest qint64, which no limit allows.
qint64 announcedLength(const QList<QByteArray>& p_values)
{
    if (p_values.isEmpty())
        return 0;
    const QByteArray& first = p_values.first();
    for (const QByteArray& value : p_values) {
        if (value != first)
            return -1;
    }
    if (first.isEmpty())
        return -1;
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    qint64 length = 0;
    for (const char c : first) {
        if (c < '0' || c > '9')
            return -1;
        const int digit = c - '0';
        // Checked before the multiplication, so it never overflows.
        length = length > (largest - digit) / 10 ? largest : length * 10 + digit;
    }
    return length;
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
    if (!m_bDeviceSeen) {
        m_bDeviceSeen = true;
        if (auto* socket = qobject_cast<QAbstractSocket*>(p_pDevice))
            m_socketPeer = socket->peerAddress();
        if (auto* sslSocket = qobject_cast<QSslSocket*>(p_pDevice)) {
            m_pLocalCertificate = std::make_unique<QSslCertificate>(sslSocket->localCertificate());
            m_pPeerCertificate = std::make_unique<QSslCertificate>(sslSocket->peerCertificate());
        }
    }
    // Looked at in the device's own buffer and taken out only as far as it
    // belongs to this request. Asking for no more than is there keeps the
    // device from making room for a read from the system.
    char chunk[kReadChunk];
    const qint64 wanted = std::min(p_pDevice->bytesAvailable(), kReadChunk);
    const qint64 available = wanted > 0 ? p_pDevice->peek(chunk, wanted) : 0;
    if (available > 0)
        p_pDevice->skip(feed(chunk, available));
}

qint64 HttpRequest::feed(const char* p_pData, qint64 p_nSize)
{
    const bool wasOpen = m_state != Complete && m_state != Aborted;
    qint64 used = 0;
    while (used < p_nSize && m_state != Complete && m_state != Aborted) {
        switch (m_state) {
        case WaitingForRequestLine:
        case WaitingForHeaders:
            used += feedLine(p_pData + used, p_nSize - used);
            break;
        case WaitingForBody:
            used += m_boundary.isEmpty() ? feedBody(p_pData + used, p_nSize - used)
                                         : feedMultipartBody(p_pData + used, p_nSize - used);
            break;
        case Complete:
        case Aborted:
            break;
        }
        checkSize();
    }
    if (wasOpen && m_state == Complete) {
        decodeParameters();
        extractCookies();
    }
    return used;
}

void HttpRequest::checkSize()
{
    const qint64 limit = m_boundary.isEmpty() ? m_maxSize : m_maxMultiPartSize;
    if (m_state != Aborted && m_currentSize > limit) {
        qCWarning(lcHttp, "HttpRequest: received too many bytes");
        m_state = Aborted;
    }
}

qint64 HttpRequest::feedLine(const char* p_pData, qint64 p_nSize)
{
    // One byte more than the limit allows is taken, so that an overflow is
    // seen. Only a CR LF ends a line: a bare LF does not, and such a line
    // goes on until the limit is passed.
    const qint64 allowed = std::min(p_nSize, std::max<qint64>(1, m_maxSize - m_currentSize + 1));
    const char* const end = p_pData + allowed;
    const char* lineEnd = nullptr;
    for (const char* lf = find(p_pData, end, '\n'); lf; lf = find(lf + 1, end, '\n')) {
        const bool afterCr = lf > p_pData ? lf[-1] == '\r' : m_lineBuffer.endsWith('\r');
        if (afterCr) {
            lineEnd = lf + 1;
            break;
        }
    }
    if (!lineEnd) {
        m_lineBuffer.append(p_pData, int(allowed));
        m_currentSize += allowed;
        return allowed;
    }

    const qint64 taken = lineEnd - p_pData;
    m_currentSize += taken;
    // A line that came whole is read where it lies.
    QByteArray joined;
    const char* begin = p_pData;
    if (!m_lineBuffer.isEmpty()) {
        joined = std::move(m_lineBuffer);
        m_lineBuffer = QByteArray();
        joined.append(p_pData, int(taken));
        begin = joined.constData();
        lineEnd = begin + joined.size();
    }
    trim(&begin, &lineEnd);
    if (m_state == WaitingForRequestLine)
        takeRequestLine(begin, lineEnd);
    else
        takeHeader(begin, lineEnd);
    return taken;
}

void HttpRequest::takeRequestLine(const char* p_pBegin, const char* p_pEnd)
{
    if (p_pBegin == p_pEnd)
        return;
    qCDebug(lcHttp, "HttpRequest: from %s: %s", qPrintable(m_socketPeer.toString()),
            QByteArray(p_pBegin, int(p_pEnd - p_pBegin)).constData());

    // Exactly three parts between single blanks, the third naming HTTP.
    const char* first = find(p_pBegin, p_pEnd, ' ');
    const char* second = first ? find(first + 1, p_pEnd, ' ') : nullptr;
    const char* http = "HTTP";
    if (!second || find(second + 1, p_pEnd, ' ') ||
        std::search(second + 1, p_pEnd, http, http + 4) == p_pEnd) {
        qCWarning(lcHttp, "HttpRequest: received broken HTTP request, invalid first line");
        m_state = Aborted;
        return;
    }
    const char* methodEnd = first;
    trim(&p_pBegin, &methodEnd);
    m_method = QByteArray(p_pBegin, int(methodEnd - p_pBegin));
    m_path = QByteArray(first + 1, int(second - first - 1));
    m_version = QByteArray(second + 1, int(p_pEnd - second - 1));
    m_peerAddress = m_socketPeer;
    m_state = WaitingForHeaders;
}

void HttpRequest::takeHeader(const char* p_pBegin, const char* p_pEnd)
{
    const char* colon = find(p_pBegin, p_pEnd, ':');
    if (colon && colon > p_pBegin) {
        m_currentHeader = QByteArray(p_pBegin, int(colon - p_pBegin)).toLower();
        const char* value = colon + 1;
        trim(&value, &p_pEnd);
        m_headers.insert(m_currentHeader, QByteArray(value, int(p_pEnd - value)));
    } else if (p_pBegin != p_pEnd) {
        // A continuation line extends the header before it.
        if (m_headers.contains(m_currentHeader))
            m_headers.insert(m_currentHeader, m_headers.value(m_currentHeader) + ' ' +
                                                  QByteArray(p_pBegin, int(p_pEnd - p_pBegin)));
    } else {
        endOfHeaders();
    }
}

void HttpRequest::endOfHeaders()
{
    const QByteArray contentType = m_headers.value(kContentType);
    const int boundaryAt = contentType.indexOf("boundary=");
    if (contentType.startsWith("multipart/form-data") && boundaryAt >= 0) {
        m_boundary = contentType.mid(boundaryAt + 9);
        if (m_boundary.startsWith('"') && m_boundary.endsWith('"'))
            m_boundary = m_boundary.mid(1, m_boundary.size() - 2);
    }
    // A body framed in any other way than by one length could be read
    // differently by a proxy in front of the server, so such a request is
    // refused rather than guessed at.
    m_expectedBodySize = announcedLength(m_headers.values(kContentLength));
    if (m_expectedBodySize < 0 || m_headers.contains(kTransferEncoding)) {
        qCWarning(lcHttp, "HttpRequest: received broken HTTP request, body length not clear");
        m_state = Aborted;
        return;
    }

    // Compared by subtraction: the announced length may be near the largest
    // qint64, and m_currentSize never exceeds m_maxSize + 1 here.
    if (m_expectedBodySize == 0) {
        m_state = Complete;
    } else if (m_boundary.isEmpty() && m_expectedBodySize > m_maxSize - m_currentSize) {
        qCWarning(lcHttp, "HttpRequest: expected body is too large");
        m_state = Aborted;
    } else if (!m_boundary.isEmpty() && m_expectedBodySize > m_maxMultiPartSize) {
        qCWarning(lcHttp, "HttpRequest: expected multipart body is too large");
        m_state = Aborted;
    } else {
        // A plain body is within maxRequestSize, so it may be made room for.
        if (m_boundary.isEmpty())
            m_body.reserve(int(m_expectedBodySize));
        m_state = WaitingForBody;
    }
}

qint64 HttpRequest::feedBody(const char* p_pData, qint64 p_nSize)
{
    const qint64 taken = std::min(p_nSize, m_expectedBodySize - m_body.size());
    m_body.append(p_pData, int(taken));
    m_currentSize += taken;
    if (m_body.size() >= m_expectedBodySize)
        m_state = Complete;
    return taken;
}

qint64 HttpRequest::feedMultipartBody(const char* p_pData, qint64 p_nSize)
{
    if (!m_pTempFile)
        m_pTempFile = openTemporaryFile("qxhttp-body-");

    // currentSize is not increased: the multipart body has its own limit.
    const qint64 taken = std::min({p_nSize, m_expectedBodySize - m_pTempFile->size(), kMultipartSlice});
    m_pTempFile->write(p_pData, taken);

    // maxMultiPartSize is the largest body allowed, as in endOfHeaders().
    if (m_pTempFile->size() > m_maxMultiPartSize) {
        qCWarning(lcHttp, "HttpRequest: received too many multipart bytes");
        m_state = Aborted;
    } else if (m_pTempFile->size() >= m_expectedBodySize) {
        if (!m_pTempFile->flush() || m_pTempFile->error() != QFileDevice::NoError)
            qCCritical(lcHttp, "HttpRequest: Error writing temp file for multipart body");
        parseMultipartFile();
        m_pTempFile->close();
        m_state = Complete;
    }
    return taken;
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
    m_decodedPath = urlDecode(m_path);
    m_bDecoded = true;
    if (!m_body.isEmpty()) {
        const QByteArray contentType = m_headers.value(kContentType);
        if (contentType.isEmpty() || contentType.startsWith("application/x-www-form-urlencoded")) {
            if (!query.isEmpty())
                query += '&';
            query += m_body;
        }
    }
    const char* const end = query.constData() + query.size();
    for (const char* part = query.constData(); part <= end;) {
        const char* partEnd = find(part, end, '&');
        if (!partEnd)
            partEnd = end;
        if (const char* eq = find(part, partEnd, '=')) {
            const char *name = part, *nameEnd = eq, *value = eq + 1, *valueEnd = partEnd;
            trim(&name, &nameEnd);
            trim(&value, &valueEnd);
            addParameter(urlDecode(name, int(nameEnd - name)), urlDecode(value, int(valueEnd - value)));
        } else if (partEnd != part) {
            addParameter(urlDecode(part, int(partEnd - part)), QByteArray());
        }
        part = partEnd + 1;
    }
}

void HttpRequest::extractCookies()
{
    if (!m_headers.contains(kCookie))
        return;
    for (const QByteArray& cookieHeader : headers(kCookie)) {
        for (const QByteArray& part : HttpCookie::splitAttributes(cookieHeader)) {
            const int eq = part.indexOf('=');
            if (eq >= 0)
                m_cookies.insert(part.left(eq).trimmed(), part.mid(eq + 1).trimmed());
            else
                m_cookies.insert(part.trimmed(), QByteArray());
        }
    }
    m_headers.remove(kCookie);
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
    return m_headers.value(isLowerCase(p_arrName) ? p_arrName : p_arrName.toLower());
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
    return urlDecode(p_arrSource.constData(), p_arrSource.size());
}

QByteArray HttpRequest::urlDecode(const char* p_pSource, int p_nSize)
{
    // One pass: a decoded byte is never looked at again, so "%2541" gives
    // "%41"; a "%" without two hex digits after it stays, and the scan goes
    // on right after it.
    QByteArray decoded(p_nSize, Qt::Uninitialized);
    char* out = decoded.data();
    for (int i = 0; i < p_nSize; ++i) {
        const char c = p_pSource[i];
        if (c == '%' && i + 2 < p_nSize) {
            const int high = hexValue(p_pSource[i + 1]);
            const int low = hexValue(p_pSource[i + 2]);
            if (high >= 0 && low >= 0) {
                *out++ = char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        *out++ = c == '+' ? ' ' : c;
    }
    decoded.truncate(int(out - decoded.constData()));
    return decoded;
}
