// The download area: files of the download directory, read-only.

#include "HttpResponse.h"
#include "RootRequestMapper.h"
#include "mapperConstants.h"
#include "serverContext.h"
#include "textCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kDownloadArea = QLatin1String(mapperConstants_n::downloadArea);
constexpr qint64 kPieceSize = 2048;

// The real location (links resolved) of p_strFileName when it is a regular
// file inside the real directory p_strDirectory, else an empty text.
QString locateInside(const QString& p_strFileName, const QString& p_strDirectory)
{
    const QFileInfo file(p_strFileName);
    const QString directory = QFileInfo(p_strDirectory).canonicalFilePath();
    if (!file.isFile() || directory.isEmpty())
        return QString();
    const QString base = directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
    const QString location = file.canonicalFilePath();
    return location.startsWith(base) ? location : QString();
}

} // namespace

void RootRequestMapper::answerDownload(context_t& p_context)
{
    // The hook sees the request; the download area does not use its changes.
    emit serviceHook(p_context.peer, p_context.id, p_context.request, p_context.response);
    // Zero characters are kept, so that serveFile() refuses such names.
    const QByteArray& path = p_context.path;
    p_context.requestData = serveFile(textCodec_n::fromWire(path), p_context.httpResponse);
    finish(p_context);
}

QStringList RootRequestMapper::serveFile(const QString& p_strPath, HttpResponse& p_response) const
{
    QString path = p_strPath;
    const int prefix = path.indexOf(kDownloadArea);
    if (prefix >= 0)
        path = path.mid(prefix);
    const QString directory = m_context.settings().dlDir();
    const QString fileName = directory + QLatin1Char('/') + path.mid(kDownloadArea.size());

    // "/.." is refused outright; the location check also catches what it
    // misses, such as ".." glued to the prefix or a link leading outside.
    // A zero character would cut the name short in the file system.
    QFile file;
    if (!path.contains(QLatin1String("/..")) && !path.contains(QChar(0)))
        file.setFileName(locateInside(fileName, directory));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
        p_response.setHeader("Content-Type", mapperConstants_n::htmlContentType);
        p_response.setStatus(404, "Not Found / Not Implemented");
        p_response.write(textCodec_n::to8Bit(QStringLiteral("<html><body>Failed to locate file ") + path +
                                             QStringLiteral(" at ") + fileName +
                                             QStringLiteral("</body></html>")),
                         true);
        return {QStringLiteral("no file: ") + fileName};
    }

    while (!file.atEnd() && file.error() == QFileDevice::NoError) {
        const QByteArray piece = file.read(kPieceSize);
        if (piece.isEmpty())
            break;
        p_response.write(piece);
    }
    p_response.write(QByteArray(), true);
    return {path + QStringLiteral(" (from ") + fileName + QLatin1Char(')')};
}
