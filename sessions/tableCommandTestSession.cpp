#include "tableCommandTestSession.h"
#include "sessionLog.h"

#include "iffParser.h"
#include "mapperConstants.h"

#include <QDebug>

#include <algorithm>

namespace {

using stepResult_t = qxTableCommandTestSession_t::stepResult_t;

// Phases of a verification.
constexpr int kAwaitAnswer = 1001;
constexpr int kAskUpload = 1002;
constexpr int kAwaitUpload = 1003;

constexpr int kAlive = 1101;
constexpr int kOneLine = 1102;
constexpr int kUploaded = 1103;

const QString kSelect = QStringLiteral("list.test,/upload-area");
const QStringList kAppendNames{QStringLiteral("Zorbat"), QStringLiteral("Blavert")};
const QStringList kChangeNames{QStringLiteral("Quemp"), QStringLiteral("Blavert")};

stepResult_t goTo(int p_nState)
{
    return stepResult_t{p_nState, 0, stepResult_t::go};
}

stepResult_t stay()
{
    return stepResult_t{0, 0, stepResult_t::stay};
}

stepResult_t failTo(int p_nState, int p_nErrorKey)
{
    return stepResult_t{p_nState, p_nErrorKey, stepResult_t::countAndGo};
}

// The log text of an error key.
QString cause(int p_nKey)
{
    static const QMap<int, const char*> s_causes{
        {500, "the session was in a step that does not exist"},
        {501, "the uploaded list is no valid IFF file"},
        {502, "the changed rows were wrong three times in a row"},
        {503, "the list had more than one row before the append, or its load was answered with an error"},
        {508, "after a wrong count the list holds just its first appended row"},
        {509, "the changed rows are wrong, the change is tried again"},
        {510, "too few rows in the list"},
        {511, "too many rows in the list"},
        {513, "after a wrong count the single row is not the first appended name"},
        {1201, "the device has no list to upload"},
        {1202, "the list is empty"},
        {1203, "the device answered with reason 3002"},
        {1204, "the device cannot create an IFF file"},
        {1205, "the device gave an unexpected answer"}};
    return QString::fromUtf8(s_causes.value(p_nKey, "the device answered with an error"));
}

void debugLine(const char* p_szText)
{
    qCDebug(lcSessions).noquote() << QString::fromUtf8(p_szText);
}

// Keeps the payload of the last DATA chunk at any depth and counts the
// parser's errors.
struct lastDataChunk_t : qxIff_n::iffParserHandler_t
{
    QByteArray data;
    int errors = 0;

    lastDataChunk_t()
    {
        fnFormHandler = [](iffParserHandler_t* p_pHandler, const QByteArray&,
                           const QByteArray& p_arrPayload) {
            qxIff_n::parseIff(qxIff_n::formContents(p_arrPayload), p_pHandler);
        };
        fnChunkHandler = [](iffParserHandler_t* p_pHandler, const QByteArray& p_arrId,
                            const QByteArray& p_arrPayload) {
            if (p_arrId == "DATA")
                static_cast<lastDataChunk_t*>(p_pHandler)->data = p_arrPayload;
        };
        fnErrorHandler = [](iffParserHandler_t* p_pHandler, int, const QString& p_strMessage) {
            qCDebug(lcSessions).noquote() << "IFF:" << p_strMessage;
            ++static_cast<lastDataChunk_t*>(p_pHandler)->errors;
        };
    }
};

} // namespace

std::unique_ptr<session_t> qxTableCommandTestSession_t::create() const
{
    return std::make_unique<qxTableCommandTestSession_t>();
}

QString qxTableCommandTestSession_t::stateName() const
{
    return QStringLiteral("S %1").arg(m_nState);
}

const QMap<int, qxTableCommandTestSession_t::handler_t>& qxTableCommandTestSession_t::handlers()
{
    using t = qxTableCommandTestSession_t;
    static const QMap<int, handler_t> s_handlers{
        {0, &t::drainRecords}, {1, &t::loadList},         {7, &t::verifyLoad},    {2, &t::appendRows},
        {8, &t::verifyAppend}, {9, &t::checkAppend},      {3, &t::changeRow},     {10, &t::verifyChange},
        {11, &t::checkChange}, {4, &t::deleteRows},       {12, &t::verifyDelete}, {5, &t::countRows},
        {14, &t::checkCount},  {13, &t::checkWrongCount}, {6, &t::endCycle}};
    return s_handlers;
}

void qxTableCommandTestSession_t::count(int p_nKey)
{
    ++m_counts[p_nKey];
    if (p_nKey != 0)
        addLogMessage(QStringLiteral("Error %1 in step %2: %3").arg(p_nKey).arg(m_nState).arg(cause(p_nKey)));
}

void qxTableCommandTestSession_t::processRequest(const QHostAddress&, int, request_t& p_request,
                                                 response_t& p_response)
{
    // The device fetching the list it was told to load comes by here too:
    // a download answers nothing.
    if (p_request.path.startsWith(QLatin1String(mapperConstants_n::downloadArea)))
        return;
    const auto handler = handlers().constFind(m_nState);
    if (handler == handlers().cend()) {
        // Only a step value that went astray gets here, whether above 499 or
        // not: counted under 500 all the same. The session goes back to the
        // list load (step 1) for the next request, so that the device keeps
        // being tested rather than stuck.
        qCDebug(lcSessions).noquote() << "ERROR: the current state has a wrong value     " << m_nState;
        count(500);
        m_nState = 1;
        return;
    }
    const stepResult_t result = (this->*handler.value())(p_request, p_response);
    switch (result.code) {
    case stepResult_t::go:
        m_nState = result.nextState;
        break;
    case stepResult_t::stay:
        break;
    case stepResult_t::countAndGo:
        count(result.errorKey);
        m_nState = result.nextState;
        break;
    default:
        count(result.errorKey);
        break;
    }
}

int qxTableCommandTestSession_t::answerCode(const request_t& p_request)
{
    const QString grund = p_request.value(QStringLiteral("qx_col_grund"));
    const QString detail1 = p_request.value(QStringLiteral("qx_col_detail1"));
    const QString detail2 = p_request.value(QStringLiteral("qx_col_detail2"));
    if (detail1 == QLatin1String("test, 1 line") && detail2 == QLatin1String("test"))
        return kOneLine;
    if (grund == QLatin1String("0"))
        return 1100;
    if (grund == QLatin1String("1025"))
        return 1104;
    if (grund == QLatin1String("1016") && detail1 == QLatin1String("HTTP-Upload finished") &&
        detail2.contains(QLatin1String(".iff")))
        return kUploaded;
    if (p_request.value(QStringLiteral("qx_table")) == QLatin1String("Alive"))
        return kAlive;
    if (detail1 == QLatin1String("test, 0 line") && detail2 == QLatin1String("test"))
        return 1202;
    if (grund == QLatin1String("1012")) {
        debugLine("cannot create a iff File ");
        return 1204;
    }
    if (grund == QLatin1String("1005")) {
        debugLine("the list you tried to upload doesn't exist! ");
        return 1201;
    }
    if (grund == QLatin1String("3002"))
        return 1203;
    return 1205;
}

stepResult_t qxTableCommandTestSession_t::check(const request_t& p_request, const QVector<int>& p_expected)
{
    const int code = answerCode(p_request);
    m_received.append(code);
    if (code == kAlive)
        return goTo(0);
    if (code < 1100 || code > 1199)
        return failTo(0, code);
    // Each code received counts once for every expected code it equals.
    int matches = 0;
    for (const int received : qAsConst(m_received))
        matches += int(p_expected.count(received));
    return matches == p_expected.size() ? goTo(0) : stay();
}

stepResult_t qxTableCommandTestSession_t::verify(const request_t& p_request, response_t& p_response,
                                                 const QVector<int>& p_expected, int p_nDoneState,
                                                 int p_nFailedState)
{
    switch (m_nPhase) {
    case kAwaitAnswer:
    case kAwaitUpload: {
        const stepResult_t result =
            check(p_request, m_nPhase == kAwaitAnswer ? p_expected : QVector<int>{kUploaded});
        if (result.code == stepResult_t::stay)
            return result;
        m_received.clear();
        if (result.code == stepResult_t::go && m_nPhase == kAwaitAnswer) {
            m_nPhase = kAskUpload;
            return stay();
        }
        // Done or failed: the next verification starts from its first phase
        // (a failure would otherwise leave it in the middle of this one).
        m_nPhase = kAwaitAnswer;
        return result.code == stepResult_t::go ? goTo(p_nDoneState) : failTo(p_nFailedState, result.errorKey);
    }
    case kAskUpload:
    default:
        p_response.addParameter(QStringLiteral("qx_table_select"), kSelect);
        m_nPhase = kAwaitUpload;
        return stay();
    }
}

stepResult_t qxTableCommandTestSession_t::drainRecords(const request_t&, response_t&)
{
    // The device empties its record memory with requests in quick
    // succession; the first pause of more than half a second ends it.
    const QDateTime current = now();
    if (m_timer.isValid() && m_timer.msecsTo(current) > 500) {
        debugLine("Device should be empty now...");
        m_timer = QDateTime();
        return goTo(1);
    }
    m_timer = current;
    return stay();
}

stepResult_t qxTableCommandTestSession_t::loadList(const request_t&, response_t& p_response)
{
    m_nErrorKindsAtCycleStart = m_counts.size();
    p_response.addParameter(QStringLiteral("qx_setup_list"),
                            QStringLiteral("test,/download-area/backupList.txt"));
    return goTo(7);
}

stepResult_t qxTableCommandTestSession_t::verifyLoad(const request_t& p_request, response_t& p_response)
{
    stepResult_t result = verify(p_request, p_response, {kOneLine, 1100}, 2, 2);
    if (result.code == stepResult_t::go)
        debugLine("New list transfer successfully");
    else if (result.code == stepResult_t::countAndGo)
        result.errorKey = 503;
    return result;
}

stepResult_t qxTableCommandTestSession_t::appendRows(const request_t&, response_t& p_response)
{
    if (m_names.size() == 1) {
        int row = 2;
        for (const QString& name : kAppendNames)
            p_response.addParameter(QStringLiteral("qx_table_append"),
                                    QStringLiteral("list.test,%1,%2").arg(row++).arg(name));
        return goTo(8);
    }
    if (m_names.size() > 1)
        return failTo(4, 503);
    debugLine("die Liste scheint leerer als leer zu sein!");
    return failTo(1, 510);
}

stepResult_t qxTableCommandTestSession_t::verifyAppend(const request_t& p_request, response_t& p_response)
{
    return verify(p_request, p_response, {kUploaded}, 9, 1);
}

stepResult_t qxTableCommandTestSession_t::checkAppend(const request_t&, response_t&)
{
    const int rows = m_names.size();
    if (rows == 3) {
        debugLine("Listendaten in korrekter Zahl übernommen!");
        debugLine("Das Hinzufügen neuer Daten in die Liste ist erfolgreich!");
        return goTo(3);
    }
    if (rows > 3) {
        debugLine("Zu viele Daten im Buffer");
        return failTo(4, 511);
    }
    debugLine("Zu wenig Daten im Buffer");
    if (rows < 2)
        return failTo(2, 510);
    // Two rows: one of the appended rows is missing. Counted as too few rows
    // like the cases above, and the cycle starts over with a fresh list, as
    // appending again to a list that holds a new row would test nothing.
    return failTo(1, 510);
}

stepResult_t qxTableCommandTestSession_t::changeRow(const request_t&, response_t& p_response)
{
    p_response.addParameter(QStringLiteral("qx_table_update"),
                            QStringLiteral("list.test,name%3dZorbat,,name%3d") + kChangeNames.constFirst());
    return goTo(10);
}

stepResult_t qxTableCommandTestSession_t::verifyChange(const request_t& p_request, response_t& p_response)
{
    return verify(p_request, p_response, {kUploaded}, 11, 3);
}

stepResult_t qxTableCommandTestSession_t::checkChange(const request_t&, response_t&)
{
    int row = 2;
    for (const QString& name : kChangeNames) {
        // A row that is absent compares unequal.
        if (m_names.value(row++) == name.toUtf8())
            continue;
        if (m_nRetryCount < 3) {
            ++m_nRetryCount;
            return failTo(3, 509);
        }
        debugLine("ERROR: Listdata change was tryed 3 times, go to start...");
        m_nRetryCount = 0;
        return failTo(1, 502);
    }
    debugLine("Listdata changed correctly");
    // Key 502 stands for three failures in a row: a good change starts the
    // count anew.
    m_nRetryCount = 0;
    return goTo(4);
}

stepResult_t qxTableCommandTestSession_t::deleteRows(const request_t&, response_t& p_response)
{
    for (const QString& name : kChangeNames)
        p_response.addParameter(QStringLiteral("qx_table_delete"),
                                QStringLiteral("list.test,name%3d") + name);
    return goTo(12);
}

stepResult_t qxTableCommandTestSession_t::verifyDelete(const request_t& p_request, response_t& p_response)
{
    const QByteArray second = m_names.value(2);
    if (m_names.size() > 1 && second != "Quemp" && second != "Zorbat")
        return goTo(1);
    return verify(p_request, p_response, {kOneLine}, 5, 1);
}

stepResult_t qxTableCommandTestSession_t::countRows(const request_t&, response_t& p_response)
{
    p_response.addParameter(QStringLiteral("qx_table_count"), QStringLiteral("list.test"));
    return goTo(14);
}

stepResult_t qxTableCommandTestSession_t::checkCount(const request_t& p_request, response_t& p_response)
{
    int rows = 1;
    for (const auto& pair : p_request.decodedParameters) {
        if (pair.first != QLatin1String("kv") || !pair.second.startsWith(QLatin1String("count")))
            continue;
        const QStringList parts = pair.second.mid(5).split(QLatin1Char(','));
        if (parts.size() >= 2)
            rows = parts.at(1).toInt();
    }
    if (rows != 1) {
        p_response.addParameter(QStringLiteral("qx_table_select"), kSelect);
        debugLine("Count wurde als falsch gewertet, prüfe das.....");
        return goTo(13);
    }
    debugLine("Daten wurden korrekt aus der Liste gelöscht");
    return goTo(6);
}

stepResult_t qxTableCommandTestSession_t::checkWrongCount(const request_t&, response_t&)
{
    if (m_names.size() == 1) {
        debugLine("......Countorder Error!\n");
        debugLine("      data in list cleared successfully!!");
        if (m_names.value(1) == kAppendNames.constFirst().toUtf8())
            return failTo(1, 508);
        return failTo(3, 513);
    }
    if (m_names.size() > 1) {
        debugLine("\nwrong number of lines in list");
        return failTo(3, 511);
    }
    // No row at all: the delete took the loaded row too. Counted as too few
    // rows; the cycle starts over with a fresh list, since there is nothing
    // left to change or delete.
    return failTo(1, 510);
}

stepResult_t qxTableCommandTestSession_t::endCycle(const request_t&, response_t&)
{
    if (m_counts.size() != m_nErrorKindsAtCycleStart) {
        qCDebug(lcSessions).noquote() << "in diesem Durchlauf gabe es " << m_counts.size() << "Fehler";
        return goTo(1);
    }
    count(0);
    debugLine("//////////////////////////////////////////\n\n");
    debugLine("         Erfolgreicher Testdurchlauf      \n\n");
    return goTo(1);
}

void qxTableCommandTestSession_t::processFileUpload(const QHostAddress&, int, const QString&,
                                                    const QString& p_strDestFn)
{
    const QByteArray bytes = readUpload(p_strDestFn);

    lastDataChunk_t handler;
    const bool parsed = qxIff_n::parseIff(bytes, &handler);
    if (!parsed || handler.errors > 0) {
        for (int i = 0; i < std::max(1, handler.errors); ++i)
            count(501);
        return;
    }
    m_names.clear();
    for (QByteArray line : handler.data.split('\n')) {
        // Lists written with CR LF line ends keep the CR out of the names.
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() < 2)
            continue;
        bool isNumber = false;
        const int row = columns.at(0).toInt(&isNumber);
        // A row without a number cannot be compared with any row: left out.
        if (isNumber && !m_names.contains(row))
            m_names.insert(row, columns.at(1));
    }
}
