#include "requestList.h"

#include "httpRequestItemDelegate.h"

#include <QHeaderView>

#include <algorithm>
#include <deque>
#include <iterator>
#include <numeric>

namespace {

// An entry: the job's top-level row with what the log keeps of the job.
class entryItem_c : public QTreeWidgetItem
{
public:
    static constexpr int itemType = QTreeWidgetItem::UserType + 1;
    explicit entryItem_c(int p_nId) : QTreeWidgetItem(itemType) { exchange.id = p_nId; }
    requestExchange_t exchange;
};

} // namespace

requestList_c::requestList_c(QWidget* p_pParent, appSettings_c& p_settings)
    : QTreeWidget(p_pParent), m_settings(p_settings)
{
    setColumnCount(columnCount);
    setHeaderLabels({QStringLiteral("Job Id"), QStringLiteral("Host"), QStringLiteral("When"),
                     QStringLiteral("Time (ms)"), QStringLiteral("Status"), QStringLiteral("URL")});
    setItemDelegateForColumn(columnUrl, new httpRequestItemDelegate_c(this));
    // Room for an id with its marks, an IPv4 address and a time of day.
    header()->resizeSection(columnJob, 150);
    header()->resizeSection(columnHost, 130);
    header()->resizeSection(columnWhen, 120);
    header()->setSectionResizeMode(columnTime, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(columnStatus, QHeaderView::ResizeToContents);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // Rows of one height spare the view from measuring every row.
    setUniformRowHeights(true);
}

QTreeWidgetItem* requestList_c::findOrCreateEntry(int p_nId)
{
    QTreeWidgetItem*& slot = m_index[p_nId];
    if (!slot) {
        slot = new entryItem_c(p_nId);
        slot->setText(columnJob, QString::number(p_nId));
        slot->setData(columnJob, Qt::UserRole, p_nId);
        if (m_bBatch) {
            m_newEntries.push_back(slot);
        } else {
            insertTopLevelItem(0, slot);
            refilter(slot);
        }
    }
    return slot;
}

requestExchange_t* requestList_c::exchange(QTreeWidgetItem* p_pItem)
{
    return p_pItem && p_pItem->type() == entryItem_c::itemType ? &static_cast<entryItem_c*>(p_pItem)->exchange
                                                               : nullptr;
}

std::vector<requestExchange_t> requestList_c::exchanges(bool p_bShownOnly) const
{
    std::vector<requestExchange_t> all;
    all.reserve(size_t(topLevelItemCount()));
    for (int i = topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* entry = topLevelItem(i);
        const requestExchange_t* found = exchange(entry);
        if (found && !(p_bShownOnly && entry->isHidden()))
            all.push_back(*found);
    }
    return all;
}

void requestList_c::refilter(QTreeWidgetItem* p_pEntry)
{
    const requestExchange_t* found = exchange(p_pEntry);
    if (!found)
        return;
    // The URL column shows either the request or a received file's text.
    const bool hide = !m_filter.isEmpty() &&
                      !m_filter.matches(found->peer, found->status,
                                        p_pEntry->text(columnUrl) + QLatin1Char('\n') + found->request);
    // Unchanged rows are left alone: each change makes the view lay out again.
    if (p_pEntry->isHidden() != hide)
        p_pEntry->setHidden(hide);
}

void requestList_c::setFilterText(const QString& p_strText)
{
    if (p_strText == m_strFilter)
        return;
    m_strFilter = p_strText;
    m_filter = requestFilter_c(p_strText);
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    for (int i = 0; i < topLevelItemCount(); ++i)
        refilter(topLevelItem(i));
    setUpdatesEnabled(updates);
    if (currentItem() && !currentItem()->isHidden())
        scrollToItem(currentItem());
}

void requestList_c::clearEntries()
{
    m_index.clear();
    qDeleteAll(m_newEntries);
    m_newEntries.clear();
    clear();
}

int requestList_c::viewLimit() const
{
    const appSettings_c::values_t values = m_settings.values();
    return values.requestViewActivateLimit != 0 && values.requestViewCount >= 1 ? values.requestViewCount : 0;
}

void requestList_c::applyViewLimit()
{
    if (!m_bBatch && m_settings.values().autoscroll == 0 && currentItem() && currentItem()->isSelected())
        scrollToItem(currentItem());
    const int limit = viewLimit();
    const int count = topLevelItemCount();
    if (limit < 1 || count <= limit)
        return;
    std::vector<int> rows(size_t(count - limit));
    std::iota(rows.begin(), rows.end(), limit);
    removeEntryRows(rows);
}

void requestList_c::beginBatch()
{
    m_bBatch = true;
    setUpdatesEnabled(false);
}

void requestList_c::endBatch()
{
    m_bBatch = false;
    if (!m_newEntries.empty()) {
        QList<QTreeWidgetItem*> newestFirst;
        newestFirst.reserve(int(m_newEntries.size()));
        std::copy(m_newEntries.rbegin(), m_newEntries.rend(), std::back_inserter(newestFirst));
        m_newEntries.clear();
        insertTopLevelItems(0, newestFirst);
        for (QTreeWidgetItem* entry : qAsConst(newestFirst))
            refilter(entry);
    }
    applyViewLimit();
    setUpdatesEnabled(true);
}

std::vector<bool> requestList_c::reportsStayingInView(const std::vector<int>& p_ids)
{
    std::vector<bool> keep(p_ids.size(), true);
    const int limit = viewLimit();
    if (limit < 1)
        return keep;

    // Entries are never reordered: each new one goes on top and the oldest
    // leaves at the bottom, so the view is a first-in first-out queue. An id
    // may leave and come back as a new entry; generations tell them apart.
    QHash<int, quint64> generation; // id -> generation of its entry in view
    std::deque<int> view;           // oldest first
    quint64 nextGeneration = 1;
    auto add = [&](int p_nId) {
        generation.insert(p_nId, nextGeneration);
        view.push_back(p_nId);
        while (int(view.size()) > limit) {
            generation.remove(view.front());
            view.pop_front();
        }
        return nextGeneration++;
    };
    const int present = topLevelItemCount();
    for (int i = present - 1; i >= 0; --i)
        add(topLevelItem(i)->data(columnJob, Qt::UserRole).toInt());

    std::vector<quint64> reportGeneration(p_ids.size(), 0);
    for (size_t r = 0; r < p_ids.size(); ++r) {
        if (p_ids[r] < 0)
            continue;
        const auto found = generation.constFind(p_ids[r]);
        reportGeneration[r] = found != generation.constEnd() ? found.value() : add(p_ids[r]);
    }
    for (size_t r = 0; r < p_ids.size(); ++r)
        keep[r] = p_ids[r] < 0 || generation.value(p_ids[r]) == reportGeneration[r];

    // Present entries carry generations 1 (bottom) to present (top).
    std::vector<int> leaving;
    for (int i = 0; i < present; ++i) {
        const quint64 entryGeneration = quint64(present - i);
        if (generation.value(topLevelItem(i)->data(columnJob, Qt::UserRole).toInt()) != entryGeneration)
            leaving.push_back(i);
    }
    removeEntryRows(leaving);
    return keep;
}

void requestList_c::removeEntryRows(const std::vector<int>& p_rows)
{
    // From the bottom up, so that the rows above keep their numbers; each
    // run of neighbours in one step, as the view moves every hidden row's
    // index once per step.
    for (size_t end = p_rows.size(); end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && p_rows[begin - 1] == p_rows[begin] - 1)
            --begin;
        const int first = p_rows[begin];
        const int count = int(end - begin);
        for (int row = first; row < first + count; ++row)
            m_index.remove(topLevelItem(row)->data(columnJob, Qt::UserRole).toInt());
        model()->removeRows(first, count);
        end = begin;
    }
}

QTreeWidgetItem* requestList_c::addRow(QTreeWidgetItem* p_pParent, const QStringList& p_texts)
{
    return new QTreeWidgetItem(p_pParent, p_texts);
}

QTreeWidgetItem* requestList_c::labelledChild(QTreeWidgetItem* p_pParent, const QString& p_strLabel)
{
    for (int i = 0; i < p_pParent->childCount(); ++i) {
        if (p_pParent->child(i)->text(columnJob) == p_strLabel)
            return p_pParent->child(i);
    }
    return addRow(p_pParent, {p_strLabel});
}

void requestList_c::markOnce(QTreeWidgetItem* p_pEntry, const QString& p_strMark)
{
    if (!p_pEntry->text(columnJob).contains(p_strMark))
        p_pEntry->setText(columnJob, p_pEntry->text(columnJob) + p_strMark);
}

QStringList requestList_c::entryTexts(const QTreeWidgetItem* p_pEntry)
{
    QStringList texts;
    for (int column = 0; column < columnCount; ++column) {
        // The URL delegate draws its request text from the user data.
        const QString text = p_pEntry->text(column);
        texts << (text.isEmpty() && column == columnUrl ? p_pEntry->data(column, Qt::UserRole).toString()
                                                        : text);
    }
    return texts;
}
