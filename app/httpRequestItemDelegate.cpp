#include "httpRequestItemDelegate.h"

#include "appLog.h"

#include <QDebug>
#include <QPainter>

namespace {

void append(QVector<httpRequestItemDelegate_c::piece_t>& p_pieces, const QString& p_strText,
            Qt::GlobalColor p_colour)
{
    if (p_strText.isEmpty()) {
        return;
    }
    if (!p_pieces.isEmpty() && p_pieces.last().colour == p_colour) {
        p_pieces.last().text += p_strText;
        return;
    }
    p_pieces.append({p_strText, QColor(p_colour)});
}

int queryStart(const QString& p_strRequest)
{
    return p_strRequest.indexOf(QLatin1Char('?'), 1) < 0 ? -1 : p_strRequest.indexOf(QLatin1Char('?'));
}

QString requestText(const QModelIndex& p_index)
{
    return p_index.data(Qt::UserRole).toString();
}

} // namespace

httpRequestItemDelegate_c::httpRequestItemDelegate_c(QObject* p_pParent) : QStyledItemDelegate(p_pParent) {}

QVector<httpRequestItemDelegate_c::piece_t> httpRequestItemDelegate_c::split(const QString& p_strRequest)
{
    QVector<piece_t> pieces;
    const int query = queryStart(p_strRequest);
    if (query < 0) {
        return pieces;
    }
    append(pieces, p_strRequest.left(query + 1), Qt::gray);

    const QStringList parameters = p_strRequest.mid(query + 1).split(QLatin1Char('&'));
    for (int p = 0; p < parameters.size(); ++p) {
        if (p > 0) {
            append(pieces, QStringLiteral("&"), Qt::gray);
        }
        const QStringList parts = parameters.at(p).split(QLatin1Char('='));
        append(pieces, parts.first(), Qt::blue);
        for (int v = 1; v < parts.size(); ++v) {
            append(pieces, QStringLiteral("="), Qt::gray);
            append(pieces, parts.at(v), Qt::red);
        }
    }
    return pieces;
}

void httpRequestItemDelegate_c::paint(QPainter* p_pPainter, const QStyleOptionViewItem& p_option,
                                      const QModelIndex& p_index) const
{
    QStyledItemDelegate::paint(p_pPainter, p_option, p_index);

    const QString request = requestText(p_index);
    const QVector<piece_t> pieces = split(request);
    if (pieces.isEmpty()) {
        return;
    }
    qCDebug(lcApp) << "    SPLIT" << request.mid(queryStart(request) + 1).split(QLatin1Char('&'));

    // Drawn at points, so nothing is clipped to the cell.
    const QFontMetrics metrics(p_option.font);
    const QRect& cell = p_option.rect;
    QPoint position(cell.left(), cell.top() + (cell.height() - metrics.height()) / 2 + metrics.ascent());
    p_pPainter->save();
    p_pPainter->setFont(p_option.font);
    for (const piece_t& piece : pieces) {
        p_pPainter->setPen(piece.colour);
        p_pPainter->drawText(position, piece.text);
        position.rx() += metrics.horizontalAdvance(piece.text);
    }
    p_pPainter->restore();
}

QSize httpRequestItemDelegate_c::sizeHint(const QStyleOptionViewItem& p_option,
                                          const QModelIndex& p_index) const
{
    QSize size = QStyledItemDelegate::sizeHint(p_option, p_index);
    size.setWidth(qMax(size.width(), QFontMetrics(p_option.font).horizontalAdvance(requestText(p_index))));
    return size;
}
