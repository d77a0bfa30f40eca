#pragma once

#include "iffChunk.h"

#include <QByteArray>
#include <QList>

namespace qxIff_n {

// A FORM element held in memory. Plain value type: copies are deep.
struct iffForm_t
{
    QByteArray type; // four bytes, e.g. "QXIF"; empty for "no form"
    QByteArray data; // form data, written right after the type (normally empty)
    QByteArray formId = "FORM";
    QList<iffChunk_t> chunks; // in insertion order
    QList<iffForm_t> forms;   // in insertion order; serialised before the chunks

    iffForm_t() = default;
    explicit iffForm_t(const QByteArray& p_arrType, const QByteArray& p_arrData = QByteArray());

    bool isNull() const { return type.isEmpty(); }

    void addChunk(const iffChunk_t& p_chunk) { chunks.append(p_chunk); }
    void addForm(const iffForm_t& p_form) { forms.append(p_form); }

    // Copy of the first chunk whose ID equals p_arrId (normalised with
    // makeChunkId), or a null chunk.
    iffChunk_t findChunk(const QByteArray& p_arrId) const;
    // Copy of the first sub-form with this form ID and type (both normalised),
    // or a null form.
    iffForm_t findForm(const QByteArray& p_arrFormId, const QByteArray& p_arrType) const;
};

// formId, 32-bit big-endian length (4 + data length + contents length), type,
// data, a 0x00 pad byte when the data length is odd, then the serialised
// sub-forms followed by the serialised chunks.
QByteArray serializeForm(const iffForm_t& p_form);

} // namespace qxIff_n
