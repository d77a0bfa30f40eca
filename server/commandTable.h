#pragma once

#include "RootRequestMapper.h"

#include <QMap>
#include <QString>
#include <QStringList>

// The device commands: their vocabulary, the operator's current plan, and the
// encoding that puts planned commands into the answer to a data telegram.
//
// Threads: every function may be called from any thread; the catalogue is
// immutable once filled. The operator's current plan is a commandPlan_c.
namespace commandTable_n {

// Command name -> parameter labels (the hints of the planning table's
// parameter columns; their count is the number of cells a command uses).
// Labels in square brackets mark optional parameters; nothing is enforced.
using catalogue_t = QMap<QString, QStringList>;
// Ordered (command name, parameter text) pairs; the text holds the
// command's parameter cells joined by ",".
using plan_t = RootRequestMapper::textPairs_t;

// The acknowledgement modes of the "response-ack-method:" setting. Any other
// value acts as NoAcknowledge.
enum AckMode
{
    Acknowledge = 0,   // "status" = "ok" / "qx_api" = "1"
    NoAcknowledge = 1, // the item is removed; the device repeats the record
    SendError = 2      // "status" = "error" / "qx_api" = "0"
};

// Fills the catalogue unless it is filled already; start-up calls it before
// the main window is built. The first call of commandCatalogue() fills it
// as well, so calling this is optional.
void initCommandCatalogue();
// The whole vocabulary, sorted by command name.
const catalogue_t& commandCatalogue();
// The size of the longest label list (the planning table's parameter columns).
int maxParameterCount();

// Whether a parameter text holds "=", "&" or ",", which would break the
// name=value&... structure of an answer; the operator writes them as "%3d",
// "%26" and "%2c" instead, and the device decodes them.
bool needsEscaping(const QString& p_strText);

// Planning rows, each [activation, command, parameter texts...] as the
// planning table shows them and "cmd-table:" stores them. Activation "X"
// sends the command with every answer, "1" with the next answer only, any
// other text (normally "-") parks the row.
using planningRows_t = QList<QStringList>;
// The plan made of the active rows, in row order: rows with fewer than two
// texts are skipped; trailing empty parameter texts are dropped and the rest
// joined by "," (inner empty texts stay as empty fields).
plan_t planFromRows(const planningRows_t& p_rows);
// Parks every one-shot row ("1" becomes "-"); the numbers of those rows.
QVector<int> parkOneShotRows(planningRows_t& p_rows);

// Puts the plan's commands and the acknowledgement mode into p_response, in
// the form of the request's protocol level. Meant for the service hook, after
// the processor has put its default items in place.
//
// Level 1 (the request holds the pair qx_api=1): every command goes out under
// its own name with its text unescaped ("\r", "\n", "\\"); a "__custom__"
// text "name,rest" goes out as name=rest; planned "qx_api" pairs are
// dropped; the mode acts on "qx_api".
// Level 0: texts go out unchanged under the command's name, except qx_service
// (fields of the unescaped text as service, host, port, and the field
// Connection: close), qx_time (item "time", "T" written as "_") and qx_beep
// (item "beep"); the mode acts on "status".
void applyCommands(const plan_t& p_plan, int p_nAckMode, const RootRequestMapper::request_t& p_request,
                   RootRequestMapper::response_t& p_response);

} // namespace commandTable_n
