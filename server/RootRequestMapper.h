#pragma once

#include "HttpRequestHandler.h"
#include "vecParameter.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QMetaType>
#include <QPair>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

#include <atomic>
#include <optional>

class HttpRequest;
class HttpResponse;
class HttpV0Processor;
class HttpV1Processor;
class serverContext_c;
class telegramExchange_c;

// The one request handler behind the listener of a port. service() stamps
// each request with an id and its arrival time, checks basic authentication,
// copies the request into a request_t, picks the branch that answers it by
// path, content type and parameters, lets the hook receiver change the answer
// (serviceHook) and reports the outcome through the signals below.
//
// Threads: service() runs concurrently in every connection worker thread of
// the port; the mapper holds no per-request state. serviceHook is meant for
// exactly one receiver connected with Qt::DirectConnection: its slot runs in
// the worker thread and changes request_t/response_t before the branch uses
// them. Every other signal carries copies and is meant for queued delivery
// to the user interface thread.
//
// Settings come from the server context at the moment they are used, so a
// changed value applies from the next request on; request ids and upload
// numbers are the context's too.
class RootRequestMapper : public HttpRequestHandler
{
    Q_OBJECT
public:
    // Ordered (name, value) text pairs; names may repeat.
    using textPairs_t = QVector<QPair<QString, QString>>;

    // A value copy of one request, for the hook and the branches.
    struct request_t
    {
        // The decoded path, followed by "?" and name=value pairs joined by "&"
        // when the request has parameters.
        QString path;
        // Filled by the protocol branches with the fields they decode.
        textPairs_t decodedParameters;
        // The request's parameters in decoding order.
        textPairs_t parameters;
        // The certificates of a TLS connection (a null certificate when the
        // client sent none); std::nullopt on plain connections.
        std::optional<QSslCertificate> localCertificate;
        std::optional<QSslCertificate> peerCertificate;
        // All request headers, names lower-case, in ascending name order.
        vecParameter_t headers;
        QByteArray body;
        QByteArray method;

        // Names compare exactly; the first matching pair wins.
        // Value from decodedParameters, empty when there is none.
        QString value(const QString& p_strName) const;
        void addValue(const QString& p_strName, const QString& p_strValue);
        // Replaces the first pair of that name in decodedParameters, else appends.
        void setValue(const QString& p_strName, const QString& p_strValue);
        // Whether parameters holds the name; its value goes to *p_pValue.
        bool hasParameter(const QString& p_strName, QString* p_pValue = nullptr) const;
        // Whether parameters holds the pair qx_api=1: a level-1 telegram
        // (JSON requests are marked so too).
        bool isLevel1() const;
        // The path, then "name:value" for every decoded pair: the log lines
        // of a protocol telegram.
        QStringList decodedLines() const;
        // The method, a blank and the path: the request's log line where a
        // branch has nothing more to tell.
        QString requestLine() const;

        // "HTTP REQUEST" with the path, then one line per parameter.
        void debugDump() const;
    };

    // The answer under construction. Texts given to the setters are stored
    // as Windows-1252 bytes; names compare exactly and the first
    // matching pair wins.
    struct response_t
    {
        int status = -1;
        QString statusText;
        // Become response headers in the protocol branches.
        QMap<QByteArray, QByteArray> fields;
        // The ordered answer items.
        vecParameter_t parameters;

        QByteArray parameter(const QString& p_strName) const;
        void addParameter(const QString& p_strName, const QString& p_strValue);
        // Replaces the first pair of that name, else appends.
        void setParameter(const QString& p_strName, const QString& p_strValue);
        // Removes the first pair of that name; the others keep their order.
        void removeParameter(const QString& p_strName);
        void setField(const QString& p_strName, const QString& p_strValue);

        // "HTTP RESPONSE" with status and text, then one line per item.
        void debugDump() const;
    };

    // Creates both protocol processors and relays their notifications.
    // p_context must outlive the mapper.
    RootRequestMapper(serverContext_c& p_context, const QString& p_strName, QObject* p_pParent = nullptr);
    ~RootRequestMapper() override;

    void service(HttpRequest& p_request, HttpResponse& p_response) override;

    QString name() const { return m_strName; }
    // Whether the port runs TLS; informational, set at start-up.
    void setSecure(bool p_bSecure) { m_bSecure = p_bSecure; }
    bool isSecure() const { return m_bSecure; }
    // Detailed request traces on the debug output: written when the flag is
    // set (start-up sets it) and the category "qx.mapper" lets debug lines
    // through, so they follow --verbose and QT_LOGGING_RULES.
    void setDebugOutput(bool p_bDebugOutput) { m_bDebugOutput = p_bDebugOutput; }
    bool debugOutput() const;

    // Registers every type that the mapper's signals carry across threads,
    // under the names that queued connections use: "QVector< int >",
    // "QHostAddress", "vecParameter_t", "RootRequestMapper::request_t",
    // "RootRequestMapper::response_t" and
    // "std::vector< std::pair< QByteArray, QByteArray > >". May be called
    // any number of times; call it before the first listener starts.
    static void registerMetaTypes();

signals:
    // At the end of every request; p_received in UTC.
    void requestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs, int p_nStatus,
                          QVariant p_data);
    // Right after requestProcessed, the same facts as a map ("Request-ID",
    // "Receiving-Time", "Host", "Request-Path", "Response-Status",
    // "Processing-Time", "Request-Data", "Request as String", "Request-Method", and for
    // uploads "Filepath on Server").
    void requestFinished(QVariantMap p_info);
    // The very last report of a request, emitted (only when connected) as
    // service() returns, after every other signal of that job: from then on
    // nothing more arrives for p_nId.
    void requestDone(int p_nId);
    void receivedFile(QHostAddress p_peer, int p_nId, QString p_strSourceFn, QString p_strDestFn);
    // One data record, as received.
    void receivedDataset(int p_nId, vecParameter_t p_parameter);
    // A response body: mode 0 as transmitted, mode 1 the readable form of an
    // enciphered answer.
    void bodyContent(int p_nId, QByteArray p_arrData, int p_nMode);
    // Before the JSON, download and protocol branches build their answer.
    void serviceHook(QHostAddress p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                     RootRequestMapper::response_t& p_response);
    // Notes from the protocol processors (reason 0: checksum mismatch).
    void sendNotification(int p_nRequestId, int p_nReason, QString p_strNote);

private:
    // Everything one request needs on its way through service(); lives on
    // the worker thread's stack and is handed to the branch functions.
    struct context_t
    {
        context_t(HttpRequest& p_request, HttpResponse& p_response)
            : httpRequest(p_request), httpResponse(p_response)
        {
        }

        HttpRequest& httpRequest;
        HttpResponse& httpResponse;
        int id = 0;
        QHostAddress peer;
        QDateTime received;
        QElapsedTimer clock;
        // The decoded request path without scheme and host.
        QByteArray path;
        request_t request;
        response_t response;
        // Where an upload was stored ("Filepath on Server").
        QString serverFilePath;
        // The branch's log lines (a text list, or a text); invalid if none.
        QVariant requestData;
        bool authFailed = false;
        // The Authorization header and its decoded credentials.
        QByteArray authorization;
        QString credentials;
    };
    // A branch answers the request selected for it: the dispatch has set
    // the "qx-handler" header already, and the branch ends with finish()
    // (or reports the end itself where its answer requires).
    using branch_t = void (RootRequestMapper::*)(context_t&);
    struct route_t
    {
        const char* handlerTag;
        branch_t branch;
    };

    // Request intake and the end of every branch (RootRequestMapper.cpp).
    void appendToRequestLog(const context_t& p_context, const QString& p_strFileNamePattern) const;
    void checkAuthentication(context_t& p_context) const;
    void takeRequest(context_t& p_context) const;
    route_t selectRoute(const context_t& p_context) const;
    // Emits requestProcessed, then requestFinished (when connected).
    void finish(context_t& p_context);
    void answerJson(context_t& p_context);
    void answerAuthenticationFailed(context_t& p_context);
    void answerDefaultPage(context_t& p_context);

    // Steps both protocol levels share (RootRequestMapperTelegram.cpp).
    // Deciphers or copies the telegram into decodedParameters. A failed
    // cipher-end check is answered and finished here; false then.
    bool openTelegram(context_t& p_context, telegramExchange_c& p_exchange);
    // receivedDataset with the parameters as received.
    void emitReceivedRecord(const context_t& p_context);
    // The method goes in front of the first log line, the record out, and
    // response_t.fields become response headers.
    void deliverTelegram(context_t& p_context);
    // Sends the bodies built in p_exchange (trace, bodyContent, the write)
    // and finishes.
    void sendTelegramAnswer(context_t& p_context, const telegramExchange_c& p_exchange);

    // Protocol level 0 (RootRequestMapperLevel0.cpp).
    void answerLevel0(context_t& p_context);
    void traceLevel0Checksum(const context_t& p_context) const;

    // Download area (RootRequestMapperDownload.cpp).
    void answerDownload(context_t& p_context);
    // Serves one file of the download area for p_strPath (a path such as
    // /download-area/name, possibly with something in front of the prefix)
    // and returns the log lines. Anything that is not a readable regular
    // file inside the download directory gets the 404 page.
    QStringList serveFile(const QString& p_strPath, HttpResponse& p_response) const;

    // Upload area, firmware area, data generator, IFF endpoint
    // (RootRequestMapperFileAreas.cpp).
    void answerUpload(context_t& p_context);
    void answerFirmwareGet(context_t& p_context);
    void answerFirmwareReflect(context_t& p_context);
    void answerGenerator(context_t& p_context);
    void answerIff(context_t& p_context);
    // Both upload branches: the form, or the uploaded file of the field
    // "filename" stored under the next upload number. They differ only in
    // the answer to a stored file that cannot be created.
    void receiveUpload(context_t& p_context, int p_nCreateFailedStatus,
                       const QByteArray& p_arrCreateFailedText);

    // Protocol level 1 (RootRequestMapperLevel1.cpp).
    void answerLevel1(context_t& p_context);
    // Answers with the first "__file_data__" (its value is the body) or
    // "__file__" (a download-area file) item of the answer and finishes;
    // false when the answer has neither.
    bool answerWithFile(context_t& p_context);

    serverContext_c& m_context;
    const QString m_strName;
    std::atomic<bool> m_bSecure{false};
    std::atomic<bool> m_bDebugOutput{false};
    HttpV1Processor* m_pV1Processor;
    HttpV0Processor* m_pV0Processor;
};

Q_DECLARE_METATYPE(RootRequestMapper::request_t)
Q_DECLARE_METATYPE(RootRequestMapper::response_t)
Q_DECLARE_METATYPE(QHostAddress)
