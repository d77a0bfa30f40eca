#pragma once

#include "iffParserHandler.h"

#include <QByteArray>

class QIODevice;

namespace qxIff_n {

// Parses the elements that follow one another in p_arrBuffer and reports each
// to p_pHandler (see iffParserHandler_t). Unknown forms and chunks (no
// callback set) are reported with codes 3 and 4 and skipped. Returns false
// after reporting error 1 or 2, true when the buffer is used up; an empty
// buffer is true at once. A missing pad byte at the very end is tolerated.
// A null handler is refused (false, debug line) rather than dereferenced.
bool parseIff(const QByteArray& p_arrBuffer, iffParserHandler_t* p_pHandler);

// The contents of a form (its payload after the 4 type bytes) as a view
// without a copy, for a handler's recursive parseIff() call. Valid only
// while p_arrFormPayload lives; the parser copies what it hands on, so the
// payloads delivered from it may be kept.
QByteArray formContents(const QByteArray& p_arrFormPayload);

// Quick test before a file is accepted: it starts with "FORM", a length L and
// "QXIF", and the device holds at least L + 8 bytes (more is fine). The
// contents are not checked. Opens the device read-only if it is not open (and
// closes it again afterwards); an open random-access device gets its position
// back. The reasons for a failure go to the debug log in verbose mode only.
bool testFileIsQxWebIff(QIODevice* p_pDevice, bool p_bVerbose);

} // namespace qxIff_n
