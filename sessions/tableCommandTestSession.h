#pragma once

#include "session.h"

#include <QByteArray>
#include <QMap>
#include <QVector>

// The table command test of one device: the device loads the list "test"
// from the download area ("backupList.txt", one row), gets two rows
// appended, the name of row 2 changed, the changed rows deleted and the rows
// counted; after each change it uploads the list, whose rows are checked.
//
// One handler per step, each returning a stepResult_t that the driver
// applies. A passing cycle runs the steps 1 7 2 8 9 3 10 11 4 12 5 14 6,
// after the draining of stored records (step 0) once. Step 6 counts the
// cycle under key 0 when no new kind of error appeared in it. Error keys:
// the device's error answers 1200 to 1205 and the session's own 500 to 513.
class qxTableCommandTestSession_t : public session_t
{
public:
    // What a step asks of the driver: go to nextState, stay, and whether to
    // count errorKey.
    struct stepResult_t
    {
        enum code_t
        {
            go = 2000,          // to nextState
            stay = 2001,        // in the step, nothing counted
            countAndGo = 2002,  // count errorKey, go to nextState
            countAndStay = 2003 // count errorKey, stay
        };
        int nextState = 0;
        int errorKey = 0;
        int code = go;
    };

    std::unique_ptr<session_t> create() const override;
    void processRequest(const QHostAddress& p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                        RootRequestMapper::response_t& p_response) override;
    void processFileUpload(const QHostAddress& p_peer, int p_nRequestId, const QString& p_strSourceFn,
                           const QString& p_strDestFn) override;
    statistics_t statistics() const override { return m_counts; }
    QString stateName() const override;
    QString testType() const override { return QStringLiteral("table-commands"); }

    int state() const { return m_nState; }
    // For tests that start a session in a given step.
    void setState(int p_nState) { m_nState = p_nState; }

    // The classification of one request by the device's answer fields:
    // 1100 to 1104 are good answers (1101 is "Alive"), 1200 to 1205 errors.
    static int answerCode(const RootRequestMapper::request_t& p_request);

private:
    using request_t = RootRequestMapper::request_t;
    using response_t = RootRequestMapper::response_t;
    using handler_t = stepResult_t (qxTableCommandTestSession_t::*)(const request_t&, response_t&);

    static const QMap<int, handler_t>& handlers();
    // Counts p_nKey; an error also goes to the log with its cause.
    void count(int p_nKey);

    // Records the request's answer code; go once the expected codes have all
    // come, stay while they have not, countAndGo with an error answer.
    stepResult_t check(const request_t& p_request, const QVector<int>& p_expected);
    // A change the device was told: its answer (p_expected), then the list
    // upload. Goes to p_nDoneState once the upload is confirmed, counts an
    // error answer and goes to p_nFailedState.
    stepResult_t verify(const request_t& p_request, response_t& p_response, const QVector<int>& p_expected,
                        int p_nDoneState, int p_nFailedState);

    stepResult_t drainRecords(const request_t&, response_t&);
    stepResult_t loadList(const request_t&, response_t&);
    stepResult_t verifyLoad(const request_t&, response_t&);
    stepResult_t appendRows(const request_t&, response_t&);
    stepResult_t verifyAppend(const request_t&, response_t&);
    stepResult_t checkAppend(const request_t&, response_t&);
    stepResult_t changeRow(const request_t&, response_t&);
    stepResult_t verifyChange(const request_t&, response_t&);
    stepResult_t checkChange(const request_t&, response_t&);
    stepResult_t deleteRows(const request_t&, response_t&);
    stepResult_t verifyDelete(const request_t&, response_t&);
    stepResult_t countRows(const request_t&, response_t&);
    stepResult_t checkWrongCount(const request_t&, response_t&);
    stepResult_t checkCount(const request_t&, response_t&);
    stepResult_t endCycle(const request_t&, response_t&);

    QDateTime m_timer;
    int m_nState = 0;
    int m_nRetryCount = 0;
    int m_nPhase = 1001;
    QVector<int> m_received;
    statistics_t m_counts;
    int m_nErrorKindsAtCycleStart = 0;
    QMap<int, QByteArray> m_names;
};
