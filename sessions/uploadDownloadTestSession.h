#pragma once

#include "session.h"

#include <QByteArray>
#include <QMap>

// The upload/download test of one device: an "Alive" record is answered
// with a fresh list of 1000 lines, packed as an IFF setup list ("Liste") in
// the answer's body; the following "Alive" records ask the device to upload
// its list "liste" until it arrives; the upload is compared line by line
// with what was sent, and the next "Alive" starts a new cycle.
//
// Statistics: 0 good cycles, 1 uploads that are no IFF file, 2 uploads
// without the list's DATA chunk, 3 uploads whose lines differ from the list
// sent (also logged as "Error: <ok> of <lines> data records ok"). A device
// idle for more than a minute gets a warning in the log.
class testHttpUploadDownloadSession_t : public session_t
{
public:
    std::unique_ptr<session_t> create() const override;
    void processRequest(const QHostAddress& p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                        RootRequestMapper::response_t& p_response) override;
    void processFileUpload(const QHostAddress& p_peer, int p_nRequestId, const QString& p_strSourceFn,
                           const QString& p_strDestFn) override;
    statistics_t statistics() const override;
    QString testType() const override { return QStringLiteral("upload-download"); }

    // The line p_nLine of the list of cycle p_nCycle, without line end.
    static QByteArray listLine(int p_nCycle, int p_nLine);
    static constexpr int listLines = 1000;

private:
    // The IFF file of a new list, for the next cycle.
    QByteArray nextList();

    int m_nState = 0;
    int m_nCycle = 1;
    QMap<int, QByteArray> m_lines;
    unsigned m_nGood = 0;
    unsigned m_nUnparsable = 0;
    unsigned m_nWithoutData = 0;
    unsigned m_nWrongContent = 0;
};
