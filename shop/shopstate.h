#pragma once
// What one machine of the shop is doing, in the few words and the colour its tile shows, read
// from the controller's last status and its job. Widget-free, so the rules are tested alone.

#include "job.h"

#include <QColor>
#include <QString>

#include <cstdint>

struct MachineState {
    enum class Kind { Disconnected, Idle, Run, Hold, ToolChange, Error, Alarm, Completed, Stopped };
    Kind kind = Kind::Disconnected;
    QString detail;  // the pending error or alarm in words, the tool to insert

    // Whether the operator must look: an error or alarm waits.
    bool needsAttention() const { return kind == Kind::Error || kind == Kind::Alarm; }
    QString text() const;   // "Idle", "Run", ...
    QColor colour() const;  // the tile's banner
};

// connected: the port is open; errorCode/errorText: the controller's pending error (0 none);
// job: the port's job (Idle when none ran).
MachineState machineState(bool connected, uint8_t errorCode, const QString& errorText,
                          const quenta::JobProgress& job);
