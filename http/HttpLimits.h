#pragma once

#include <QtGlobal>

class HttpSettings;

// The sizes, times and thread counts of one listener, with their defaults in
// this one place. Each is a key of the listener settings file of the same
// name; a missing key takes the default here.
struct HttpLimits
{
    // Thread count of the connection pool: kept idle at least, and at most
    // in the pool (one connection each).
    int minThreads = 1;
    int maxThreads = 100;
    // Milliseconds between two looks for an idle handler to retire.
    int cleanupInterval = 1000;
    // Milliseconds a connection may stay silent before it is dropped, and
    // a peer may take no bytes of an answer before it loses the connection.
    int readTimeout = 10000;
    // Bytes of request line, headers and a plain body together.
    qint64 maxRequestSize = 16000;
    // Bytes of a multipart body.
    qint64 maxMultiPartSize = 1000000;

    // The values of p_settings' file as they are now; HttpSettings::limits()
    // keeps them at hand.
    static HttpLimits read(const HttpSettings& p_settings);
};
