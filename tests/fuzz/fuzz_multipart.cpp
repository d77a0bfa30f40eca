// Multipart bodies through the request parser, twice per input: the bytes
// as a raw body after a fixed multipart head, and as the contents of the
// fields of a well-formed body built from them, which must come back as
// sent (plain fields as parameters, file fields as their files).
//
// For the second form the input is cut at each zero byte; the pieces are,
// in turn, a field name and its contents; a name that begins with "f" makes
// a file field.

#include "fuzzTarget.h"

#include "HttpRequest.h"
#include "fuzzHttpLimits.h"

#include <QTemporaryFile>

#include <memory>

namespace {

// The largest multipart body the parser takes.
constexpr int kMaxMultiPartSize = 65536;

HttpSettings& settings()
{
    return fuzz_n::smallHttpLimits(kMaxMultiPartSize);
}

const QByteArray boundary = "qx-fuzz-boundary";

std::unique_ptr<HttpRequest> parse(const QByteArray& p_arrBody)
{
    auto request = std::make_unique<HttpRequest>(&settings());
    const QByteArray stream = "POST /qx/iff HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=" + boundary +
                              "\r\nContent-Length: " + QByteArray::number(p_arrBody.size()) + "\r\n\r\n" +
                              p_arrBody;
    const qint64 used = request->feed(stream.constData(), stream.size());
    fuzz_n::require(used <= stream.size(), "feed() took more than it was given");
    return request;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    const QByteArray input(reinterpret_cast<const char*>(p_pData), int(p_nSize));
    {
        const auto request = parse(input);
        fuzz_n::require(request->status() == HttpRequest::Complete || request->status() == HttpRequest::Aborted,
                        "a body of its announced length left the request open");
        for (const auto& pair : request->parameterList()) {
            if (QTemporaryFile* file = request->uploadedFile(pair.first.toUtf8()))
                file->readAll();
        }
    }

    // The well-formed body. Names are kept to what a form would send.
    const QList<QByteArray> pieces = input.split('\0');
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> fields;
    for (int i = 0; i + 1 < pieces.size(); i += 2) {
        const QByteArray& name = pieces.at(i);
        const QByteArray& contents = pieces.at(i + 1);
        if (name.isEmpty() || name.trimmed() != name || name.contains('"') || name.contains('\r') || name.contains('\n') ||
            name.contains('%') || contents.contains(boundary))
            continue;
        const bool file = name.startsWith('f');
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + '"' +
                (file ? "; filename=\"" + name + ".bin\"" : QByteArray()) + "\r\n\r\n" + contents + "\r\n";
        fields.append({name, contents});
    }
    if (fields.isEmpty())
        return 0;
    body += "--" + boundary + "--\r\n";
    const auto request = parse(body);
    // Many short fields make a body larger than the input.
    if (body.size() > kMaxMultiPartSize) {
        fuzz_n::require(request->status() == HttpRequest::Aborted, "a multipart body over the limit was taken");
        return 0;
    }
    fuzz_n::require(request->status() == HttpRequest::Complete, "a well-formed multipart body was refused");
    // The last field of a name wins, for parameters as for files.
    for (const auto& field : fields) {
        const QByteArray& name = field.first;
        QByteArray expected;
        for (const auto& other : fields) {
            if (other.first == name)
                expected = other.second;
        }
        if (QTemporaryFile* file = request->uploadedFile(name)) {
            fuzz_n::require(name.startsWith('f'), "a plain field became a file");
            file->seek(0);
            fuzz_n::require(file->readAll() == expected, "a file field's contents differ from those sent");
        } else {
            fuzz_n::require(!name.startsWith('f'), "a file field has no file");
            fuzz_n::require(request->parameter(name) == expected,
                            "a field's value differs from the one sent");
        }
    }
    return 0;
}
