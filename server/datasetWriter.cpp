#include "datasetWriter.h"

#include "serverLog.h"

#include <QDebug>

datasetWriter_c::datasetWriter_c(int p_nFormatId, QObject* p_pParent)
    : QObject(p_pParent), m_nFormatId(p_nFormatId)
{
}

bool datasetWriter_c::open(const QString& p_strFileName)
{
    QMutexLocker locker(&m_mutex);
    if (m_file.isOpen())
        m_file.close();
    m_file.setFileName(p_strFileName);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

QString datasetWriter_c::fileName() const
{
    QMutexLocker locker(&m_mutex);
    return m_file.fileName();
}

void datasetWriter_c::slotReceivedDataset(int p_nId, const vecParameter_t& p_parameter)
{
    if (!m_bEnabled)
        return;

    const int format = m_nFormatId;
    if (format != 0 && format != 1) {
        qCDebug(lcServer) << "Output format ID" << format << "not implemented";
        return;
    }
    int size = 0;
    for (const auto& pair : p_parameter)
        size += pair.first.size() + pair.second.size() + 2;
    QByteArray line;
    line.reserve(size + 1);
    for (const auto& pair : p_parameter) {
        if (format == 1) {
            line += pair.first;
            line += '=';
        }
        line += pair.second;
        line += '\t';
    }

    if (line.isEmpty()) {
        qCDebug(lcServer) << "Not saving dataset..." << p_nId;
        return;
    }
    line.chop(1);
    line += "\r\n";
    QMutexLocker locker(&m_mutex);
    if (!m_file.isWritable())
        return;
    m_file.write(line);
    m_file.flush();
}
