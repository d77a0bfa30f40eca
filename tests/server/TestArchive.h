#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <zip.h>

// One entry of a ZIP archive written by a test.
struct archiveEntry_t
{
    QByteArray name;
    QByteArray data;
    zip_int32_t method; // ZIP_CM_STORE or ZIP_CM_DEFLATE
};

// Writes a new archive at p_strPath (replacing any file there) with the
// entries in order. False if the ZIP library refused any step.
bool writeTestArchive(const QString& p_strPath, const QList<archiveEntry_t>& p_entries);
