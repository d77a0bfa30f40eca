#pragma once

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>
#include <QVector>

// Draws the URL column of the request list: the request text (method, path
// and query, taken from the item's Qt::UserRole data) with the query
// parameters highlighted, names in blue, values in red, the rest in gray.
// Items whose request text has no query show nothing beyond the usual item
// painting.
class httpRequestItemDelegate_c : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // One run of text in one colour.
    struct piece_t
    {
        QString text;
        QColor colour;

        bool operator==(const piece_t& p_other) const
        {
            return text == p_other.text && colour == p_other.colour;
        }
    };

    explicit httpRequestItemDelegate_c(QObject* p_pParent = nullptr);

    // The pieces of p_strRequest in drawing order, neighbours of the same
    // colour joined, empty pieces left out. Empty when the text has no "?"
    // after its first character. The text up to and including the first "?"
    // is gray; the rest is split at "&" into parameters and each parameter
    // at "=": the name blue, every further part red, "&" and "=" gray.
    static QVector<piece_t> split(const QString& p_strRequest);

    void paint(QPainter* p_pPainter, const QStyleOptionViewItem& p_option,
               const QModelIndex& p_index) const override;
    // Wide enough for the whole request text.
    QSize sizeHint(const QStyleOptionViewItem& p_option, const QModelIndex& p_index) const override;
};
