#include "iffForm.h"

#include "iffBytes.h"

namespace qxIff_n {

iffForm_t::iffForm_t(const QByteArray& p_arrType, const QByteArray& p_arrData)
    : type(makeChunkId(p_arrType)), data(p_arrData)
{
}

iffChunk_t iffForm_t::findChunk(const QByteArray& p_arrId) const
{
    const QByteArray id = makeChunkId(p_arrId);
    for (const iffChunk_t& chunk : chunks) {
        if (chunk.id == id) {
            return chunk;
        }
    }
    return iffChunk_t();
}

iffForm_t iffForm_t::findForm(const QByteArray& p_arrFormId, const QByteArray& p_arrType) const
{
    const QByteArray formIdWanted = makeChunkId(p_arrFormId);
    const QByteArray typeWanted = makeChunkId(p_arrType);
    for (const iffForm_t& form : forms) {
        if (form.formId == formIdWanted && form.type == typeWanted) {
            return form;
        }
    }
    return iffForm_t();
}

QByteArray serializeForm(const iffForm_t& p_form)
{
    QByteArray contents;
    for (const iffForm_t& form : p_form.forms) {
        contents.append(serializeForm(form));
    }
    for (const iffChunk_t& chunk : p_form.chunks) {
        contents.append(serializeChunk(chunk));
    }

    // The pad byte after odd form data is not counted in the length. The
    // length is odd in exactly that case, so a reader skipping the element's
    // own pad byte still lands on the next element.
    QByteArray result;
    result.reserve(12 + p_form.data.size() + 1 + contents.size());
    result.append(makeChunkId(p_form.formId));
    appendUInt32(result, quint32(4 + p_form.data.size() + contents.size()));
    result.append(makeChunkId(p_form.type));
    result.append(p_form.data);
    if (p_form.data.size() % 2 != 0) {
        result.append('\0');
    }
    result.append(contents);
    return result;
}

} // namespace qxIff_n
