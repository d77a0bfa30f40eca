#pragma once

#include <QString>
#include <QVector>

// The request list's filter: which entries to show for a filter text.
//
// The text is a list of terms separated by blanks; an entry is shown when
// it matches every term, and every entry when there are none. A term is
//   host:TEXT    the peer address contains TEXT
//   status:CODE  the status code is CODE, where "x" stands for any digit
//                ("4xx", "20x")
//   url:TEXT     the request text (the URL column) contains TEXT
//   TEXT         any of the three: host or URL contain it, or the status is it
// and "-" in front of a term shows the entries that do not match it.
// Letters compare without case. An entry whose end has not been reported
// (no status yet) matches no status term.
//
// Cheap to ask: parsing happens once per filter text, so the list asks
// for each new or changed entry alone and rescans only when the text
// changes.
class requestFilter_c
{
public:
    requestFilter_c() = default;
    explicit requestFilter_c(const QString& p_strText);

    bool isEmpty() const { return m_terms.isEmpty(); }
    // p_nStatus 0: not known yet.
    bool matches(const QString& p_strHost, int p_nStatus, const QString& p_strUrl) const;

private:
    enum class field_t
    {
        any,
        host,
        status,
        url
    };
    struct term_t
    {
        field_t field;
        QString text;
        bool negated;
    };
    static bool statusMatches(const QString& p_strPattern, int p_nStatus);

    QVector<term_t> m_terms;
};
