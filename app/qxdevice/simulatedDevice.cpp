#include "simulatedDevice.h"

#include <QTcpSocket>
#include <QTextStream>

#include <cstdio>

namespace {

// The status and the body of a complete HTTP answer in p_arrData; false
// while more bytes are needed. p_bClosed: the server closed the connection.
bool parseAnswer(const QByteArray& p_arrData, bool p_bClosed, int* p_pStatus, QByteArray* p_pBody)
{
    const int headerEnd = p_arrData.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = p_arrData.left(headerEnd).split('\n');
    const QList<QByteArray> statusLine = lines.first().split(' ');
    *p_pStatus = statusLine.size() > 1 ? statusLine.at(1).toInt() : 0;
    int length = -1;
    for (const QByteArray& line : lines) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toInt();
    }
    const QByteArray body = p_arrData.mid(headerEnd + 4);
    if (length < 0) {
        *p_pBody = body;
        return p_bClosed;
    }
    if (body.size() < length)
        return false;
    *p_pBody = body.left(length);
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
    : QObject(p_pParent), m_nNumber(p_nNumber), m_source(p_source), m_options(p_options), m_model(p_strType)
{
    m_statistics.name = p_source.toString();
    m_model.setFaults(p_options.faults);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &simulatedDevice_c::sendTelegram);
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
    // The exchange under way is dropped, not counted as unanswered.
    if (m_pSocket) {
        m_pSocket->disconnect(this);
        m_pSocket->abort();
    }
    emit finished();
}

QByteArray simulatedDevice_c::get(const QString& p_strTarget) const
{
    return "GET " + p_strTarget.toUtf8() + " HTTP/1.1\r\nHost: " + m_options.server.host().toUtf8() +
           "\r\nConnection: close\r\n\r\n";
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
    // A fresh cipher-begin value per telegram.
    auto telegram = std::make_shared<deviceTelegram_c>(
        m_options.level, m_options.key, QString::number(m_nNumber * 100000 + int(++m_nCipherCount % 100000)));
    const QByteArray query = telegram->query(record, m_options.faults);
    ++m_statistics.requests;
    exchange(get(m_options.path + QLatin1Char('?') + QString::fromLatin1(query)),
             [this, telegram, record, isRecord](int p_nStatus, const QByteArray& p_arrBody) {
                 const devicePairs_t answer = telegram->readAnswer(p_arrBody);
                 const bool acknowledged = p_nStatus == 200 && telegram->isAcknowledged(answer);
                 if (!acknowledged)
                     ++m_statistics.errors;
                 if (!m_options.quiet) {
                     QTextStream(stdout) << m_source.toString() << ' ' << summary(record) << " -> "
                                         << p_nStatus << ' ' << summary(answer) << '\n';
                 }
                 // A record not acknowledged stays and goes out again.
                 if (acknowledged && isRecord)
                     m_model.recordDelivered();
                 if (p_nStatus == 200)
                     m_fetches += m_model.processAnswer(answer);
                 fetchNext();
             });
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
    const QByteArray request = fetch.isUpload() ? upload(fetch) : get(fetch.path);
    exchange(request, [this, fetch](int p_nStatus, const QByteArray& p_arrBody) {
        if (!m_options.quiet)
            QTextStream(stdout) << m_source.toString() << (fetch.isUpload() ? " POST " : " GET ")
                                << fetch.path << ' ' << (fetch.isUpload() ? fetch.uploadName : QString())
                                << " -> " << p_nStatus << ' '
                                << (fetch.isUpload() ? fetch.content : p_arrBody).size() << " bytes\n";
        if (p_nStatus != 200)
            ++m_statistics.errors;
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
    return "POST " + p_fetch.path.toUtf8() + " HTTP/1.1\r\nHost: " + m_options.server.host().toUtf8() +
           "\r\nConnection: close\r\nContent-Type: multipart/form-data; boundary=" + boundary +
           "\r\nContent-Length: " + QByteArray::number(form.size()) + "\r\n\r\n" + form;
}

void simulatedDevice_c::scheduleNext()
{
    // Waiting records go out at once, a poll after the pause.
    m_timer.start(m_model.hasRecord() ? 0 : m_options.pollMs);
}

void simulatedDevice_c::exchange(const QByteArray& p_arrRequest, const reply_t& p_reply)
{
    auto* socket = new QTcpSocket(this);
    m_pSocket = socket;
    auto data = std::make_shared<QByteArray>();
    auto clock = std::make_shared<QElapsedTimer>();
    auto done = std::make_shared<bool>(false);
    const auto finish = [this, socket, data, clock, done, p_reply](bool p_bClosed) {
        if (*done)
            return;
        int status = 0;
        QByteArray body;
        if (!parseAnswer(*data, p_bClosed, &status, &body)) {
            if (!p_bClosed)
                return;
            status = 0;
        }
        *done = true;
        if (status != 0)
            m_statistics.latenciesUs.append(clock->nsecsElapsed() / 1000);
        ++m_statistics.statuses[status];
        if (m_pSocket == socket)
            m_pSocket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        if (!m_bStopped)
            p_reply(status, body);
    };
    connect(socket, &QTcpSocket::connected, this, [socket, p_arrRequest] { socket->write(p_arrRequest); });
    connect(socket, &QTcpSocket::readyRead, this, [socket, data, finish] {
        *data += socket->readAll();
        finish(false);
    });
    connect(socket, &QTcpSocket::disconnected, this, [socket, data, finish] {
        *data += socket->readAll();
        finish(true);
    });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [finish](QAbstractSocket::SocketError) { finish(true); });
    QTimer::singleShot(m_options.timeoutMs, socket, [finish] { finish(true); });
    clock->start();
    if (!m_source.isNull())
        socket->bind(m_source);
    socket->connectToHost(m_options.server.host(), quint16(m_options.server.port(80)));
}
