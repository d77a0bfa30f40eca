#include "iffTree.h"

#include "appLog.h"

#include "iffElementTree.h"

#include <QDebug>
#include <QTreeWidgetItem>

namespace iffTree_n {

namespace {

void addRows(QTreeWidgetItem* p_pParent, const QList<qxIff_n::iffElement_t>& p_listElements,
             qxIff_n::summaryStyle_t p_eStyle)
{
    for (const qxIff_n::iffElement_t& element : p_listElements) {
        auto* row = new QTreeWidgetItem(p_pParent, {element.name, element.length, element.summary});
        if (element.isError)
            continue;
        if (p_eStyle == qxIff_n::summaryStyle_t::requestLog &&
            !element.summary.startsWith(QLatin1String("FORM ")))
            qCDebug(lcApp) << "fnChunkHandler: CHNK" << element.name;
        row->setData(0, Qt::UserRole, element.payload);
        if (element.hasCrc)
            row->setData(2, Qt::UserRole + 1, element.crc);
        addRows(row, element.children, p_eStyle);
    }
}

} // namespace

bool addElements(QTreeWidgetItem* p_pRoot, const QByteArray& p_arrFile, qxIff_n::summaryStyle_t p_eStyle)
{
    bool complete = true;
    addRows(p_pRoot, qxIff_n::readElementTree(p_arrFile, p_eStyle, &complete), p_eStyle);
    return complete;
}

} // namespace iffTree_n
