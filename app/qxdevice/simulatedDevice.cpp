#include "simulatedDevice.h"

#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTextStream>

#include <algorithm>

namespace {

// Every fifth telegram of a slow device comes late.
const int kSlowEvery = 5;
// After an upload the device takes a moment before its next telegram, as a
// real one does to close the file: the server has looked at the file by
// then.
const int kAfterUploadMs = 250;

struct answer_t
{
    int status = 0;
    QByteArray body;
    bool close = false; // the server ends the connection after this answer
};

// The body of a chunked answer in p_arrData (after the header); false
// while more bytes are needed.
bool readChunks(const QByteArray& p_arrData, QByteArray* p_pBody)
{
    QByteArray body;
    int position = 0;
    for (;;) {
        const int lineEnd = p_arrData.indexOf("\r\n", position);
        if (lineEnd < 0)
            return false;
        bool ok = false;
        // Chunk extensions after ";" are not used.
        const int size =
            p_arrData.mid(position, lineEnd - position).split(';').first().trimmed().toInt(&ok, 16);
        if (!ok || size < 0)
            return false;
        position = lineEnd + 2;
        if (size == 0) {
            // No trailers: the empty line ends the answer.
            if (p_arrData.size() < position + 2)
                return false;
            *p_pBody = body;
            return true;
        }
        if (p_arrData.size() < position + size + 2)
            return false;
        body += p_arrData.mid(position, size);
        position += size + 2;
    }
}

// The complete HTTP answer at the start of p_arrData; false while more
// bytes are needed. p_bClosed: the server closed the connection, so an
// answer without a length ends there.
bool parseAnswer(const QByteArray& p_arrData, bool p_bClosed, answer_t* p_pAnswer)
{
    const int headerEnd = p_arrData.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = p_arrData.left(headerEnd).split('\n');
    const QList<QByteArray> statusLine = lines.first().split(' ');
    p_pAnswer->status = statusLine.size() > 1 ? statusLine.at(1).toInt() : 0;
    p_pAnswer->close = lines.first().startsWith("HTTP/1.0");
    int length = -1;
    bool chunked = false;
    for (const QByteArray& line : lines) {
        const QByteArray lower = line.toLower();
        if (lower.startsWith("content-length:"))
            length = line.mid(15).trimmed().toInt();
        else if (lower.startsWith("connection:"))
            p_pAnswer->close = lower.mid(11).trimmed() == "close";
        else if (lower.startsWith("transfer-encoding:"))
            chunked = lower.mid(18).trimmed() == "chunked";
    }
    const QByteArray body = p_arrData.mid(headerEnd + 4);
    if (chunked)
        return readChunks(body, &p_pAnswer->body);
    if (length < 0) {
        p_pAnswer->body = body;
        p_pAnswer->close = true;
        return p_bClosed;
    }
    if (body.size() < length)
        return false;
    p_pAnswer->body = body.left(length);
    return true;
}

QString summary(const devicePairs_t& p_pairs)
{
    QStringList parts;
    for (const auto& pair : p_pairs)
        parts << QString::fromLatin1(pair.first) + QLatin1Char('=') + pair.second;
    return parts.isEmpty() ? QStringLiteral("(poll)") : parts.join(QLatin1Char('&'));
}

} // namespace

simulatedDevice_c::simulatedDevice_c(int p_nNumber, const QHostAddress& p_source, const QString& p_strType,
                                     const deviceOptions_t& p_options, QObject* p_pParent)
    : QObject(p_pParent), m_nNumber(p_nNumber), m_source(p_source), m_options(p_options),
      m_model(p_strType, p_options.json ? 1 : p_options.level)
{
    m_statistics.name = p_source.toString();
    m_model.setFaults(p_options.faults);
    m_model.setDeviceName(m_statistics.name);
    m_timer.setSingleShot(true);
    // Coarse timers of one interval fire together on shared boundaries, so a
    // fleet would poll in bursts; each device keeps its own phase instead.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &simulatedDevice_c::sendTelegram);
    m_exchangeTimeout.setSingleShot(true);
    connect(&m_exchangeTimeout, &QTimer::timeout, this, [this] { readAnswer(true); });
}

void simulatedDevice_c::start()
{
    sendTelegram();
}

void simulatedDevice_c::stop()
{
    if (m_bStopped)
        return;
    m_bStopped = true;
    m_timer.stop();
    m_exchangeTimeout.stop();
    // The exchange under way is dropped, not counted as unanswered.
    dropConnection();
    emit finished();
}

QByteArray simulatedDevice_c::header(const QByteArray& p_arrMethod, const QString& p_strTarget) const
{
    return p_arrMethod + ' ' + p_strTarget.toUtf8() +
           " HTTP/1.1\r\nHost: " + m_options.server.authority().toUtf8() +
           (m_options.keepAlive ? QByteArray("\r\n") : QByteArray("\r\nConnection: close\r\n"));
}

void simulatedDevice_c::sendTelegram()
{
    if (m_bStopped)
        return;
    if (m_options.requests > 0 && m_statistics.requests >= m_options.requests) {
        stop();
        return;
    }
    const devicePairs_t record = m_model.nextRecord();
    const bool isRecord = m_model.hasRecord();
    const bool breakOff = (m_options.faults & deviceFaults_n::DisconnectMidRequest) && !m_bRetry;
    ++m_statistics.requests;

    if (m_options.json) {
        const QByteArray body = deviceTelegram_c::jsonRecord(record);
        exchange(
            header("POST", m_options.path) + "Content-Type: application/json\r\nContent-Length: " +
                QByteArray::number(body.size()) + "\r\n\r\n" + body,
            [this, record, isRecord](int p_nStatus, const QByteArray& p_arrBody) {
                telegramAnswered(record, isRecord, p_nStatus, deviceTelegram_c::readJsonAnswer(p_arrBody),
                                 false);
            },
            breakOff);
        return;
    }
    // A fresh cipher-begin value per telegram.
    auto telegram = std::make_shared<deviceTelegram_c>(
        m_options.level, m_options.key, QString::number(m_nNumber * 100000 + int(++m_nCipherCount % 100000)));
    const QByteArray query = telegram->query(record, m_options.faults);
    exchange(
        header("GET", m_options.path + QLatin1Char('?') + QString::fromLatin1(query)) + "\r\n",
        [this, telegram, record, isRecord](int p_nStatus, const QByteArray& p_arrBody) {
            // A level-1 answer may be a file instead of items.
            const bool provisioned = m_options.level == 1 && p_nStatus == 200 &&
                                     p_arrBody.startsWith("FORM") && m_model.provisionFile(p_arrBody);
            telegramAnswered(record, isRecord, p_nStatus,
                             provisioned ? devicePairs_t() : telegram->readAnswer(p_arrBody), provisioned);
        },
        breakOff);
}

void simulatedDevice_c::telegramAnswered(const devicePairs_t& p_record, bool p_bIsRecord, int p_nStatus,
                                         const devicePairs_t& p_answer, bool p_bProvisioned)
{
    const bool acknowledged =
        p_nStatus == 200 &&
        (p_bProvisioned || deviceTelegram_c::isAcknowledged(m_options.json ? 1 : m_options.level, p_answer));
    if (!acknowledged)
        ++m_statistics.errors;
    if (!m_options.quiet) {
        QTextStream(stdout) << m_source.toString() << ' ' << summary(p_record) << " -> " << p_nStatus << ' '
                            << (p_bProvisioned ? QStringLiteral("(file)") : summary(p_answer)) << '\n';
    }
    // A telegram broken off on purpose goes out again at once, the next one
    // is broken off again.
    m_bRetry = p_nStatus == 0 && (m_options.faults & deviceFaults_n::DisconnectMidRequest) && !m_bRetry;
    // A record not acknowledged stays and goes out again.
    if (acknowledged && p_bIsRecord)
        m_model.recordDelivered();
    if (p_nStatus == 200)
        m_fetches += m_model.processAnswer(p_answer);
    fetchNext();
}

void simulatedDevice_c::fetchNext()
{
    if (m_bStopped)
        return;
    if (m_fetches.isEmpty()) {
        scheduleNext();
        return;
    }
    const deviceModel_c::fetch_t fetch = m_fetches.takeFirst();
    const QByteArray request = fetch.isUpload() ? upload(fetch) : header("GET", fetch.path) + "\r\n";
    exchange(request, [this, fetch](int p_nStatus, const QByteArray& p_arrBody) {
        if (!m_options.quiet)
            QTextStream(stdout) << m_source.toString() << (fetch.isUpload() ? " POST " : " GET ")
                                << fetch.path
                                << (fetch.isUpload() ? QLatin1Char(' ') + fetch.uploadName : QString())
                                << " -> " << p_nStatus << ' '
                                << (fetch.isUpload() ? fetch.content : p_arrBody).size() << " bytes\n";
        if (p_nStatus != 200)
            ++m_statistics.errors;
        m_bUploaded = m_bUploaded || fetch.isUpload();
        m_model.fileFetched(fetch, p_arrBody, p_nStatus == 200);
        fetchNext();
    });
}

QByteArray simulatedDevice_c::upload(const deviceModel_c::fetch_t& p_fetch) const
{
    // A form with the action and the file, as the device's HTTP client sends it.
    const QByteArray boundary = "qxdevice-" + QByteArray::number(m_nNumber);
    const QByteArray part = "--" + boundary + "\r\nContent-Disposition: form-data; name=";
    const QByteArray form = part + "\"action\"\r\n\r\nupload\r\n" + part + "\"filename\"; filename=\"" +
                            p_fetch.uploadName.toUtf8() +
                            "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + p_fetch.content +
                            "\r\n--" + boundary + "--\r\n";
    return header("POST", p_fetch.path) + "Content-Type: multipart/form-data; boundary=" + boundary +
           "\r\nContent-Length: " + QByteArray::number(form.size()) + "\r\n\r\n" + form;
}

void simulatedDevice_c::scheduleNext()
{
    if (m_bRetry) {
        m_timer.start(0);
        return;
    }
    // Waiting records go out at once, a poll after the pause (the first one
    // after its own); a slow device keeps the server waiting now and then.
    int pauseMs = m_model.hasRecord() ? 0 : m_options.pollMs;
    if (!m_bPausedOnce && !m_model.hasRecord()) {
        pauseMs = m_options.firstPauseMs;
        m_bPausedOnce = true;
    }
    if (m_bUploaded)
        pauseMs = std::max(pauseMs, kAfterUploadMs);
    if ((m_options.faults & deviceFaults_n::Slow) && m_statistics.requests % kSlowEvery == 0)
        pauseMs = m_options.slowMs;
    m_bUploaded = false;
    m_timer.start(pauseMs);
}

void simulatedDevice_c::exchange(const QByteArray& p_arrRequest, const reply_t& p_reply, bool p_bBreakOff)
{
    m_arrRequest = p_arrRequest;
    m_arrAnswer.clear();
    m_reply = p_reply;
    m_bBreakOff = p_bBreakOff;
    m_bBusy = true;
    m_exchangeClock.start();
    m_exchangeTimeout.start(m_options.timeoutMs);
    if (m_pSocket && m_pSocket->state() == QAbstractSocket::ConnectedState)
        writeRequest();
    else
        openConnection();
}

void simulatedDevice_c::openConnection()
{
    dropConnection();
    const bool tls = m_options.server.scheme() == QLatin1String("https");
    QAbstractSocket* socket = nullptr;
    if (tls) {
        auto* sslSocket = new QSslSocket(this);
        sslSocket->setSslConfiguration(m_options.tls);
        if (m_options.insecure)
            sslSocket->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(sslSocket, &QSslSocket::encrypted, this, &simulatedDevice_c::writeRequest);
        socket = sslSocket;
    } else {
        socket = new QTcpSocket(this);
        connect(socket, &QAbstractSocket::connected, this, &simulatedDevice_c::writeRequest);
    }
    m_pSocket = socket;
    ++m_statistics.connections;
    connect(socket, &QIODevice::readyRead, this, [this] { readAnswer(false); });
    connect(socket, &QAbstractSocket::disconnected, this, [this] { readAnswer(true); });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { readAnswer(true); });
    if (!m_source.isNull())
        socket->bind(m_source);
    const quint16 port = quint16(m_options.server.port(tls ? 443 : 80));
    if (tls)
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(m_options.server.host(), port);
    else
        socket->connectToHost(m_options.server.host(), port);
}

void simulatedDevice_c::writeRequest()
{
    if (!m_bBusy || !m_pSocket)
        return;
    if (!m_bBreakOff) {
        m_pSocket->write(m_arrRequest);
        return;
    }
    // Half the request, then the device hangs up; the exchange ends
    // unanswered. The socket lives on until what it holds went out.
    QAbstractSocket* socket = m_pSocket;
    m_pSocket = nullptr;
    socket->disconnect(this);
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(m_options.timeoutMs, socket, &QObject::deleteLater);
    socket->write(m_arrRequest.left(m_arrRequest.size() / 2));
    socket->disconnectFromHost();
    finishExchange(0, QByteArray(), false);
}

void simulatedDevice_c::readAnswer(bool p_bClosed)
{
    if (!m_bBusy)
        return;
    if (m_pSocket)
        m_arrAnswer += m_pSocket->readAll();
    answer_t answer;
    if (parseAnswer(m_arrAnswer, p_bClosed, &answer)) {
        finishExchange(answer.status, answer.body, m_options.keepAlive && !answer.close && !p_bClosed);
        return;
    }
    if (p_bClosed)
        finishExchange(0, QByteArray(), false);
}

void simulatedDevice_c::finishExchange(int p_nStatus, const QByteArray& p_arrBody, bool p_bKeep)
{
    m_bBusy = false;
    m_exchangeTimeout.stop();
    if (p_nStatus != 0)
        m_statistics.latenciesUs.append(m_exchangeClock.nsecsElapsed() / 1000);
    ++m_statistics.statuses[p_nStatus];
    if (!p_bKeep)
        dropConnection();
    const reply_t reply = std::move(m_reply);
    m_reply = nullptr;
    if (!m_bStopped && reply)
        reply(p_nStatus, p_arrBody);
}

void simulatedDevice_c::dropConnection()
{
    if (!m_pSocket)
        return;
    QAbstractSocket* socket = m_pSocket;
    m_pSocket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
