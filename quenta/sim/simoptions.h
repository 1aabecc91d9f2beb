#pragma once
// Fault injection and start options of the simulated controller, shared by the in-process
// simulator (port map "simulator ...") and kavro-sim (command line).

#include <string>
#include <vector>

namespace quenta {

// Faults the simulated controller injects on request (tests and demonstrations).
struct SimFaults {
    // 1 ... 4: every open fails with this result code (1 cannot open, 2 not a controller,
    // 3 no answer, 4 name mismatch); 0 = opens normally.
    int openFailure = 0;
    // The controller answers nothing and sends no status (as if its cable were cut).
    bool silent = false;
    // >= 0: the controller falls silent this many ms after a connection opens.
    int silenceAfterMs = -1;
    // The next N parameter reads or writes fail (answered with "not done"); -1 = all of them.
    int failParameterCalls = 0;
    // The controller has no bootloader: firmware-update mode gets no answer at all.
    bool noBootloader = false;
    // >= 0: the bootloader acknowledges this many blocks and then stays silent.
    int bootloaderSilentAfterBlock = -1;
    // The bootloader reports a CRC-32 that differs from the data it received.
    bool wrongCrc = false;
    // Serial line only: garbage bytes, frames with a broken CRC and cut-off frames are sent
    // between the real frames.
    bool garbage = false;
};

struct SimOptions {
    SimFaults faults;
    // kavro-sim: 0 = no pacing, -1 = pace at the baud rate the client set, else this rate.
    int paceBaud = 0;
    // Initial controller name (parameter 0505); empty = the default "Dorvik USB".
    std::string name;
    // kavro-sim: a symbolic link to create that points at the pseudo-terminal.
    std::string link;
};

// Parses options such as "--fail-open=3", "--silent", "--pace=115200" into out. Returns false
// with a message in error for an unknown option or a bad value. Options of a port map entry
// and of kavro-sim are the same.
bool parseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error);

// Splits a text at blanks, commas and tabs ("--silent, --fail-open=3").
std::vector<std::string> splitSimOptions(const std::string& text);

// One line per option, for --help.
std::string simOptionsHelp();

}  // namespace quenta
