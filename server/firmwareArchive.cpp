#include "firmwareArchive.h"

#include <QFile>

#include <zip.h>

#include <limits>

namespace {

// Opens the archive read-only; null with the library's code on failure.
zip_t* openArchive(const QString& p_strArchivePath, int& p_nErrorCode)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(p_strArchivePath).constData(), ZIP_RDONLY, &error);
    p_nErrorCode = archive ? 0 : error;
    return archive;
}

int archiveError(zip_t* p_pArchive)
{
    return zip_error_code_zip(zip_get_error(p_pArchive));
}

QByteArray readEntry(zip_t* p_pArchive, zip_int64_t p_nIndex, int& p_nErrorCode)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(p_pArchive, zip_uint64_t(p_nIndex), ZIP_FL_UNCHANGED, &stat) != 0) {
        p_nErrorCode = archiveError(p_pArchive);
        return QByteArray();
    }
    if (stat.size == 0)
        return QByteArray();
    // A QByteArray cannot hold more than an int can count.
    if (stat.size > zip_uint64_t(std::numeric_limits<int>::max())) {
        p_nErrorCode = ZIP_ER_MEMORY;
        return QByteArray();
    }

    zip_file_t* file = zip_fopen_index(p_pArchive, zip_uint64_t(p_nIndex), ZIP_FL_UNCHANGED);
    if (!file) {
        p_nErrorCode = -3;
        return QByteArray();
    }
    QByteArray data(int(stat.size), Qt::Uninitialized);
    int done = 0;
    while (done < data.size()) {
        const zip_int64_t n = zip_fread(file, data.data() + done, zip_uint64_t(data.size() - done));
        if (n <= 0)
            break;
        done += int(n);
    }
    if (done < data.size()) {
        data.truncate(done);
        p_nErrorCode = -4;
    }
    zip_fclose(file);
    return data;
}

} // namespace

QByteArray readArchiveEntry(const QString& p_strArchivePath, const QByteArray& p_arrEntryName,
                            int& p_nErrorCode)
{
    zip_t* archive = openArchive(p_strArchivePath, p_nErrorCode);
    if (!archive)
        return QByteArray();

    QByteArray data;
    // A zero byte would end the name early and find another entry.
    const zip_int64_t index = p_arrEntryName.contains('\0')
                                  ? -1
                                  : zip_name_locate(archive, p_arrEntryName.constData(), ZIP_FL_UNCHANGED);
    if (index < 0)
        p_nErrorCode = -2;
    else
        data = readEntry(archive, index, p_nErrorCode);
    zip_discard(archive); // opened read-only: nothing to write back
    return data;
}

QByteArrayList listArchiveEntries(const QString& p_strArchivePath, const QByteArray& p_arrKey,
                                  int& p_nErrorCode)
{
    QByteArrayList names;
    zip_t* archive = openArchive(p_strArchivePath, p_nErrorCode);
    if (!archive)
        return names;

    const zip_int64_t count = zip_get_num_entries(archive, ZIP_FL_UNCHANGED);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, zip_uint64_t(index), ZIP_FL_UNCHANGED, &stat) != 0) {
            p_nErrorCode = archiveError(archive);
            break;
        }
        const QByteArray name(stat.name);
        if (name.contains(p_arrKey))
            names.append(name);
    }
    zip_discard(archive);
    return names;
}
