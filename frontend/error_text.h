// The text of the "Fehler" box: the loader's message first, unchanged, then where the error
// is, so the user finds it without counting lines.
#pragma once

#include <string>

#include <QString>

namespace kvx {

class CPUException;

// A token as the user can read it: quoted text, or a description for what has no visible
// text ("(end of file)", "(line break)", "(byte 0x00)"). Never empty.
QString tokenForDisplay(const std::string& token);

// The message, and when the error knows its line or token a second line naming the file:
// "Parse-error(12):Unknown Operation\nlamps.awl, line 12: \"LDX\"". `path` is the file the
// error came from; empty for errors that belong to no file (a faulting scan).
QString errorText(const CPUException& error, const QString& path = QString());

} // namespace kvx
