#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// Read access to the firmware archive, a ZIP file. Each call opens the
// archive on its own, so calls from several threads do not interfere.
//
// Error codes: 0 success; -2 no entry of that name; -3 the entry could not
// be opened; -4 the entry delivered fewer bytes than its size; any positive
// value is the ZIP library's error code (ZIP_ER_*), e.g. for an archive that
// does not exist or is no ZIP file.

// The bytes of the entry named exactly p_arrEntryName (case-sensitive, full
// name with its folders). With -4 the bytes read so far are returned.
QByteArray readArchiveEntry(const QString& p_strArchivePath, const QByteArray& p_arrEntryName,
                            int& p_nErrorCode);

// The names of all entries that contain p_arrKey (case-sensitive byte
// comparison; an empty key matches all), in archive order.
QByteArrayList listArchiveEntries(const QString& p_strArchivePath, const QByteArray& p_arrKey,
                                  int& p_nErrorCode);
