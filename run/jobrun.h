#pragma once
// kavro-run: a G-code job from the command line, on the library's job engine without a window.
// Its options, its output lines and its exit codes are an interface scripts rely on:
//
//   kavro-run [--port PORT] [--baud N] [--check] [--estimate] [--from LINE]
//             [--tool-change pause|ignore] FILE
//
// stdout: "estimate: <s> s", "extents: X <min> <max> Y <min> <max> Z <min> <max> mm", the
// check's findings, and last "done: <lines> lines in <s> s" (exit 0) or
// "failed at line <N>: <reason>" (exit 1). Usage, file and connection problems: one line on
// stderr, exit 2. Progress goes to stderr.

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace kavrorun {

enum Exit { Done = 0, Failed = 1, Trouble = 2 };

struct Options {
    QString port = QStringLiteral("COM1");
    bool portGiven = false;
    int baud = 115200;
    bool check = false;
    bool estimate = false;
    uint32_t from = 0;  // 0: from the start
    bool pauseOnToolChange = true;
    QString file;
};

// Reads the arguments (without the program's name); false with a one-line message.
bool parseArguments(const QStringList& args, Options& out, QString& error);

struct Io {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool errIsTerminal = false;  // progress twice a second, else one line per 10 %
    // Blocks until the operator confirms a tool change; false when they cannot (no terminal)
    // or a stop came first.
    std::function<bool()> confirmToolChange;
    const std::atomic<bool>* stop = nullptr;  // set by SIGINT / SIGTERM
};

int run(const Options& options, const Io& io);

}  // namespace kavrorun
