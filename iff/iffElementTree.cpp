#include "iffElementTree.h"

#include "iffLog.h"
#include "iffParser.h"

#include <QDebug>

namespace qxIff_n {

namespace {

struct treeBuilder_t : iffParserHandler_t
{
    QList<iffElement_t> roots;
    QList<iffElement_t*> open; // the forms being filled, innermost last
    summaryStyle_t style;
    bool complete = true;

    explicit treeBuilder_t(summaryStyle_t p_eStyle) : style(p_eStyle)
    {
        fnFormHandler = form;
        fnFormEndHandler = formEnd;
        fnChunkHandler = chunk;
        fnErrorHandler = error;
    }

    static treeBuilder_t* self(iffParserHandler_t* p_pHandler)
    {
        return static_cast<treeBuilder_t*>(p_pHandler);
    }

    iffElement_t* add(iffElement_t p_element)
    {
        QList<iffElement_t>& siblings = open.isEmpty() ? roots : open.last()->children;
        siblings.append(std::move(p_element));
        return &siblings.last();
    }

    static void form(iffParserHandler_t* p_pHandler, const QByteArray& p_arrType,
                     const QByteArray& p_arrPayload)
    {
        treeBuilder_t* builder = self(p_pHandler);
        iffElement_t element;
        element.name = QString::fromLatin1(p_arrType);
        element.length = QString::number(p_arrPayload.size());
        element.summary = formSummary(p_arrType);
        element.payload = p_arrPayload;
        // QList keeps elements of this size in nodes of their own, so the
        // pointer stays valid however the lists grow.
        builder->open.append(builder->add(element));
        if (isDescribedForm(p_arrType)) {
            if (!parseIff(formContents(p_arrPayload), p_pHandler))
                builder->complete = false;
        } else {
            QByteArray start = p_arrPayload.left(32);
            start.replace('\0', '_');
            qCDebug(lcIff) << "unhandled FORM" << p_arrType << start;
        }
    }

    static void formEnd(iffParserHandler_t* p_pHandler, const QByteArray&)
    {
        treeBuilder_t* builder = self(p_pHandler);
        if (!builder->open.isEmpty())
            builder->open.removeLast();
    }

    static void chunk(iffParserHandler_t* p_pHandler, const QByteArray& p_arrId,
                      const QByteArray& p_arrPayload)
    {
        treeBuilder_t* builder = self(p_pHandler);
        const chunkSummary_t summary = summarizeChunk(p_arrId, p_arrPayload, builder->style);
        iffElement_t element;
        element.name = summary.label;
        element.length = QString::number(p_arrPayload.size());
        element.summary = summary.text;
        element.hasCrc = summary.hasCrc;
        element.crc = summary.crc;
        element.payload = p_arrPayload;
        builder->add(element);
    }

    static void error(iffParserHandler_t* p_pHandler, int p_nCode, const QString& p_strMessage)
    {
        QString path;
        for (const QByteArray& entry : p_pHandler->path)
            path += QLatin1Char('/') + QString::fromLatin1(entry);
        iffElement_t element;
        element.isError = true;
        element.errorCode = p_nCode;
        element.length = QStringLiteral("Error Code %1").arg(p_nCode);
        element.summary = QStringLiteral("\"%1\" at %2").arg(p_strMessage, path);
        self(p_pHandler)->add(element);
    }
};

} // namespace

QList<iffElement_t> readElementTree(const QByteArray& p_arrFile, summaryStyle_t p_eStyle, bool* p_pComplete)
{
    treeBuilder_t builder(p_eStyle);
    const bool parsed = parseIff(p_arrFile, &builder);
    if (p_pComplete)
        *p_pComplete = parsed && builder.complete;
    return builder.roots;
}

} // namespace qxIff_n
