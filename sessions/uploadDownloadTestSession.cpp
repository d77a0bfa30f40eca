#include "uploadDownloadTestSession.h"
#include "sessionLog.h"

#include "iffBuilder.h"
#include "iffChunkCollector.h"
#include "iffFileBuilders.h"
#include "iffParser.h"

#include <QBuffer>
#include <QDebug>

namespace {

enum state_t
{
    sendList = 0,
    awaitUpload = 1
};

} // namespace

std::unique_ptr<session_t> testHttpUploadDownloadSession_t::create() const
{
    return std::make_unique<testHttpUploadDownloadSession_t>();
}

statistics_t testHttpUploadDownloadSession_t::statistics() const
{
    return statistics_t{
        {0, int(m_nGood)}, {1, int(m_nUnparsable)}, {2, int(m_nWithoutData)}, {3, int(m_nWrongContent)}};
}

QByteArray testHttpUploadDownloadSession_t::listLine(int p_nCycle, int p_nLine)
{
    return (QByteArray::number(p_nCycle) + '\t' + QByteArray::number(p_nLine) +
            "\t1234567890abcdefghijklmnopqrstuvwxyz")
        .trimmed();
}

void testHttpUploadDownloadSession_t::processRequest(const QHostAddress&, int,
                                                     RootRequestMapper::request_t& p_request,
                                                     RootRequestMapper::response_t& p_response)
{
    noteActivity();
    QString table;
    if (!p_request.hasParameter(QStringLiteral("qx_table"), &table) || table != QLatin1String("Alive"))
        return;
    if (m_nState == sendList) {
        p_response.status = 200;
        p_response.parameters.emplace_back("__file_data__", nextList());
        m_nState = awaitUpload;
    } else {
        // Asked again with every "Alive" until the upload arrives.
        p_response.addParameter(QStringLiteral("qx_send_file"),
                                QStringLiteral("/upload-area/,list,setup,liste"));
    }
}

QByteArray testHttpUploadDownloadSession_t::nextList()
{
    ++m_nCycle;
    m_lines.clear();
    QByteArray data;
    for (int line = 1; line <= listLines; ++line) {
        m_lines.insert(line, listLine(m_nCycle, line));
        data += m_lines.value(line) + "\r\n";
    }
    QString creator;
    QString version;
    const QByteArray file =
        qxIff_n::buildIffFile(qxIff_n::buildSetupListData(data, QStringLiteral("Liste")), creator, version);
    QBuffer check;
    check.setData(file);
    // Reported, and sent all the same: the device's answer tells the rest.
    if (!qxIff_n::testFileIsQxWebIff(&check, true))
        qCDebug(lcSessions) << "Invalid IFF DATA: IS_IFF?" << false << file;
    return file;
}

void testHttpUploadDownloadSession_t::processFileUpload(const QHostAddress&, int, const QString&,
                                                        const QString& p_strDestFn)
{
    noteActivity();
    const QByteArray bytes = readUpload(p_strDestFn);

    qxIff_n::iffChunkCollector_t collector;
    if (!collector.collect(bytes)) {
        ++m_nUnparsable;
        return;
    }
    const auto data = collector.chunks.constFind("FORM QXIF FORM QXF0 DATA");
    if (data == collector.chunks.cend()) {
        ++m_nWithoutData;
        return;
    }

    int ok = 0;
    for (const QByteArray& part : data.value().split('\n')) {
        const QByteArray line = part.trimmed();
        const int firstTab = line.indexOf('\t');
        if (firstTab < 1)
            continue;
        // A line is "<cycle> TAB <number> TAB <text>", and it is compared
        // with the line of the same number that was sent: the number is the
        // field after the first TAB, not the cycle before it.
        const int secondTab = line.indexOf('\t', firstTab + 1);
        const int number = line.mid(firstTab + 1, secondTab < 0 ? -1 : secondTab - firstTab - 1).toInt();
        // A number never sent enters the list empty, so the cycle fails.
        if (line == m_lines[number])
            ++ok;
    }
    if (ok == m_lines.size()) {
        ++m_nGood;
    } else {
        addLogMessage(QStringLiteral("Error: %1 of %2 data records ok").arg(ok).arg(m_lines.size()));
        ++m_nWrongContent;
    }
    m_nState = sendList;
}
