#include "simoptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace quenta {

namespace {

bool toInt(const std::string& text, long lo, long hi, int& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

std::vector<std::string> splitSimOptions(const std::string& text)
{
    std::vector<std::string> parts;
    std::string current;
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

bool parseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error)
{
    SimOptions o = out;
    for (const std::string& arg : args) {
        const size_t eq = arg.find('=');
        const std::string key = arg.substr(0, eq);
        const bool hasValue = eq != std::string::npos;
        const std::string value = hasValue ? arg.substr(eq + 1) : std::string();
        const auto bad = [&](const char* what) {
            error = "Bad value for " + key + ": '" + value + "' (" + what + ")";
            return false;
        };
        const auto noValue = [&]() {
            if (hasValue) {
                error = "Option " + key + " takes no value";
                return false;
            }
            return true;
        };
        if (key == "--fail-open") {
            if (!toInt(value, 0, 4, o.faults.openFailure))
                return bad("0 to 4");
        } else if (key == "--silent") {
            if (!noValue())
                return false;
            o.faults.silent = true;
        } else if (key == "--silence-after") {
            if (!toInt(value, 0, INT_MAX, o.faults.silenceAfterMs))
                return bad("milliseconds");
        } else if (key == "--fail-params") {
            if (!toInt(value, -1, INT_MAX, o.faults.failParameterCalls))
                return bad("a count, -1 = all");
        } else if (key == "--no-bootloader") {
            if (!noValue())
                return false;
            o.faults.noBootloader = true;
        } else if (key == "--bootloader-silent-after") {
            if (!toInt(value, 0, INT_MAX, o.faults.bootloaderSilentAfterBlock))
                return bad("a block count");
        } else if (key == "--wrong-crc") {
            if (!noValue())
                return false;
            o.faults.wrongCrc = true;
        } else if (key == "--garbage") {
            if (!noValue())
                return false;
            o.faults.garbage = true;
        } else if (key == "--pace") {
            if (!hasValue)
                o.paceBaud = -1;
            else if (!toInt(value, 50, 4000000, o.paceBaud))
                return bad("a baud rate from 50 to 4000000");
        } else if (key == "--name") {
            if (value.size() > 16)
                return bad("at most 16 characters");
            o.name = value;
        } else if (key == "--link") {
            if (value.empty())
                return bad("a path");
            o.link = value;
        } else {
            error = "Unknown option: " + arg;
            return false;
        }
    }
    out = o;
    return true;
}

std::string simOptionsHelp()
{
    return "  --pace[=BAUD]                 pace the line at BAUD, or at the client's baud rate\n"
           "  --fail-open=N                 every open fails with result code N (1 to 4)\n"
           "  --silent                      answer nothing, send no status\n"
           "  --silence-after=MS            fall silent MS milliseconds after a connect\n"
           "  --fail-params=N               the next N parameter calls fail (-1 = all)\n"
           "  --no-bootloader               firmware-update mode gets no answer\n"
           "  --bootloader-silent-after=K   the bootloader falls silent after K blocks\n"
           "  --wrong-crc                   the bootloader reports a wrong CRC-32\n"
           "  --garbage                     garbage and broken frames between the frames\n"
           "  --name=TEXT                   initial controller name (at most 16 characters)\n"
           "  --link=PATH                   also create a symbolic link PATH to the pty\n";
}

}  // namespace quenta
