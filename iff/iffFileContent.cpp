#include "iffFileContent.h"

#include "iffBytes.h"

namespace qxIff_n {

namespace {

constexpr quint16 s_nContentFileType = 0xC706;

const iffElement_t* findChild(const iffElement_t& p_form, const char* p_pId)
{
    // Chunks a view does not decode are labelled "? " + ID.
    for (const iffElement_t& child : p_form.children) {
        if (child.name == QLatin1String(p_pId) || child.name == QLatin1String("? ") + QLatin1String(p_pId))
            return &child;
    }
    return nullptr;
}

void collect(const QList<iffElement_t>& p_listElements, QList<fileContent_t>& p_listContents)
{
    for (const iffElement_t& element : p_listElements) {
        if (element.name == QLatin1String("QXIF") || element.name == QLatin1String("DESC")) {
            collect(element.children, p_listContents);
            continue;
        }
        if (element.name != QLatin1String("QXF0"))
            continue;
        const iffElement_t* ftyp = findChild(element, "FTYP");
        const iffElement_t* data = findChild(element, "DATA");
        quint16 fileType = 0;
        if (!ftyp || !data || !readUInt16(ftyp->payload, 0, fileType) || fileType != s_nContentFileType)
            continue;
        fileContent_t content;
        content.data = data->payload;
        const iffElement_t* fnam = findChild(element, "FNAM");
        if (fnam)
            content.name = QString::fromLatin1(fixedWidthText(fnam->payload, 0, fnam->payload.size()));
        const iffElement_t* faux = findChild(element, "FAUX");
        // The FAUX text follows its two version bytes.
        if (faux && faux->payload.size() > 2)
            content.type = quint8(faux->payload.at(2));
        else if (fnam && !fnam->payload.isEmpty())
            content.type = quint8(fnam->payload.at(0));
        p_listContents.append(content);
    }
}

} // namespace

fileContent_t::kind_t fileContent_t::kind() const
{
    if (type == 's')
        return kind_t::signature;
    if (type == 'b')
        return kind_t::barcode;
    if (type >= '0' && type <= '9')
        return kind_t::camera;
    return kind_t::unknown;
}

QList<fileContent_t> fileContents(const QByteArray& p_arrFile)
{
    return fileContents(readElementTree(p_arrFile, summaryStyle_t::analyser));
}

QList<fileContent_t> fileContents(const QList<iffElement_t>& p_listTree)
{
    QList<fileContent_t> contents;
    collect(p_listTree, contents);
    return contents;
}

} // namespace qxIff_n
