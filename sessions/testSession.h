#pragma once

#include "session.h"

#include <QPair>
#include <QVector>

// The standard test of one device, an endless cycle of exchanges: the device
// empties its record memory, tells its type, loads the setup file of its
// type and the list "http test li", then over and over sends its system log,
// gets a global variable set, runs event chain F1, whose record is checked
// against the list file, and reads back a second global variable.
//
// Steps 0 to 4 run once, 5 to 9 repeat. Errors (keys 1 to 6) are counted and
// logged; they never stop the cycle. Files come from the download area:
// "http-test-phase1-<type>.iff" and "http test li.txt" (TAB-separated rows,
// the key in column 3, the value in column 1).
class testSession_t : public session_t
{
public:
    std::unique_ptr<session_t> create() const override;
    void processRequest(const QHostAddress& p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                        RootRequestMapper::response_t& p_response) override;
    void processFileUpload(const QHostAddress& p_peer, int p_nRequestId, const QString& p_strSourceFn,
                           const QString& p_strDestFn) override;
    statistics_t statistics() const override { return m_counts; }
    QString stateName() const override;
    QString testType() const override { return QStringLiteral("standard"); }

    int state() const { return m_nState; }

private:
    // Counts an error and writes p_strText to the log and the debug output.
    void countError(int p_nKey, const QString& p_strText);
    // The variable of the last "kvp" record, empty when it was not reported.
    QString variable(const QString& p_strName) const;
    // Step 8: checks the record of event chain F1 against the list file.
    void checkListRecord(const RootRequestMapper::request_t& p_request);

    int m_nState = 0;
    QString m_strExpectedValue;
    QDateTime m_timer;
    QVector<QPair<QString, QString>> m_variables;
    statistics_t m_counts;
};
