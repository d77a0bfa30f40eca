#pragma once

#include <QString>
#include <QStringList>

// Ways a real device goes wrong, played on purpose so that a server's error
// paths can be shown end to end. Combined as bits.
namespace deviceFaults_n {

enum fault_t
{
    WrongListValue = 1,        // the event-chain record carries a value not in the list
    NoUpload = 2,              // a file-send command is reported done, but nothing goes up
    BadChecksum = 4,           // level 0: the checksum is one too high
    BadCipherEnd = 8,          // enciphered: the cipher-end value does not match
    CorruptUpload = 16,        // an uploaded list or file is its bare bytes, not packed as IFF
    ShortUpload = 32,          // an uploaded list lacks its last row
    SkipKvp = 64,              // only the first variable read is answered
    Slow = 128,                // every fifth telegram comes after a pause longer than the idle warning
    DisconnectMidRequest = 256 // every telegram's first try breaks off halfway through the request
};

// The names on the command line, in bit order.
inline QStringList names()
{
    return {QStringLiteral("wrong-list-value"),
            QStringLiteral("no-upload"),
            QStringLiteral("bad-checksum"),
            QStringLiteral("bad-cipher-end"),
            QStringLiteral("corrupt-upload"),
            QStringLiteral("short-upload"),
            QStringLiteral("skip-kvp"),
            QStringLiteral("slow"),
            QStringLiteral("disconnect-mid-request")};
}

// The bit of p_strName; 0 for an unknown name.
inline int fromName(const QString& p_strName)
{
    const int index = names().indexOf(p_strName);
    return index < 0 ? 0 : 1 << index;
}

} // namespace deviceFaults_n
