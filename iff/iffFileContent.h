#pragma once

#include "iffElementTree.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace qxIff_n {

// What a device delivers in a 0xC706 file (camera picture, signature or
// barcode): one entry per QXF0 form of type 0xC706 that carries a DATA chunk.
//
// type: the first byte of the FAUX text (after its 16-bit structure
// version) when the form has a FAUX chunk with text; otherwise the first
// byte of the FNAM name; 0 when there is neither. 's' is a signature, 'b' a
// barcode, '0' to '9' the number of the camera; anything else is unknown.
// name: the FNAM name up to the first 0x00 (empty without FNAM).
struct fileContent_t
{
    enum class kind_t
    {
        signature,
        barcode,
        camera,
        unknown
    };

    quint16 type = 0;
    QString name;
    QByteArray data;

    kind_t kind() const;
};

// The contents of p_arrFile in file order; forms after a parser error are
// not reached. Empty for anything that is not a QXIF file.
QList<fileContent_t> fileContents(const QByteArray& p_arrFile);
// The same from the element tree of a file, in either style.
QList<fileContent_t> fileContents(const QList<iffElement_t>& p_listTree);

} // namespace qxIff_n
