#pragma once

#include "iffForm.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace qxIff_n {

// Largest address range the images of one list may span (64 MiB): the
// merged image is allocated whole, so names with far-apart addresses are
// refused with a message instead.
constexpr quint32 maxBootloaderSpan = 64u * 1024 * 1024;

// 0xC70D: one encrypted QXF0 form with FAUX = p_strVersion, the COMP entries
// of the hardware compatibility list and one DATE block per non-empty image
// list (bootloader images: index 0xB007, update-loader images: 0x5552). Each
// image file name ends in "_<8 hex digits>.bin", the image's load address; a
// list's images are merged into one block filled with 0xFF between them.
// Every problem adds one line beginning with "* " to p_strMessages; the
// caller must discard the forms when p_strMessages is not empty.
QList<iffForm_t> buildBootloader(const QString& p_strVersion, const QString& p_strHclPath,
                                 const QStringList& p_listBootloaderImages,
                                 const QStringList& p_listUpdateLoaderImages, QString& p_strMessages);

// A bootloader description file: lines "HCL:", "VERSION:", "BIN-UL:" and
// "BIN-BL:" (case-sensitive) followed by the value. Image names and the list
// path are resolved against the description file's folder, so a description
// and its files move together. Other non-blank lines are kept in
// unprocessedLines.
struct bootloaderDescription_t
{
    QString hclPath;
    QString version;
    QStringList updateLoaderImages;
    QStringList bootloaderImages;
    QStringList unprocessedLines;
};

// False when the file cannot be opened.
bool readBootloaderDescription(const QString& p_strPath, bootloaderDescription_t& p_description);

} // namespace qxIff_n
