#pragma once

#include "LoopbackClient.h"

#include <QByteArray>
#include <QHostAddress>
#include <QRegularExpression>
#include <QString>
#include <QThread>
#include <QVector>

#include <tuple>

// A device's side of a test session: the records it sends, each with the
// milliseconds to wait before it and the command it is answered with after
// "qx_api=1" ("" for none; a regular expression, marked by a leading "~",
// where the server picks the value; a regular expression for the whole
// body, marked by a leading "^", for a file in the answer). Level-1
// telegrams, or a whole request (a file upload, see uploadRequest())
// answered with an empty body.
using step_t = std::tuple<qint64, QByteArray, QString>;
using steps_t = QVector<step_t>;

// One good cycle, from the device's first poll (the records drained, the
// type "X" told, the list confirmed) or from the step that asks for the
// system log. The list file holds the key K1 with the value V1.
inline steps_t goodCycle(bool p_bFromStart)
{
    steps_t steps;
    if (p_bFromStart) {
        steps << step_t{0, "table=x", ""} << step_t{1000, "table=x", "&qx_time=2024-05-01T12:00:01"}
              << step_t{1000, "qx_type=kvp&kv=var+system.type,X",
                        "&qx_load_file=/download-area/http-test-phase1-X.iff"}
              << step_t{1000, "qx_table=alive", ""}
              << step_t{1000, "qx_table=sysmsg&qx_col_detail2=http+test+li&qx_col_reason=0", ""};
    }
    steps << step_t{1000, "table=x", "&qx_send_file=/upload-area,syslog,0"}
          << step_t{1000, "qx_table=sysmsg&qx_col_detail2=syslog&qx_col_reason=1014", ""}
          << step_t{1000, "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1007", ""}
          << step_t{1000, "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1016",
                    "~&qx_var=setup\\.GlobVarStr1,(1|02|003|0004|00005|000006)"}
          << step_t{1000, "table=x", "&qx_ek=F1"}
          << step_t{1000, "qx_table=http+test+ds&qx_col_key=K1&qx_col_value=V1",
                    "&qx_kvp=var,setup.GlobVarStr2"}
          << step_t{1000, "qx_type=kvp&kv=var+setup.GlobVarStr2,V1", ""};
    return steps;
}

// The list file that goes with goodCycle(): a row with K1 and V1, and a row
// with too few columns, which the lookup skips.
inline QByteArray standardListFile()
{
    return "x\tV1\ty\tK1\nshort\tline\tonly\n";
}

// A level-1 GET of p_arrQuery on /data.
inline QByteArray standardRequest(const QByteArray& p_arrQuery)
{
    return "GET /data?qx_api=1&" + p_arrQuery + " HTTP/1.1\r\nHost: dev\r\n\r\n";
}

// The upload of p_arrFile to the upload area, as a device sends it.
inline QByteArray uploadRequest(const QByteArray& p_arrFile)
{
    const QByteArray part = "--B\r\nContent-Disposition: form-data; name=";
    const QByteArray form =
        part + "\"action\"\r\n\r\nupload\r\n" + part +
        "\"filename\"; filename=\"liste.iff\"\r\nContent-Type: application/octet-stream\r\n\r\n" + p_arrFile +
        "\r\n--B--\r\n";
    return "POST /upload-area HTTP/1.1\r\nHost: dev\r\nContent-Type: multipart/form-data; boundary=B\r\n"
           "Content-Length: " +
           QByteArray::number(form.size()) + "\r\n\r\n" + form;
}

// The request of one step: a record's level-1 GET, or a whole request.
inline QByteArray deviceRequest(const QByteArray& p_arrStep)
{
    return p_arrStep.startsWith("POST ") ? p_arrStep : standardRequest(p_arrStep);
}

// Whether p_arrBody is the answer p_strAnswer of the step p_arrStep.
inline bool answerMatches(const QByteArray& p_arrStep, const QString& p_strAnswer,
                          const QByteArray& p_arrBody)
{
    if (p_arrStep.startsWith("POST "))
        return p_arrBody.isEmpty();
    if (p_strAnswer.startsWith(QLatin1Char('^')))
        return QRegularExpression(QRegularExpression::anchoredPattern(p_strAnswer.mid(1)),
                                  QRegularExpression::DotMatchesEverythingOption)
            .match(QString::fromLatin1(p_arrBody))
            .hasMatch();
    const QString pattern = p_strAnswer.startsWith(QLatin1Char('~'))
                                ? p_strAnswer.mid(1)
                                : QRegularExpression::escape(p_strAnswer);
    return QRegularExpression(QRegularExpression::anchoredPattern(QStringLiteral("qx_api=1") + pattern))
        .match(QString::fromLatin1(p_arrBody))
        .hasMatch();
}

// Plays p_steps from p_nFrom on as the device at p_strSource, against a
// server on the real clock: a pause before the second record ends the
// draining of records. The index of the first step not answered as
// expected, -1 when all were.
inline int playLive(quint16 p_nPort, const QString& p_strSource, const steps_t& p_steps, int p_nFrom = 0)
{
    for (int i = p_nFrom; i < p_steps.size(); ++i) {
        const QByteArray& query = std::get<1>(p_steps.at(i));
        const QString& answer = std::get<2>(p_steps.at(i));
        if (i == 1)
            QThread::msleep(600);
        HttpReply reply;
        // The server's clock picks the time.
        if (!LoopbackClient::exchange(p_nPort, deviceRequest(query), &reply, 10000,
                                      QHostAddress(p_strSource)) ||
            !answerMatches(query, answer.startsWith("&qx_time=") ? QString("~&qx_time=\\S+") : answer,
                           reply.body))
            return i;
    }
    return -1;
}
