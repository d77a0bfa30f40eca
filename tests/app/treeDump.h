#pragma once

#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

// One line per row, parents first: the column texts joined by "|" (trailing
// empty columns left out), indented two blanks per level. Without
// p_bTimes, the columns of times are left out of the entries.
inline QStringList treeDump(QTreeWidget* p_pTree, bool p_bTimes = true)
{
    QStringList lines;
    for (QTreeWidgetItemIterator it(p_pTree); *it; ++it) {
        QStringList texts;
        for (int c = 0; c < p_pTree->columnCount(); ++c)
            texts << (*it)->text(c);
        if (!p_bTimes && !(*it)->parent())
            texts.erase(texts.begin() + 2, texts.begin() + 4);
        while (!texts.isEmpty() && texts.last().isEmpty())
            texts.removeLast();
        int depth = 0;
        for (const QTreeWidgetItem* parent = (*it)->parent(); parent; parent = parent->parent())
            ++depth;
        lines << QString(depth * 2, ' ') + texts.join('|');
    }
    return lines;
}
