#pragma once

#include "iffParserHandler.h"

#include <QByteArray>
#include <QMap>

namespace qxIff_n {

// Parser handler that walks every form and keeps each chunk's payload under
// its path joined with single blanks ("FORM QXIF FORM QXF0 DATA"). A later
// chunk with the same key replaces the earlier one; errors are ignored.
struct iffChunkCollector_t : iffParserHandler_t
{
    QMap<QByteArray, QByteArray> chunks;
    // False once the contents of some form could not be parsed to their end.
    bool formsComplete = true;

    iffChunkCollector_t();

    // Clears the collected state and parses p_arrFile. True only when the
    // file and every form inside it parsed to their end.
    bool collect(const QByteArray& p_arrFile);

    // Debug log: one line per entry, key "=>" size "bytes".
    void debugDump() const;
};

} // namespace qxIff_n
