#pragma once

#include <QList>
#include <QStringList>
#include <QTableWidget>

class QMenu;
class commandPlan_c;

// The device action planning table: one row per device command that goes out
// with the answers to data records. Column 0 holds the activation (checked:
// every answer, partially checked: the next answer only, unchecked: parked),
// column 1 the command, columns 2 and up its parameters.
//
// Every change of a cell replaces the rows of the plan it serves (setPlan),
// so the service hook in the worker threads always sends what the table
// shows. When a request takes a one-shot row, the plan parks it and the table
// follows (slotRowsParked).
//
// Row text form, used for the plan and for saving: [activation, command,
// parameter texts...], the activation as "X", "1" or "-"; cells without an
// item and parameter cells the command does not use are left out.
//
// Lives in the user interface thread like any widget.
class planningTable_c : public QTableWidget
{
    Q_OBJECT
public:
    // Qt::UserRole of a parameter cell: whether the row's command uses it.
    enum cellUse_t
    {
        cellUsed = 0,
        cellUnused = 1,
        cellReserved = 2 // not set by the table; read like cellUnused
    };
    static const QString noCommand; // "---"

    // Two columns plus one per parameter of the longest command, with one
    // empty row; the plan is left alone until a cell changes.
    explicit planningTable_c(QWidget* p_pParent = nullptr);

    // The plan the table's rows go to, nullptr for none (the default); not
    // owned. Setting it hands the rows over at once and connects the plan's
    // parking of one-shot rows to the table.
    void setPlan(commandPlan_c* p_pPlan);

    // Every row in the row text form; a row without items gives an empty list.
    QList<QStringList> rows() const;
    // Replaces all rows with p_rows (row text form, as saved): activation
    // "X" checked, "1" partially checked, anything else unchecked; a row
    // without a command text gets "---". Texts beyond the last column are
    // dropped. Then the plan follows.
    void setRows(const QList<QStringList>& p_rows);

    // Appends a checked row with p_strCommand and its first parameter
    // texts; returns its number.
    int appendRow(const QString& p_strCommand = noCommand, const QStringList& p_parameters = {});
    // Removes every row that holds a selected cell.
    void removeSelectedRows();

    // The context menu of cell (p_nRow, p_nCol), not yet shown, or nullptr
    // when the cell has no item: a disabled preview of the text as the device
    // reads it, a separator and "Escape instruction". The caller owns it.
    QMenu* createCellMenu(int p_nRow, int p_nCol, QWidget* p_pParent = nullptr);
    // "=", "&" and "," written as the escapes "%3d", "%26" and "%2c".
    static QString escapedInstruction(QString p_strText);
    // The escapes turned back (in either case), as the device decodes them.
    static QString devicePreview(QString p_strText);

public slots:
    // From the command list editor: the cell gets p_strNewValue and the
    // parameter cells follow the command's labels (tool tip, white, used)
    // or are greyed out (unused); their texts stay but are no longer read.
    // A row without an activation cell gets an unchecked one.
    void slotCommandChanged(int p_nRow, int p_nCol, QString p_strNewValue);
    // From the parameter editor: the text without surrounding white space.
    void slotParameterValueChanged(int p_nRow, int p_nCol, QString p_strNewValue);
    // Hands the rows to the plan.
    void slotUpdateGlobalTable();
    // Opens the menu of the cell at p_pos (viewport coordinates).
    void slotCommandCustomContextMenuRequested(QPoint p_pos);
    // The plan parked these one-shot rows: those of them that are still
    // partially checked become unchecked.
    void slotRowsParked(QVector<int> p_rows);
    // Applies escapedInstruction to the cell's text.
    void slotEscapeCell(int p_nRow, int p_nCol);

private:
    // Holds back the plan update while several cells change; the last one
    // out updates once.
    class batch_t
    {
    public:
        explicit batch_t(planningTable_c& p_table) : m_table(p_table) { ++m_table.m_nBatchDepth; }
        ~batch_t();
        batch_t(const batch_t&) = delete;
        batch_t& operator=(const batch_t&) = delete;

    private:
        planningTable_c& m_table;
    };

    QStringList rowTexts(int p_nRow) const;
    // Gives row p_nRow fresh activation and command cells and the parameter
    // texts from column 2 on (as far as the columns reach).
    void fillRow(int p_nRow, Qt::CheckState p_eActivation, const QString& p_strCommand,
                 const QStringList& p_parameters);
    // The cell's item, created empty when missing.
    QTableWidgetItem* cellItem(int p_nRow, int p_nCol);

    int m_nBatchDepth = 0;
    commandPlan_c* m_pPlan = nullptr;
};
