// The session managers' request handling over random records from several
// devices. The first input byte picks the test type (or plain sessions);
// then each line is one event: its first byte picks the device (127.0.0.1
// to .4) and the event (request, uploaded file, clock tick), the rest is
// the record as "name=value" pairs joined by "&" (or the uploaded bytes).
// Every answer keeps its acknowledgement in front, and a device has one
// session at a time.

#include "fuzzTarget.h"

#include "RootRequestMapper.h"
#include "serverContext.h"
#include "sessionManager.h"
#include "sessionTypes.h"
#include "textCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QSet>
#include <QTemporaryDir>

namespace {

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "fuzz_sessions";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

QString path(const char* p_szName)
{
    static QTemporaryDir dir;
    return dir.filePath(QLatin1String(p_szName));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    application();
    if (p_nSize < 1)
        return 0;
    const QStringList types = sessionTypes_n::names();
    const int typeIndex = p_pData[0] % (types.size() + 1);

    serverContext_c context;
    sessionManager_c manager(context);
    manager.setSessionType(typeIndex < types.size() ? sessionTypes_n::createPrototype(types.at(typeIndex))
                                                   : nullptr);
    QDateTime now = QDateTime::fromMSecsSinceEpoch(1700000000000, Qt::UTC);
    manager.setClock([&now] { return now; });

    int requestId = 0;
    const QList<QByteArray> events =
        QByteArray(reinterpret_cast<const char*>(p_pData) + 1, int(p_nSize) - 1).split('\n');
    for (const QByteArray& event : events) {
        if (event.isEmpty())
            continue;
        const quint8 head = quint8(event.at(0));
        const QHostAddress peer(QStringLiteral("127.0.0.%1").arg(1 + head % 4));
        const QByteArray rest = event.mid(1);
        now = now.addMSecs(1 + head * 97);
        switch ((head >> 2) % 8) {
        case 0: {
            QFile file(path("upload"));
            fuzz_n::require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the upload");
            file.write(rest);
            file.close();
            manager.slot_receive_file(peer, ++requestId, path("upload"), QStringLiteral("upload/up.iff"));
            break;
        }
        case 1:
            manager.slotTick();
            break;
        default: {
            RootRequestMapper::request_t request;
            request.method = "GET";
            request.path = QStringLiteral("/qx/data?") + textCodec_n::fromWire(rest);
            for (const QByteArray& item : rest.split('&')) {
                const int equals = item.indexOf('=');
                request.parameters.append({textCodec_n::fromWire(equals < 0 ? item : item.left(equals)),
                                           equals < 0 ? QString() : textCodec_n::fromWire(item.mid(equals + 1))});
            }
            request.decodedParameters = request.parameters;
            const bool level1 = request.isLevel1();
            RootRequestMapper::response_t response;
            response.status = 200;
            response.statusText = QStringLiteral("Ok");
            if (level1)
                response.addParameter(QStringLiteral("qx_api"), QStringLiteral("1"));
            else
                response.addParameter(QStringLiteral("status"), QStringLiteral("ok"));
            manager.slot_service_hook(peer, ++requestId, request, response);
            if (level1 && response.status == 200)
                fuzz_n::require(!response.parameters.empty() && response.parameters.front().first == "qx_api",
                                "a level-1 answer lost its acknowledgement in front");
            break;
        }
        }
        QSet<QString> devices;
        for (const sessionInfo_t& session : manager.sessions())
            devices.insert(session.peer.toString());
        fuzz_n::require(devices.size() == manager.sessions().size(), "a device has two sessions");
    }
    QCoreApplication::processEvents();
    return 0;
}
