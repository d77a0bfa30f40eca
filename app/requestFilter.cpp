#include "requestFilter.h"

#include <QStringList>

requestFilter_c::requestFilter_c(const QString& p_strText)
{
    static const struct
    {
        QLatin1String prefix;
        field_t field;
    } s_prefixes[] = {{QLatin1String("host:"), field_t::host},
                      {QLatin1String("status:"), field_t::status},
                      {QLatin1String("url:"), field_t::url}};
    for (QString word : p_strText.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        term_t term{field_t::any, QString(), false};
        if (word.size() > 1 && word.startsWith(QLatin1Char('-'))) {
            term.negated = true;
            word.remove(0, 1);
        }
        for (const auto& prefix : s_prefixes) {
            if (word.startsWith(prefix.prefix, Qt::CaseInsensitive)) {
                term.field = prefix.field;
                word.remove(0, prefix.prefix.size());
                break;
            }
        }
        // "host:" alone, while the operator is still typing, filters nothing.
        if (word.isEmpty())
            continue;
        term.text = word;
        m_terms.append(term);
    }
}

bool requestFilter_c::statusMatches(const QString& p_strPattern, int p_nStatus)
{
    if (p_nStatus <= 0)
        return false;
    const QString code = QString::number(p_nStatus);
    if (code.size() != p_strPattern.size())
        return false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = p_strPattern.at(i);
        if (c != code.at(i) && c.toLower() != QLatin1Char('x'))
            return false;
    }
    return true;
}

bool requestFilter_c::matches(const QString& p_strHost, int p_nStatus, const QString& p_strUrl) const
{
    for (const term_t& term : m_terms) {
        bool hit = false;
        switch (term.field) {
        case field_t::host:
            hit = p_strHost.contains(term.text, Qt::CaseInsensitive);
            break;
        case field_t::status:
            hit = statusMatches(term.text, p_nStatus);
            break;
        case field_t::url:
            hit = p_strUrl.contains(term.text, Qt::CaseInsensitive);
            break;
        case field_t::any:
            hit = p_strHost.contains(term.text, Qt::CaseInsensitive) ||
                  p_strUrl.contains(term.text, Qt::CaseInsensitive) || statusMatches(term.text, p_nStatus);
            break;
        }
        if (hit == term.negated)
            return false;
    }
    return true;
}
