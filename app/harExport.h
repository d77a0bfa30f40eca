#pragma once

#include "requestExchange.h"

#include <QJsonDocument>
#include <QString>

#include <vector>

// The request log as an HTTP Archive (HAR 1.2), for HAR viewers and for
// scripts that check what went over the wire. No widgets: tests build the
// document straight from the exchanges.
//
// What the log does not keep is written as HAR's "not available": header
// sizes -1, a response body size of -1 where no body was reported, empty
// response headers and status text. Request headers are those the service
// hook reported (telegrams, JSON records, downloads); other requests have
// none. The URL's host is the request's Host header, else "localhost"; its
// scheme is https for jobs that came in over TLS. Request bodies: an
// upload's is the stored file (read when the document is built), without
// the multipart framing around it; a JSON record's is its text; another
// POST's are its parameters (the log does not tell them from the query's).
// Bodies that are not plain UTF-8 text go in base64 with "encoding":
// "base64". Where the method or the path had to be assumed, the request's
// comment holds the log's text.
namespace harExport_n {

// The "log" object of p_exchanges in that order (oldest first); exchanges
// whose end was never reported (no receive time) are left out.
// p_strCreatorVersion goes into log.creator.version.
QJsonDocument document(const std::vector<requestExchange_t>& p_exchanges, const QString& p_strCreatorVersion);

// Writes p_document to p_strPath as a whole or not at all; false with the
// reason in *p_pError.
bool write(const QString& p_strPath, const QJsonDocument& p_document, QString* p_pError);

} // namespace harExport_n
