#pragma once

#include "Rc4Box.h"

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

// A record or an answer: (name, value) pairs in order.
using devicePairs_t = QVector<QPair<QByteArray, QString>>;

// The device's side of one data telegram and its answer, without sockets.
//
// Level 1 marks the telegram with qx_api=1 in front; level 0 with the pair
// "table" (the record's table or type, "poll" for none) and appends the
// pair "checksum" (the sum of the Windows-1252 bytes of every other value,
// the cipher-end value included, the cipher-begin value not). With a key
// every value after the cipher-begin pair is enciphered in order on one key
// stream (the password followed by the cipher-begin value), then the
// cipher-end pair holds the enciphered cipher-begin value; the answer's
// values continue that key stream. The level-1 marker stays in clear but
// moves the key stream on by one byte all the same, as the server reads it.
class deviceTelegram_c
{
public:
    // p_strKey empty: plain telegrams. p_strCipherBegin: the value the device
    // sends in clear to start the cipher (a fresh one per telegram).
    deviceTelegram_c(int p_nLevel, const QString& p_strKey, const QString& p_strCipherBegin);

    // The query string of p_record (without "?"). p_nFaults: deviceFaults_n
    // bits; BadChecksum adds one to the checksum, BadCipherEnd sends a
    // cipher-end value that does not decipher to the begin value.
    QByteArray query(const devicePairs_t& p_record, int p_nFaults = 0);
    // The answer body as items, deciphered after the request's key stream.
    // Only meaningful after query().
    devicePairs_t readAnswer(const QByteArray& p_arrBody);

    // Whether p_answer acknowledges the record: qx_api=1 (level 1) or
    // status=ok (level 0).
    static bool isAcknowledged(int p_nLevel, const devicePairs_t& p_answer);

    // The level-0 checksum of p_record (the checksum pair itself left out).
    static quint32 checksum(const devicePairs_t& p_record);

    // p_record as the body of a JSON telegram: one member per pair (a name
    // used twice keeps its last value), poll records included.
    static QByteArray jsonRecord(const devicePairs_t& p_record);
    // A JSON answer as level-1 items: qx_api=1 when it says ACCEPTED, then
    // the commands of its ACTION text.
    static devicePairs_t readJsonAnswer(const QByteArray& p_arrBody);

private:
    QByteArray beginName() const { return m_nLevel == 1 ? "qx_cb" : "qxcb"; }
    QByteArray endName() const { return m_nLevel == 1 ? "qx_ce" : "qxce"; }

    int m_nLevel;
    QString m_strKey;
    QString m_strCipherBegin;
    Rc4Box m_box;
    bool m_bKeyed = false;
};
