#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A temporary folder for the files a test writes and reads back; removed
// with the object. Header only, so that tests of any layer can use it
// without linking the network helpers of this folder.
class TempFolder
{
public:
    bool isValid() const { return m_dir.isValid(); }

    QString path(const QString& p_strName) const { return m_dir.filePath(p_strName); }

    // Writes p_arrBytes to the file p_strName in the folder; returns its path.
    QString write(const QString& p_strName, const QByteArray& p_arrBytes) const
    {
        QFile file(path(p_strName));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(p_arrBytes);
        return file.fileName();
    }

    static QByteArray read(const QString& p_strPath)
    {
        QFile file(p_strPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};
