#pragma once

#include "appSettings.h"

#include <QString>
#include <QStringList>

// The application configuration file: one "key: value" line per setting, then
// one "cmd-table:" line per planning row (cells joined by TAB), UTF-8, LF.
// Texts are stored Base64 or hex encoded, numbers in decimal.

// The configuration file the application reads at start and writes at exit,
// relative to the working directory.
inline QString configFileName()
{
    return QStringLiteral("qxwebserver.cfg");
}

// Empties the planning rows of p_settings, then reads p_fileName into it.
// Keys missing from the file keep their current values; a missing or
// unreadable file changes nothing else (debug line "Failed to open config
// file"). Lines that match no key are logged ("Unhandled config line") and
// skipped; a repeated key takes the last value. Returns whether the file
// could be opened.
bool readConfiguration(const QString& p_strFileName, appSettings_c& p_settings);

// Writes all settings and planning rows of p_settings to p_fileName,
// replacing the file. Returns false, with the debug line "Failed to create
// config file", when the file cannot be created or written.
bool writeConfiguration(const QString& p_strFileName, appSettings_c& p_settings);

// The names of the listener settings files in the order in which they are
// looked up: "settings-0.ini" to "settings-9.ini".
QStringList listenerSettingsFileNames();
