#pragma once
// The port map: which device serves a port name ("COM3"). It lives in the link library's own
// settings (organization "lumbrix", application "Quenta", keys "ports/<name>"); the library
// reads it when a port opens, the program's Ports dialog edits it. This is its one reader and
// writer.

#include <QSettings>
#include <QString>

namespace quenta {

// The link library's settings.
QSettings linkSettings();

// One port map value taken apart: empty or "simulator [fault options]" (any case), the
// built-in simulated controller; "grbl:<path>", a GRBL controller on that tty; anything else,
// the path of a tty with a controller speaking the wire protocol.
struct PortMapEntry {
    enum class Kind { Simulator, Serial, Grbl };
    Kind kind = Kind::Simulator;
    QString device;   // Serial, Grbl: the tty
    QString options;  // Simulator: what follows "simulator", as written

    static PortMapEntry parse(const QString& value);
    // The value that parses back to this entry.
    QString value() const;
};

// The value a port is mapped to ("" when unmapped). A hand-written value with commas, which
// the settings read back as a list, is joined again.
QString portMapValue(const QString& port);
void setPortMapValue(QSettings& settings, const QString& port, const QString& value);

}  // namespace quenta
