#pragma once

#include "appSettings.h"
#include "requestExchange.h"
#include "requestFilter.h"

#include <QHash>
#include <QTreeWidget>

#include <vector>

// The request log's tree: one top-level entry per job id, newest at the top,
// with the job's child rows below it.
//
// Entries are found through an id-to-entry index, kept in step on every
// insertion and removal, so finding a job costs the same however many
// entries there are. With the view limit on ("request-view-activate-limit"
// 1 and "request-view-count" at least 1) the oldest entries are removed
// beyond the count, which bounds the entries and the index.
//
// A filter (requestFilter_c) hides the entries that do not match it; they
// stay in the list, count towards the view limit, and show again when the
// filter no longer excludes them. Each entry is checked when it is made or
// changes (refilter()), all of them only when the filter text changes.
//
// Lives in the user interface thread like any widget.
class requestList_c : public QTreeWidget
{
    Q_OBJECT
public:
    enum column_t
    {
        columnJob,
        columnHost,
        columnWhen,
        columnTime,
        columnStatus,
        columnUrl,
        columnCount
    };
    // Column 0 of an entry holds the job id under Qt::UserRole; column 2 of
    // a request from an IFF file the file name under iffFileRole.
    static constexpr int iffFileRole = Qt::UserRole + 1;

    requestList_c(QWidget* p_pParent, appSettings_c& p_settings);

    // The entry of job p_nId, or nullptr.
    QTreeWidgetItem* entry(int p_nId) const { return m_index.value(p_nId); }
    // The entry of job p_nId; a new one is inserted at the top (in a batch:
    // at the batch's end). The caller applies the view limit once it has
    // filled the entry.
    QTreeWidgetItem* findOrCreateEntry(int p_nId);
    int indexSize() const { return m_index.size(); }
    // What the log keeps of the job of p_pItem, when it is an entry (not a
    // child row) of a request list; nullptr otherwise.
    static requestExchange_t* exchange(QTreeWidgetItem* p_pItem);
    // The exchanges of the entries, oldest first; with p_bShownOnly those of
    // the entries the filter lets through.
    std::vector<requestExchange_t> exchanges(bool p_bShownOnly) const;

    QString filterText() const { return m_strFilter; }
    // Hides or shows p_pEntry as the filter says; call it whenever the
    // host, status or request of an entry changed.
    void refilter(QTreeWidgetItem* p_pEntry);

public slots:
    // Removes every entry.
    void clearEntries();
    // Sets the filter and checks every entry against it.
    void setFilterText(const QString& p_strText);

public:
    // The number of entries the view keeps, 0 when it keeps all.
    int viewLimit() const;
    // Keeps the selected entry in sight unless autoscroll is on, then removes
    // the oldest entries beyond the view limit.
    void applyViewLimit();

    // While a batch runs, scrolling and repainting wait for its end, and so
    // do new entries: they go into the list together at its end. Inserting
    // on top moves every hidden row's index in the view, so once per batch
    // instead of once per entry keeps arrivals cheap while a filter hides
    // many entries.
    void beginBatch();
    void endBatch();

    // For reports of job ids p_ids in arrival order: which of them still
    // matter once all are applied. With the view limit on, a report whose
    // entry would be removed (or replaced by a newer entry of the same id)
    // within the batch does not; this removes now the present entries that
    // the batch pushes out. The outcome equals applying every report. Ids
    // below 0 create no entry and always matter.
    std::vector<bool> reportsStayingInView(const std::vector<int>& p_ids);

    // Appends a child row with the given column texts.
    static QTreeWidgetItem* addRow(QTreeWidgetItem* p_pParent, const QStringList& p_texts);
    // The first child whose column 0 reads p_strLabel, created when missing.
    static QTreeWidgetItem* labelledChild(QTreeWidgetItem* p_pParent, const QString& p_strLabel);
    // Appends p_strMark to column 0 unless it holds p_strMark already.
    static void markOnce(QTreeWidgetItem* p_pEntry, const QString& p_strMark);
    // The texts of all columns as the operator sees them.
    static QStringList entryTexts(const QTreeWidgetItem* p_pEntry);

private:
    // Removes the entries at p_rows (ascending) with their index entries.
    void removeEntryRows(const std::vector<int>& p_rows);

    appSettings_c& m_settings;
    QHash<int, QTreeWidgetItem*> m_index;
    bool m_bBatch = false;
    // Entries made during the batch, oldest first; in the index already.
    std::vector<QTreeWidgetItem*> m_newEntries;
    QString m_strFilter;
    requestFilter_c m_filter;
};
