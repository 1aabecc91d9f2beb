#pragma once
// The controller side of a simulated serial line: a pseudo-terminal whose slave end this side
// holds open (so the line stays up between clients) and sets raw, so no byte is translated.
// kavro-sim, the GRBL peer's server and the serial device's tests serve their controllers on it.

#include <string>

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal() { close(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates it; false with the reason in error when the system refuses.
    bool open(std::string& error);
    // Closes both ends, as when a USB adapter is pulled. Idempotent.
    void close();

    int master() const { return masterFd; }
    int slave() const { return holderFd; }  // the held slave end (baud rate, locks)
    const std::string& slavePath() const { return path; }

private:
    int masterFd = -1;
    int holderFd = -1;
    std::string path;
};
