#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QMultiMap>
#include <QPair>
#include <QString>
#include <QVector>

#include <memory>

class HttpSettings;
class QIODevice;
class QSslCertificate;
class QTemporaryFile;

// One HTTP/1.x request, received incrementally. The connection handler calls
// consume() while bytes are available and status() is neither Complete nor
// Aborted; consume() never blocks and never reads past the end of this request,
// so pipelined requests stay in the device for the next HttpRequest.
//
// Limits (read from the settings when the object is made): request line,
// headers and a plain body together may hold maxRequestSize bytes (default
// 16000); a multipart body may hold up to maxMultiPartSize bytes (default
// 1000000) and is streamed into a temporary file rather than kept in memory.
// A broken request line, an exceeded limit or a body whose length is not
// clear ends in Aborted. The length is clear only from Content-Length
// headers that all hold the same plain decimal number; any Transfer-Encoding
// makes it unclear.
//
// Used in one thread only (the connection's worker thread).
class HttpRequest
{
public:
    enum RequestState
    {
        WaitingForRequestLine,
        WaitingForHeaders,
        WaitingForBody,
        Complete,
        Aborted
    };

    using ParameterList = QVector<QPair<QString, QString>>;

    // p_pSettings must outlive the constructor call only.
    explicit HttpRequest(HttpSettings* p_pSettings);
    virtual ~HttpRequest();

    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // Takes the bytes of this request that have arrived on p_pDevice (see
    // feed()); the bytes of a following request stay in the device. Any
    // QIODevice will do; from a QAbstractSocket the peer address is taken,
    // from a QSslSocket also the certificates of both ends (on the first
    // call).
    void consume(QIODevice* p_pDevice);
    // Parses the next p_nSize bytes of the request and returns how many of
    // them belong to it: all, unless the request became Complete or Aborted
    // on the way, in which case the rest belongs to whatever follows. Lines
    // are found in the bytes given; only a line split between two calls is
    // kept until its end arrives.
    qint64 feed(const char* p_pData, qint64 p_nSize);

    RequestState status() const { return m_state; }

    QByteArray method() const { return m_method; }
    QByteArray version() const { return m_version; }
    // The target as received, without the query once the request is complete.
    QByteArray undecodedPath() const { return m_path; }
    QByteArray path() const { return m_bDecoded ? m_decodedPath : urlDecode(m_path); }

    // Header names are stored lower-case; p_arrName is compared after
    // lower-casing. header() gives the latest value, headers() all values in
    // the order received. Cookie headers are removed once they are parsed.
    QByteArray header(const QByteArray& p_arrName) const;
    QList<QByteArray> headers(const QByteArray& p_arrName) const;
    const QMultiMap<QByteArray, QByteArray>& headerMap() const { return m_headers; }

    // Decoded parameters from the query, an URL-encoded body and multipart
    // fields (a file field's value is its file name). parameter() gives the
    // latest value, parameters() all values in the order decoded.
    QByteArray parameter(const QByteArray& p_arrName) const;
    QList<QByteArray> parameters(const QByteArray& p_arrName) const;
    const QMultiMap<QByteArray, QByteArray>& parameterMap() const { return m_parameters; }
    // All parameters in decoding order: multipart fields first, then the
    // query; otherwise the query first, then the body. Each text holds the
    // decoded bytes up to the first zero byte, read as UTF-8.
    const ParameterList& parameterList() const { return m_parameterList; }

    // Raw body bytes; empty for multipart bodies.
    QByteArray body() const { return m_body; }

    // The temporary file of a multipart file field, positioned at its start,
    // or nullptr. Owned by the request and removed with it. A later field of
    // the same name replaces an earlier one.
    QTemporaryFile* uploadedFile(const QByteArray& p_arrFieldName) const;

    QByteArray cookie(const QByteArray& p_arrName) const { return m_cookies.value(p_arrName); }
    const QMap<QByteArray, QByteArray>& cookieMap() const { return m_cookies; }

    QHostAddress peerAddress() const { return m_peerAddress; }
    // nullptr unless the request was read from a TLS socket; a null
    // certificate when the client sent none. Owned by the request.
    const QSslCertificate* localCertificate() const { return m_pLocalCertificate.get(); }
    const QSslCertificate* peerCertificate() const { return m_pPeerCertificate.get(); }

    // "+" becomes a blank, "%" with two hex digits the byte they denote; any
    // other "%" stays as it is.
    static QByteArray urlDecode(const QByteArray& p_arrSource);
    static QByteArray urlDecode(const char* p_pSource, int p_nSize);

private:
    // Each takes what the current state allows from the bytes given and
    // returns how many it took (at least one).
    qint64 feedLine(const char* p_pData, qint64 p_nSize);
    qint64 feedBody(const char* p_pData, qint64 p_nSize);
    qint64 feedMultipartBody(const char* p_pData, qint64 p_nSize);
    // A whole line, without the white space around it.
    void takeRequestLine(const char* p_pBegin, const char* p_pEnd);
    void takeHeader(const char* p_pBegin, const char* p_pEnd);
    void endOfHeaders();
    void checkSize();
    void parseMultipartFile();
    void finishPart(const QByteArray& p_arrFieldName, const QByteArray& p_arrFileName, QByteArray p_arrValue,
                    std::unique_ptr<QTemporaryFile> p_pFile);
    void decodeParameters();
    void extractCookies();
    void addParameter(const QByteArray& p_arrName, const QByteArray& p_arrValue);

    RequestState m_state = WaitingForRequestLine;
    QByteArray m_method;
    QByteArray m_path;
    QByteArray m_version;
    QMultiMap<QByteArray, QByteArray> m_headers;
    QMultiMap<QByteArray, QByteArray> m_parameters;
    ParameterList m_parameterList;
    QMap<QByteArray, QTemporaryFile*> m_uploadedFiles;
    QMap<QByteArray, QByteArray> m_cookies;
    QByteArray m_body;
    QHostAddress m_peerAddress;
    // The socket's peer, taken on the first consume(); it becomes the peer
    // address once the request line is accepted.
    QHostAddress m_socketPeer;
    bool m_bDeviceSeen = false;
    std::unique_ptr<QSslCertificate> m_pLocalCertificate;
    std::unique_ptr<QSslCertificate> m_pPeerCertificate;

    qint64 m_maxSize;
    qint64 m_maxMultiPartSize;
    qint64 m_currentSize = 0;
    qint64 m_expectedBodySize = 0;
    QByteArray m_currentHeader;
    QByteArray m_boundary;
    std::unique_ptr<QTemporaryFile> m_pTempFile;
    // The start of a line whose end has not arrived yet.
    QByteArray m_lineBuffer;
    // path() once the request is complete.
    QByteArray m_decodedPath;
    bool m_bDecoded = false;
};
