#include "iffTree.h"

#include "appLog.h"
#include "iffParser.h"

#include <QDebug>
#include <QTreeWidgetItem>

namespace iffTree_n {

namespace {

struct treeHandler_t : qxIff_n::iffParserHandler_t
{
    QList<QTreeWidgetItem*> stack; // the root, then the open forms
    qxIff_n::summaryStyle_t style;
    bool complete = true;

    treeHandler_t(QTreeWidgetItem* p_pRoot, qxIff_n::summaryStyle_t p_eStyle)
        : stack{p_pRoot}, style(p_eStyle)
    {
        fnFormHandler = form;
        fnFormEndHandler = formEnd;
        fnChunkHandler = chunk;
        fnErrorHandler = error;
    }

    static treeHandler_t* self(iffParserHandler_t* p_pHandler)
    {
        return static_cast<treeHandler_t*>(p_pHandler);
    }

    QTreeWidgetItem* addRow(const QString& p_strName, const QString& p_strLength, const QString& p_strText)
    {
        return new QTreeWidgetItem(stack.last(), {p_strName, p_strLength, p_strText});
    }

    void keepPayload(QTreeWidgetItem* p_pRow, const QByteArray& p_arrPayload) const
    {
        if (style == qxIff_n::summaryStyle_t::analyser)
            p_pRow->setData(0, Qt::UserRole, p_arrPayload);
    }

    static void form(iffParserHandler_t* p_pHandler, const QByteArray& p_arrType,
                     const QByteArray& p_arrPayload)
    {
        treeHandler_t* handler = self(p_pHandler);
        QTreeWidgetItem* row =
            handler->addRow(QString::fromLatin1(p_arrType), QString::number(p_arrPayload.size()),
                            qxIff_n::formSummary(p_arrType));
        handler->keepPayload(row, p_arrPayload);
        handler->stack.append(row);
        if (qxIff_n::isDescribedForm(p_arrType)) {
            if (!qxIff_n::parseIff(p_arrPayload.mid(4), p_pHandler))
                handler->complete = false;
        } else {
            QByteArray start = p_arrPayload.left(32);
            start.replace('\0', '_');
            qCDebug(lcApp) << "unhandled FORM" << p_arrType << start;
        }
    }

    static void formEnd(iffParserHandler_t* p_pHandler, const QByteArray&)
    {
        treeHandler_t* handler = self(p_pHandler);
        if (handler->stack.size() > 1)
            handler->stack.removeLast();
    }

    static void chunk(iffParserHandler_t* p_pHandler, const QByteArray& p_arrId,
                      const QByteArray& p_arrPayload)
    {
        treeHandler_t* handler = self(p_pHandler);
        if (handler->style == qxIff_n::summaryStyle_t::requestLog)
            qCDebug(lcApp) << "fnChunkHandler: CHNK" << p_arrId;
        const qxIff_n::chunkSummary_t summary =
            qxIff_n::summarizeChunk(p_arrId, p_arrPayload, handler->style);
        QTreeWidgetItem* row =
            handler->addRow(summary.label, QString::number(p_arrPayload.size()), summary.text);
        handler->keepPayload(row, p_arrPayload);
        if (summary.hasCrc)
            row->setData(2, Qt::UserRole + 1, summary.crc);
    }

    static void error(iffParserHandler_t* p_pHandler, int p_nCode, const QString& p_strMessage)
    {
        QString path;
        for (const QByteArray& element : p_pHandler->path)
            path += QLatin1Char('/') + QString::fromLatin1(element);
        self(p_pHandler)
            ->addRow(QString(), QStringLiteral("Error Code %1").arg(p_nCode),
                     QStringLiteral("\"%1\" at %2").arg(p_strMessage, path));
    }
};

} // namespace

bool addElements(QTreeWidgetItem* p_pRoot, const QByteArray& p_arrFile, qxIff_n::summaryStyle_t p_eStyle)
{
    treeHandler_t handler(p_pRoot, p_eStyle);
    const bool parsed = qxIff_n::parseIff(p_arrFile, &handler);
    return parsed && handler.complete;
}

} // namespace iffTree_n
