#include "shopstate.h"

#include <QCoreApplication>

QString MachineState::text() const
{
    switch (kind) {
    case Kind::Disconnected: return QCoreApplication::translate("ShopView", "Disconnected");
    case Kind::Idle: return QCoreApplication::translate("ShopView", "Idle");
    case Kind::Run: return QCoreApplication::translate("ShopView", "Run");
    case Kind::Hold: return QCoreApplication::translate("ShopView", "Hold");
    case Kind::ToolChange: return QCoreApplication::translate("ShopView", "Tool change");
    case Kind::Error: return QCoreApplication::translate("ShopView", "Error");
    case Kind::Alarm: return QCoreApplication::translate("ShopView", "Alarm");
    case Kind::Completed: return QCoreApplication::translate("ShopView", "Completed");
    case Kind::Stopped: return QCoreApplication::translate("ShopView", "Stopped");
    }
    return {};
}

QColor MachineState::colour() const
{
    switch (kind) {
    case Kind::Disconnected: return QColor(0x9e, 0x9e, 0x9e);
    case Kind::Idle: return QColor(0x4f, 0x7d, 0xb5);
    case Kind::Run: return QColor(0x2e, 0x8b, 0x3e);
    case Kind::Hold: return QColor(0xd8, 0xa1, 0x1a);
    case Kind::ToolChange: return QColor(0xe0, 0x7b, 0x1a);
    case Kind::Error: return QColor(0xc6, 0x28, 0x28);
    case Kind::Alarm: return QColor(0x9c, 0x1b, 0x8f);
    case Kind::Completed: return QColor(0x2e, 0x7d, 0x6b);
    case Kind::Stopped: return QColor(0x6d, 0x6d, 0x6d);
    }
    return {};
}

MachineState machineState(bool connected, uint8_t errorCode, const QString& errorText,
                          const quenta::JobProgress& job)
{
    using Kind = MachineState::Kind;
    MachineState s;
    if (!connected)
        return s;
    const QString reason = QString::fromStdString(job.reason);
    switch (job.state) {
    case quenta::JobState::Running: s.kind = Kind::Run; break;
    case quenta::JobState::Paused: s.kind = Kind::Hold; break;
    case quenta::JobState::ToolChange:
        s.kind = Kind::ToolChange;
        s.detail = QCoreApplication::translate("ShopView", "Insert tool T%1").arg(job.tool);
        break;
    case quenta::JobState::ErrorPause:
        s.kind = Kind::Error;
        s.detail = QCoreApplication::translate("ShopView", "Line %1: %2")
                       .arg(job.failedFileLine)
                       .arg(reason);
        break;
    case quenta::JobState::Failed:
        // A job ends failed on an alarm, a lost line or a refused start.
        s.kind = quenta::jobAlarm(job) ? Kind::Alarm : Kind::Error;
        s.detail = job.failedFileLine
                       ? QCoreApplication::translate("ShopView", "Line %1: %2")
                             .arg(job.failedFileLine)
                             .arg(reason)
                       : reason;
        break;
    case quenta::JobState::Completed: s.kind = Kind::Completed; break;
    case quenta::JobState::Stopped: s.kind = Kind::Stopped; break;
    case quenta::JobState::Idle: s.kind = Kind::Idle; break;
    }
    // A pending controller error outranks the job's calm states: the operator must acknowledge.
    if (errorCode != 0 && s.kind != Kind::Error && s.kind != Kind::Alarm) {
        s.kind = Kind::Error;
        s.detail = errorText;
    }
    return s;
}
