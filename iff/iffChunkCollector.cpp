#include "iffChunkCollector.h"

#include "iffLog.h"
#include "iffParser.h"

#include <QDebug>

namespace qxIff_n {

namespace {

void collectForm(iffParserHandler_t* p_pHandler, const QByteArray&, const QByteArray& p_arrPayload)
{
    auto* collector = static_cast<iffChunkCollector_t*>(p_pHandler);
    if (!parseIff(formContents(p_arrPayload), collector)) {
        collector->formsComplete = false;
    }
}

void collectChunk(iffParserHandler_t* p_pHandler, const QByteArray&, const QByteArray& p_arrPayload)
{
    auto* collector = static_cast<iffChunkCollector_t*>(p_pHandler);
    collector->chunks.insert(collector->path.join(' '), p_arrPayload);
}

} // namespace

iffChunkCollector_t::iffChunkCollector_t()
{
    fnFormHandler = collectForm;
    fnChunkHandler = collectChunk;
}

bool iffChunkCollector_t::collect(const QByteArray& p_arrFile)
{
    chunks.clear();
    path.clear();
    formsComplete = true;
    const bool parsed = parseIff(p_arrFile, this);
    return parsed && formsComplete;
}

void iffChunkCollector_t::debugDump() const
{
    for (auto it = chunks.constBegin(); it != chunks.constEnd(); ++it) {
        qCDebug(lcIff) << it.key() << "=>" << it.value().size() << "bytes";
    }
}

} // namespace qxIff_n
