// The upload area, the firmware area, the data generator and the IFF
// endpoint.

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "RootRequestMapper.h"
#include "firmwareArchive.h"
#include "mapperConstants.h"
#include "serverContext.h"
#include "serverLog.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// Uploads are copied and generated data is sent in pieces of this size, so
// neither is ever held in memory whole.
constexpr int kPieceSize = 65536;

const QByteArray kHtmlType = mapperConstants_n::htmlContentType;
const QByteArray kFilenameField = "filename";
const int kGeneratorPrefixSize = int(sizeof(mapperConstants_n::generatorPrefix)) - 1;

void writePieces(HttpResponse& p_response, const QByteArrayList& p_pieces)
{
    for (int i = 0; i < p_pieces.size(); ++i)
        p_response.write(p_pieces.at(i), i + 1 == p_pieces.size());
}

// Copies p_source from its current position to its end into p_destination
// and closes p_destination. False if reading or writing failed.
bool copyInPieces(QFileDevice& p_source, QFile& p_destination)
{
    bool written = true;
    while (written && !p_source.atEnd() && p_source.error() == QFileDevice::NoError) {
        const QByteArray piece = p_source.read(kPieceSize);
        if (piece.isEmpty())
            break;
        written = p_destination.write(piece) == piece.size();
    }
    p_destination.close();
    return written && p_source.error() == QFileDevice::NoError &&
           p_destination.error() == QFileDevice::NoError;
}

// One piece of generated data: byte i has the value i modulo 256. A piece
// holds whole cycles, so every piece of a longer run starts at 0 again.
const QByteArray& generatedPiece()
{
    static const QByteArray s_piece = [] {
        QByteArray piece(kPieceSize, Qt::Uninitialized);
        for (int i = 0; i < piece.size(); ++i)
            piece[i] = char(i);
        return piece;
    }();
    return s_piece;
}

} // namespace

void RootRequestMapper::answerUpload(context_t& p_context)
{
    receiveUpload(p_context, 404, "Not Supported");
}

void RootRequestMapper::answerIff(context_t& p_context)
{
    receiveUpload(p_context, 500, "Failed to create file");
}

void RootRequestMapper::receiveUpload(context_t& p_context, int p_nCreateFailedStatus,
                                      const QByteArray& p_arrCreateFailedText)
{
    const HttpRequest& http = p_context.httpRequest;
    HttpResponse& response = p_context.httpResponse;
    p_context.requestData = QStringList{p_context.request.requestLine()};

    QString source;
    if (!p_context.request.hasParameter(QString::fromLatin1(kFilenameField), &source))
        qCDebug(lcMapper) << "UPLOAD filename is missing in form request";
    else if (debugOutput())
        qCDebug(lcMapper).noquote() << "SOURCE" << source;

    if (http.parameter("action") != "upload") {
        response.setHeader("Content-Type", kHtmlType);
        response.setStatus(200, "Ok");
        writePieces(response, {"<html><body>", "Upload a file<p>",
                               "<form method=\"post\" enctype=\"multipart/form-data\">",
                               "  <input type=\"hidden\" name=\"action\" value=\"upload\">",
                               "  File: <input type=\"file\" name=\"filename\"><br>",
                               "  <input type=\"submit\">", "</form>", "</body></html>"});
        finish(p_context);
        return;
    }

    QTemporaryFile* uploaded = http.uploadedFile(kFilenameField);
    if (!uploaded) {
        if (debugOutput())
            qCDebug(lcMapper) << "NO UPLOAD FILE";
        response.setHeader("Content-Type", kHtmlType);
        response.setStatus(404, "Not Supported");
        writePieces(response, {"<html><body>", "Please upload file as 'filename'", "</body></html>"});
        finish(p_context);
        return;
    }
    if (debugOutput())
        qCDebug(lcMapper).noquote() << "UPLOADED FILE" << uploaded->fileName();

    const int number = m_context.nextUploadNumber();
    const QString destination = QDir(m_context.settings().upDir()).filePath(QString::number(number));
    if (debugOutput())
        qCDebug(lcMapper).noquote() << "SAVING TO FILE" << destination;
    p_context.serverFilePath = destination;

    QFile file(destination);
    bool stored = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    // A file that could not be written completely is removed and answered
    // like one that could not be created: the device must not take it for
    // delivered.
    if (stored && !copyInPieces(*uploaded, file)) {
        qCWarning(lcMapper).noquote()
            << "Failed to store upload" << destination << "-"
            << (file.error() != QFileDevice::NoError ? file : *uploaded).errorString();
        file.remove();
        stored = false;
    }
    if (!stored) {
        response.setHeader("Content-Type", kHtmlType);
        response.setStatus(p_nCreateFailedStatus, p_arrCreateFailedText);
        writePieces(response, {"<html><body>", "Failed to create file on server", "</body></html>"});
        finish(p_context);
        return;
    }

    emit receivedFile(p_context.peer, p_context.id, source, destination);
    // The connection completes the answer: 200 with an empty body.
    finish(p_context);
}

void RootRequestMapper::answerFirmwareGet(context_t& p_context)
{
    HttpResponse& response = p_context.httpResponse;
    p_context.requestData = QStringList{p_context.request.requestLine()};
    const QByteArray name = p_context.httpRequest.parameter("get");

    int code = 0;
    const QByteArray data = readArchiveEntry(m_context.settings().firmwareFile(), name, code);
    if (code != 0) {
        response.setStatus(404, "Not found");
        response.write("Failed to access firmware file " + name + " - Error code " + QByteArray::number(code),
                       true);
    } else {
        response.setStatus(200, "Ok");
        response.write(data, true);
    }
    finish(p_context);
}

void RootRequestMapper::answerFirmwareReflect(context_t& p_context)
{
    HttpResponse& response = p_context.httpResponse;
    p_context.requestData = QStringList{p_context.request.requestLine()};

    // A firmware version has at least five dot-separated parts, the last
    // naming the device type: 04.03.10.01.rq-pod.
    const QByteArrayList parts = p_context.httpRequest.parameter("firmware").split('.');
    if (parts.size() <= 4) {
        response.setStatus(404, "Not found");
        response.write("Malformateed firmware download request", true);
        finish(p_context);
        return;
    }

    const QByteArray& key = parts.last();
    const QString archive = m_context.settings().firmwareFile();
    int code = 0;
    const QByteArrayList matches = listArchiveEntries(archive, key, code);
    if (code != 0)
        qCDebug(lcMapper).noquote() << "FIRMWARE ARCHIVE" << archive << "ERR CODE" << code;
    if (matches.isEmpty()) {
        response.setStatus(404, "Not found");
        response.write("No Firmware file matching " + key, true);
        finish(p_context);
        return;
    }

    QByteArray list = "file(s) matching<br><br>";
    for (const QByteArray& match : matches)
        list += "- " + match + "<br>";
    response.setStatus(200, "Ok");
    response.write(list, true);
    if (matches.size() == 1) {
        const QByteArray data = readArchiveEntry(archive, matches.first(), code);
        qCDebug(lcMapper) << "ERR CODE" << code << "FILE LENGTH" << data.size();
    }
    finish(p_context);
}

void RootRequestMapper::answerGenerator(context_t& p_context)
{
    HttpResponse& response = p_context.httpResponse;
    p_context.requestData = QStringList{p_context.request.requestLine()};
    // Not a number (or out of range) counts as 0.
    const int count = p_context.path.mid(kGeneratorPrefixSize).toInt();
    qCDebug(lcMapper) << "GenData" << count;

    // Up to one piece goes out with its length, more as a stream of pieces.
    int remaining = std::max(count, 0);
    do {
        const int size = std::min(remaining, kPieceSize);
        remaining -= size;
        response.write(generatedPiece().left(size), remaining == 0);
    } while (remaining > 0 && response.isConnected());
    // A client that went away leaves the stream unfinished.
    if (remaining > 0)
        response.write(QByteArray(), true);
    finish(p_context);
}
