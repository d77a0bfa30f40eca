#include "TestArchive.h"

#include <QFile>

bool writeTestArchive(const QString& p_strPath, const QList<archiveEntry_t>& p_entries)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(p_strPath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const archiveEntry_t& entry : p_entries) {
        // The buffers stay alive in p_entries until zip_close() has written them.
        zip_source_t* source =
            zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            zip_source_free(source);
        if (index < 0 || zip_set_file_compression(archive, zip_uint64_t(index), entry.method, 0) != 0) {
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}
