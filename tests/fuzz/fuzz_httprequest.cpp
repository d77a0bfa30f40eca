// The request parser over a byte stream of any number of pipelined requests,
// fed once whole and once in pieces chosen by the first four input bytes.
// Both ways must give the same requests, a piece is never taken beyond the
// end of the request it belongs to, and no request with an unclear body
// length is ever complete.

#include "fuzzTarget.h"

#include "HttpRequest.h"
#include "fuzzHttpLimits.h"

#include <QByteArrayList>
#include <QTemporaryFile>

#include <memory>

namespace {

HttpSettings& settings()
{
    return fuzz_n::smallHttpLimits(2048);
}

// Everything a request handler could look at.
QByteArray describe(const HttpRequest& p_request)
{
    QByteArray text = p_request.method() + ' ' + p_request.path() + ' ' + p_request.version() + '\n';
    for (const auto& pair : p_request.parameterList()) {
        text += (pair.first + '=' + pair.second).toUtf8() + '\n';
        if (QTemporaryFile* file = p_request.uploadedFile(pair.first.toUtf8()))
            text += "file:" + file->peek(file->size()) + '\n';
    }
    for (auto it = p_request.headerMap().cbegin(); it != p_request.headerMap().cend(); ++it)
        text += it.key() + ':' + it.value() + '\n';
    for (auto it = p_request.cookieMap().cbegin(); it != p_request.cookieMap().cend(); ++it)
        text += "cookie:" + it.key() + '=' + it.value() + '\n';
    return text + "body:" + p_request.body();
}

// A small generator, so that a seed gives the same pieces on every run.
struct pieces_t
{
    quint32 state;
    quint32 most; // largest piece; 0 for the whole stream at once
    qint64 next(qint64 p_nLeft)
    {
        if (most == 0)
            return p_nLeft;
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return std::min<qint64>(p_nLeft, 1 + state % most);
    }
};

// The requests the stream holds, as a connection would see them: a complete
// request is answered and the next one begins; an aborted one ends the
// connection. The last entry tells how the stream ended.
QByteArrayList parse(const char* p_pData, qint64 p_nSize, pieces_t p_pieces)
{
    QByteArrayList requests;
    auto request = std::make_unique<HttpRequest>(&settings());
    for (qint64 at = 0; at < p_nSize;) {
        qint64 left = p_pieces.next(p_nSize - at);
        while (left > 0) {
            const qint64 used = request->feed(p_pData + at, left);
            fuzz_n::require(used > 0 && used <= left, "feed() took no bytes or more than it was given");
            at += used;
            left -= used;
            const HttpRequest::RequestState state = request->status();
            if (state == HttpRequest::Aborted) {
                requests << "aborted";
                return requests;
            }
            if (state == HttpRequest::Complete) {
                // A body framed otherwise than by one length is never taken:
                // what follows it could be read as a request of its own.
                const QList<QByteArray> lengths = request->headers("content-length");
                fuzz_n::require(request->headers("transfer-encoding").isEmpty() &&
                                    lengths.count(lengths.value(0)) == lengths.size(),
                                "a request with an unclear body length was accepted");
                requests << describe(*request);
                request = std::make_unique<HttpRequest>(&settings());
            } else {
                fuzz_n::require(left == 0, "an unfinished request left bytes of its piece");
            }
        }
    }
    requests << "open in state " + QByteArray::number(int(request->status()));
    return requests;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    if (p_nSize < 4)
        return 0;
    const quint32 seed = quint32(p_pData[0]) | quint32(p_pData[1]) << 8 | quint32(p_pData[2]) << 16 |
                         quint32(p_pData[3]) << 24;
    const char* stream = reinterpret_cast<const char*>(p_pData) + 4;
    const qint64 size = qint64(p_nSize) - 4;
    // One byte at a time, or pieces of up to a few hundred bytes.
    const quint32 most = seed % 4 == 0 ? 1 : 1 + (seed >> 2) % 300;
    const QByteArrayList whole = parse(stream, size, {seed | 1, 0});
    const QByteArrayList split = parse(stream, size, {seed | 1, most});
    fuzz_n::require(whole == split, "the pieces changed what was parsed");
    return 0;
}
