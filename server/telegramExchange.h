#pragma once

#include "Rc4Box.h"
#include "RootRequestMapper.h"

#include <QByteArray>
#include <QString>

class HttpResponse;

// One data telegram and its answer, the part both protocol levels share:
// deciphering the request values into decodedParameters, the received record,
// the answer headers and the answer body, plain or enciphered. The levels
// differ only in the names of their dialect_t.
//
// One object per request, used in the worker thread that serves it. The key
// stream runs on from the request values into the answer values.
class telegramExchange_c
{
public:
    struct dialect_t
    {
        QString cipherBegin;           // the pair the device sends in clear: "qxcb"
        QString cipherEnd;             // deciphers to the cipher-begin value: "qxce"
        QByteArray skippedItem;        // answer items of this name are not written
        bool clearCipherEndInReadable; // readable body shows the cipher end in clear
        QByteArray lineEnd;            // appended to the transmitted body on the wire
        const char* sendingTrace;      // debug line before the answer goes out
    };
    static const dialect_t& level0();
    static const dialect_t& level1();

    enum class Telegram
    {
        Plain,      // no cipher pairs: the parameters were copied unchanged
        Enciphered, // deciphered and the cipher-end check passed
        Refused     // the cipher-end check failed
    };

    explicit telegramExchange_c(const dialect_t& p_dialect) : m_dialect(p_dialect) {}

    // Fills p_request.decodedParameters. A telegram counts as enciphered when
    // it holds both cipher pairs: every other pair is then deciphered, in
    // received order, with the key p_strPassword + cipher-begin value. With
    // p_bTrace each deciphered value is written to the debug output.
    Telegram open(RootRequestMapper::request_t& p_request, const QString& p_strPassword, bool p_bTrace);

    const dialect_t& dialect() const { return m_dialect; }
    bool isEnciphered() const { return m_bEnciphered; }
    QString cipherBeginValue() const { return m_strCipherBegin; }
    // The deciphered cipher-end value (after open() of an enciphered telegram).
    QString cipherEndValue() const { return m_strCipherEnd; }

    // Appends name=value& to both bodies; the transmitted value is enciphered
    // (upper-case hexadecimal) when the telegram was.
    void appendItem(const QByteArray& p_arrName, const QByteArray& p_arrValue);
    // Appends name=value& to both bodies, in clear.
    void appendClearItem(const QByteArray& p_arrName, const QByteArray& p_arrValue);
    // For an enciphered telegram: the cipher-begin item in clear.
    void beginCipher();
    // Every answer item except those named skippedItem, in order.
    void appendItems(const vecParameter_t& p_items);
    // For an enciphered telegram: the cipher-end item.
    void endCipher();
    // The bodies built so far: the transmitted one without its trailing "&"
    // (and without the line end), the readable one with it.
    QByteArray transmittedBody() const;
    QByteArray readableBody() const;

    // The record as received: the request parameters in Latin-1.
    static vecParameter_t receivedRecord(const RootRequestMapper::request_t& p_request);
    // Every response_t.fields entry as a response header, in name order.
    static void applyFields(const RootRequestMapper::response_t& p_response, HttpResponse& p_httpResponse);

private:
    QByteArray encipher(const QByteArray& p_arrValue);
    // Appends name=value&.
    static void appendPair(QByteArray* p_pBody, const QByteArray& p_arrName, const QByteArray& p_arrValue);

    const dialect_t& m_dialect;
    Rc4Box m_box;
    bool m_bEnciphered = false;
    QString m_strCipherBegin;
    QString m_strCipherEnd;
    QByteArray m_arrTransmitted;
    QByteArray m_arrReadable;
};
