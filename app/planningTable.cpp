#include "planningTable.h"

#include "commandPlan.h"
#include "commandTable.h"
#include "stringListItemDelegate.h"
#include "textOrTooltipItemDelegate.h"

#include <QHeaderView>
#include <QMenu>

#include <algorithm>
#include <memory>
#include <set>

namespace {

const int s_nActivationColumn = 0;
const int s_nCommandColumn = 1;
const int s_nFirstParameterColumn = 2;

const QColor s_usedBackground(Qt::white);
const QColor s_unusedBackground(Qt::lightGray);

QString activationText(Qt::CheckState p_eState)
{
    switch (p_eState) {
    case Qt::Checked:
        return QStringLiteral("X");
    case Qt::PartiallyChecked:
        return QStringLiteral("1");
    default:
        return QStringLiteral("-");
    }
}

Qt::CheckState activationState(const QString& p_strText)
{
    if (p_strText == QLatin1String("X"))
        return Qt::Checked;
    if (p_strText == QLatin1String("1"))
        return Qt::PartiallyChecked;
    return Qt::Unchecked;
}

// A click cycles through unchecked, next answer only, every answer.
QTableWidgetItem* newActivationItem(Qt::CheckState p_eState)
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemIsUserTristate);
    item->setCheckState(p_eState);
    return item;
}

} // namespace

const QString planningTable_c::noCommand = QStringLiteral("---");

planningTable_c::batch_t::~batch_t()
{
    if (--m_table.m_nBatchDepth == 0)
        m_table.slotUpdateGlobalTable();
}

planningTable_c::planningTable_c(QWidget* p_pParent)
    : QTableWidget(1, s_nFirstParameterColumn + commandTable_n::maxParameterCount(), p_pParent)
{
    setHorizontalHeaderLabels({QStringLiteral("Active"), QStringLiteral("Command Type")});
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setContextMenuPolicy(Qt::CustomContextMenu);

    // The editors report changes; the table applies them to its cells.
    QStringList commands{noCommand};
    commands += commandTable_n::commandCatalogue().keys();
    auto* commandEditor = new itemTools_n::stringListItemDelegate_c(commands, this);
    setItemDelegateForColumn(s_nCommandColumn, commandEditor);
    connect(commandEditor, &itemTools_n::cellItemDelegate_c::itemChanged, this,
            &planningTable_c::slotCommandChanged);
    auto* parameterEditor = new itemTools_n::textOrTooltipItemDelegate_c(this);
    for (int column = s_nFirstParameterColumn; column < columnCount(); ++column)
        setItemDelegateForColumn(column, parameterEditor);
    connect(parameterEditor, &itemTools_n::cellItemDelegate_c::itemChanged, this,
            &planningTable_c::slotParameterValueChanged);

    // Wide enough for the check box and for every command name.
    horizontalHeader()->setSectionResizeMode(s_nActivationColumn, QHeaderView::ResizeToContents);
    int commandWidth = horizontalHeader()->sectionSizeHint(s_nCommandColumn);
    for (const QString& command : qAsConst(commands))
        commandWidth = std::max(commandWidth, fontMetrics().horizontalAdvance(command) + 16);
    setColumnWidth(s_nCommandColumn, commandWidth);

    connect(this, &QTableWidget::cellChanged, this, &planningTable_c::slotUpdateGlobalTable);
    connect(this, &QWidget::customContextMenuRequested, this,
            &planningTable_c::slotCommandCustomContextMenuRequested);
}

QStringList planningTable_c::rowTexts(int p_nRow) const
{
    QStringList texts;
    for (int column = 0; column < columnCount(); ++column) {
        const QTableWidgetItem* cell = item(p_nRow, column);
        if (!cell)
            continue;
        const int use = cell->data(Qt::UserRole).toInt();
        if (use == cellUnused || use == cellReserved)
            continue;
        texts << (column == s_nActivationColumn ? activationText(cell->checkState()) : cell->text());
    }
    return texts;
}

QList<QStringList> planningTable_c::rows() const
{
    QList<QStringList> all;
    all.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        all << rowTexts(row);
    return all;
}

void planningTable_c::setRows(const QList<QStringList>& p_rows)
{
    const batch_t batch(*this);
    setRowCount(0);
    setRowCount(p_rows.size());
    for (int row = 0; row < p_rows.size(); ++row) {
        const QStringList& texts = p_rows.at(row);
        fillRow(row, activationState(texts.value(0)), texts.size() > 1 ? texts.at(1) : noCommand,
                texts.mid(s_nFirstParameterColumn));
    }
}

void planningTable_c::fillRow(int p_nRow, Qt::CheckState p_eActivation, const QString& p_strCommand,
                              const QStringList& p_parameters)
{
    setItem(p_nRow, s_nActivationColumn, newActivationItem(p_eActivation));
    slotCommandChanged(p_nRow, s_nCommandColumn, p_strCommand);
    for (int i = 0; i < p_parameters.size() && s_nFirstParameterColumn + i < columnCount(); ++i)
        cellItem(p_nRow, s_nFirstParameterColumn + i)->setText(p_parameters.at(i));
}

QTableWidgetItem* planningTable_c::cellItem(int p_nRow, int p_nCol)
{
    QTableWidgetItem* cell = item(p_nRow, p_nCol);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(p_nRow, p_nCol, cell);
    }
    return cell;
}

int planningTable_c::appendRow(const QString& p_strCommand, const QStringList& p_parameters)
{
    const batch_t batch(*this);
    const int row = rowCount();
    insertRow(row);
    fillRow(row, Qt::Checked, p_strCommand, p_parameters);
    return row;
}

void planningTable_c::removeSelectedRows()
{
    std::set<int> selected;
    const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    for (const QTableWidgetSelectionRange& range : ranges) {
        for (int row = range.topRow(); row <= range.bottomRow(); ++row)
            selected.insert(row);
    }
    const QModelIndexList cells = selectedIndexes();
    for (const QModelIndex& cell : cells)
        selected.insert(cell.row());
    if (selected.empty())
        return;
    // From the bottom up, so the numbers of the rows still to go stay valid.
    const batch_t batch(*this);
    for (auto row = selected.rbegin(); row != selected.rend(); ++row)
        removeRow(*row);
}

void planningTable_c::slotCommandChanged(int p_nRow, int p_nCol, QString p_strNewValue)
{
    if (p_nRow < 0 || p_nRow >= rowCount() || p_nCol < 0 || p_nCol >= columnCount())
        return;
    const batch_t batch(*this);
    // A name outside the catalogue ("---" among them) uses no parameter cell.
    const QStringList labels = commandTable_n::commandCatalogue().value(p_strNewValue);
    if (!item(p_nRow, s_nActivationColumn))
        setItem(p_nRow, s_nActivationColumn, newActivationItem(Qt::Unchecked));
    cellItem(p_nRow, p_nCol)->setText(p_strNewValue);
    for (int column = s_nFirstParameterColumn; column < columnCount(); ++column) {
        QTableWidgetItem* cell = cellItem(p_nRow, column);
        const int label = column - s_nFirstParameterColumn;
        const bool used = label < labels.size();
        // Texts of cells that fall out of use stay, in case the operator
        // switches back; they are no longer read.
        cell->setToolTip(used ? labels.at(label) : QString());
        cell->setBackground(used ? s_usedBackground : s_unusedBackground);
        cell->setData(Qt::UserRole, used ? cellUsed : cellUnused);
    }
}

void planningTable_c::slotParameterValueChanged(int p_nRow, int p_nCol, QString p_strNewValue)
{
    if (p_nRow < 0 || p_nRow >= rowCount() || p_nCol < 0 || p_nCol >= columnCount())
        return;
    cellItem(p_nRow, p_nCol)->setText(p_strNewValue.trimmed());
}

void planningTable_c::slotUpdateGlobalTable()
{
    if (m_nBatchDepth > 0)
        return;
    if (m_pPlan)
        m_pPlan->setRows(rows());
}

void planningTable_c::setPlan(commandPlan_c* p_pPlan)
{
    if (m_pPlan)
        disconnect(m_pPlan, nullptr, this, nullptr);
    m_pPlan = p_pPlan;
    if (m_pPlan)
    {
        connect(m_pPlan, &commandPlan_c::oneShotRowsParked, this, &planningTable_c::slotRowsParked);
        // Rows set from elsewhere (the remote control) are shown here.
        connect(m_pPlan, &commandPlan_c::rowsReplaced, this, &planningTable_c::setRows);
    }
    slotUpdateGlobalTable();
}

// The numbers refer to the rows the plan got last. Should the operator
// change the table between a request taking the row and this slot, a row
// that is no longer one-shot is left alone.
void planningTable_c::slotRowsParked(QVector<int> p_rows)
{
    const batch_t batch(*this);
    for (const int row : qAsConst(p_rows)) {
        QTableWidgetItem* activation = item(row, s_nActivationColumn);
        if (activation && activation->checkState() == Qt::PartiallyChecked)
            activation->setCheckState(Qt::Unchecked);
    }
}

QString planningTable_c::escapedInstruction(QString p_strText)
{
    return p_strText.replace(QLatin1Char('='), QLatin1String("%3d"))
        .replace(QLatin1Char('&'), QLatin1String("%26"))
        .replace(QLatin1Char(','), QLatin1String("%2c"));
}

QString planningTable_c::devicePreview(QString p_strText)
{
    return p_strText.replace(QLatin1String("%3d"), QLatin1String("="), Qt::CaseInsensitive)
        .replace(QLatin1String("%26"), QLatin1String("&"), Qt::CaseInsensitive)
        .replace(QLatin1String("%2c"), QLatin1String(","), Qt::CaseInsensitive);
}

QMenu* planningTable_c::createCellMenu(int p_nRow, int p_nCol, QWidget* p_pParent)
{
    const QTableWidgetItem* cell = item(p_nRow, p_nCol);
    if (!cell)
        return nullptr;
    const QString text = cell->text();
    auto* menu = new QMenu(p_pParent);
    // "&&" keeps an "&" of the text from turning into a shortcut mark.
    QString preview = devicePreview(text);
    menu->addAction(preview.replace(QLatin1Char('&'), QLatin1String("&&")))->setEnabled(false);
    menu->addSeparator();
    QAction* escape = menu->addAction(QStringLiteral("Escape instruction"), this,
                                      [this, p_nRow, p_nCol]() { slotEscapeCell(p_nRow, p_nCol); });
    escape->setEnabled(commandTable_n::needsEscaping(text));
    return menu;
}

void planningTable_c::slotEscapeCell(int p_nRow, int p_nCol)
{
    if (QTableWidgetItem* cell = item(p_nRow, p_nCol))
        cell->setText(escapedInstruction(cell->text()));
}

void planningTable_c::slotCommandCustomContextMenuRequested(QPoint p_pos)
{
    const QModelIndex cell = indexAt(p_pos);
    if (!cell.isValid())
        return;
    const std::unique_ptr<QMenu> menu(createCellMenu(cell.row(), cell.column(), this));
    if (menu)
        menu->exec(viewport()->mapToGlobal(p_pos));
}
