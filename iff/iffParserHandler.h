#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace qxIff_n {

// Callbacks of parseIff(). A concrete handler derives from this record (so
// the record comes first), sets the callbacks it wants and casts the handler
// pointer it receives back to its own type to reach its state. Every callback
// may be left null.
struct iffParserHandler_t
{
    // A FORM element: its type and its payload, which starts with the 4 type
    // bytes. The parser does not descend into the form; a handler that wants
    // the contents calls parseIff() on p_arrPayload.mid(4) itself.
    using formHandler_t = void (*)(iffParserHandler_t* p_pHandler, const QByteArray& p_arrType,
                                   const QByteArray& p_arrPayload);
    // After every FORM element, whether it was handled or not.
    using formEndHandler_t = void (*)(iffParserHandler_t* p_pHandler, const QByteArray& p_arrType);
    // A chunk element: its ID and payload (without the pad byte).
    using chunkHandler_t = void (*)(iffParserHandler_t* p_pHandler, const QByteArray& p_arrId,
                                    const QByteArray& p_arrPayload);
    // Codes: 1 no room for an element header or a negative length, 2 element
    // longer than the bytes left (both end the parse), 3 FORM without
    // fnFormHandler, 4 chunk without fnChunkHandler (both skipped).
    using errorHandler_t = void (*)(iffParserHandler_t* p_pHandler, int p_nCode, const QString& p_strMessage);

    formHandler_t fnFormHandler = nullptr;
    formEndHandler_t fnFormEndHandler = nullptr;
    chunkHandler_t fnChunkHandler = nullptr;
    errorHandler_t fnErrorHandler = nullptr;

    // Element names from the outermost to the current one: a chunk's ID, or
    // "FORM " + type for a form. During every callback, errors included, the
    // current element's entry is the last one.
    QList<QByteArray> path;
};

} // namespace qxIff_n
