#pragma once

#include <QByteArray>
#include <QMetaType>

#include <utility>
#include <vector>

// One data record, a header list or the items of an answer: ordered
// (name, value) byte-string pairs. Order is insertion order; names may repeat.
typedef std::vector<std::pair<QByteArray, QByteArray>> vecParameter_t;

Q_DECLARE_METATYPE(vecParameter_t)

// Registers the type under both names that queued signals may use:
// "vecParameter_t" and its spelled-out form. Call once in the main thread
// before the first queued connection that carries it.
inline void registerVecParameterMetaType()
{
    qRegisterMetaType<vecParameter_t>("vecParameter_t");
    qRegisterMetaType<vecParameter_t>("std::vector< std::pair< QByteArray, QByteArray > >");
}
