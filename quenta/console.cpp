// The console calls: each finds the open port of its record and forwards to its device; hold and
// resume during a job go to the job, so its state follows what the operator did.

#include "console.h"

#include "device.h"
#include "jobs.h"

namespace quenta {

bool consoleAvailable(TarvoPortSettings* record)
{
    return withPortDevice(record, false, [](Device& d) { return d.hasConsole() ? 1 : 0; }) != 0;
}

int consoleSend(TarvoPortSettings* record, const std::string& line, std::string& reason)
{
    reason.clear();
    const int done = withPortDevice(record, true, [&](Device& d) {
        return d.consoleSend(line, reason);
    });
    if (!done && reason.empty())
        reason = "the controller is not connected";
    return done;
}

int consoleRealtime(TarvoPortSettings* record, uint8_t byte)
{
    if ((byte == '!' || byte == '~') && jobActive(jobProgress(record).state))
        return controlJob(record, byte == '!' ? JobControl::Pause : JobControl::Resume);
    // Realtime bytes never wait for a call in flight: a hold must not queue behind a jog.
    return withPortDevice(record, false, [byte](Device& d) { return d.consoleRealtime(byte); });
}

bool consoleTake(TarvoPortSettings* record, std::vector<ConsoleEntry>& out)
{
    return withPortDevice(record, false, [&](Device& d) {
               if (!d.hasConsole())
                   return 0;
               d.consoleTake(out);
               return 1;
           }) != 0;
}

}  // namespace quenta
