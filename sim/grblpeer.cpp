#include "grblpeer.h"

#include "tty.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::fabs(v) < 0.0005 ? 0.0 : v);
    return text;
}

}  // namespace

GrblPeer::GrblPeer()
{
    const double defaults[][2] = {
        {0, 10},    {1, 25},    {2, 0},      {3, 0},      {4, 0},      {5, 0},     {6, 0},
        {10, 1},    {11, 0.01}, {12, 0.002}, {13, 0},     {20, 0},     {21, 0},    {22, 0},
        {23, 0},    {24, 25},   {25, 500},   {26, 250},   {27, 1},     {30, 1000}, {31, 0},
        {32, 0},    {100, 250}, {101, 250},  {102, 250},  {110, 500},  {111, 500}, {112, 500},
        {120, 10},  {121, 10},  {122, 10},   {130, 200},  {131, 200},  {132, 200},
    };
    for (const auto& d : defaults)
        settings[int(d[0])] = d[1];
}

void GrblPeer::powerUp()
{
    reset();
    if (settings[22] != 0) {
        state_ = "Alarm";
        say("[MSG:'$H'|'$X' to unlock]");
    }
}

std::string GrblPeer::takeOutput()
{
    std::string s;
    s.swap(out);
    return s;
}

void GrblPeer::reset()
{
    const bool moving = state_ == "Run" || state_ == "Jog" || state_ == "Home"
                        || (state_ == "Hold" && holdSub == 1);
    planner.clear();
    rx.clear();
    dwellUs = 0;
    dwellArmed = false;
    homingUs = -1;
    spindle = coolant = false;
    relative = false;
    critical = false;
    started = ranEmpty = false;
    holdSub = -1;
    ++resets;
    if (moving) {
        alarm(3);
    } else if (state_ != "Alarm") {
        state_ = "Idle";
    }
    wcoChanged = true;
    say("");
    say("Grbl 1.1h ['$' for help]");
    if (state_ == "Alarm")
        say("[MSG:'$H'|'$X' to unlock]");
}

void GrblPeer::alarm(int code)
{
    planner.clear();
    dwellUs = 0;
    homingUs = -1;
    state_ = "Alarm";
    say("ALARM:" + std::to_string(code));
}

void GrblPeer::hardLimit(char axis)
{
    pins_ = std::string(1, axis);
    alarm(1);
    say("[MSG:Reset to continue]");
    critical = true;
}

void GrblPeer::receive(const uint8_t* data, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = data[i];
        if (c == '?' || c == '!' || c == '~' || c == 0x18 || c >= 0x80) {
            realtime(c);
            continue;
        }
        if (rx.size() >= RxBuffer - 1) {
            ++rxOverflows;
            continue;
        }
        rx.push_back(static_cast<char>(c));
        rxHighWater = std::max(rxHighWater, rx.size());
    }
    processLines();
}

void GrblPeer::realtime(uint8_t c)
{
    switch (c) {
    case '?':
        report();
        break;
    case 0x18:
        reset();
        break;
    case '!':
        if (state_ == "Jog") {
            realtime(0x85);
        } else if (state_ == "Run") {
            state_ = "Hold";
            holdSub = 0;  // stops at once: no acceleration in this model
        }
        break;
    case '~':
        if (state_ == "Hold") {
            state_ = planner.empty() ? "Idle" : "Run";
            holdSub = -1;
        }
        break;
    case 0x85:
        if (state_ == "Jog") {
            planner.clear();
            rx.clear();  // the jog lines still waiting go too
            state_ = "Idle";
        }
        break;
    default:
        break;
    }
}

void GrblPeer::report()
{
    std::string r = "<" + state_;
    if (holdSub >= 0)
        r += ":" + std::to_string(holdSub);
    const bool machinePos = int(settings[10]) & 1;
    r += machinePos ? "|MPos:" : "|WPos:";
    for (int a = 0; a < 3; ++a)
        r += (a ? "," : "") + number(machinePos ? pos[a] : pos[a] - wco[a]);
    if (int(settings[10]) & 2) {
        r += "|Bf:" + std::to_string(PlannerBlocks - int(planner.size())) + ","
             + std::to_string(RxBuffer - 1 - rx.size());
    }
    r += "|FS:" + number(planner.empty() ? 0 : feed) + "," + (spindle ? "1000" : "0");
    if (!pins_.empty())
        r += "|Pn:" + pins_;
    ++reportCount;
    if (wcoChanged || reportCount % 10 == 0) {
        r += "|WCO:" + number(wco[0]) + "," + number(wco[1]) + "," + number(wco[2]);
        wcoChanged = false;
    } else if (accessoryChanged || reportCount % 10 == 5) {
        r += "|Ov:100,100,100";
        if (spindle || coolant)
            r += std::string("|A:") + (spindle ? "S" : "") + (coolant ? "F" : "");
        accessoryChanged = false;
    }
    say(r + ">");
}

void GrblPeer::processLines()
{
    for (;;) {
        const size_t end = rx.find('\n');
        if (end == std::string::npos || critical || homingUs > 0 || dwellUs > 0)
            return;
        std::string text = rx.substr(0, end);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (!line(text))
            return;
        rx.erase(0, end + 1);
        ++linesDone;
    }
}

bool GrblPeer::line(const std::string& text)
{
    if (text.empty()) {
        say("ok");
        return true;
    }
    if (text[0] != '$')
        return gcode(text);
    const bool quiet = state_ == "Idle" || state_ == "Alarm";
    if (text == "$$") {
        if (!quiet)
            return say("error:8"), true;
        for (const auto& s : settings) {
            const bool whole = s.second == std::floor(s.second) && s.first < 24;
            say("$" + std::to_string(s.first) + "="
                + (whole ? std::to_string(int(s.second)) : number(s.second)));
        }
    } else if (text == "$I") {
        say("[VER:1.1h.20190825:" + info + "]");
        say("[OPT:V," + std::to_string(PlannerBlocks) + "," + std::to_string(RxBuffer) + "]");
    } else if (text.rfind("$I=", 0) == 0) {
        info = text.substr(3);
        ++eepromWrites;
    } else if (text == "$X") {
        if (state_ == "Alarm") {
            state_ = "Idle";
            say("[MSG:Caution: Unlocked]");
        }
    } else if (text == "$H") {
        if (settings[22] == 0)
            return say("error:5"), true;
        if (homingUs < 0 && !quiet)
            return say("error:8"), true;
        if (homingUs < 0) {
            state_ = "Home";
            homingUs = 300000;
        }
        if (homingUs > 0)
            return false;  // answers once the cycle is done
        homingUs = -1;
        std::fill(pos, pos + 4, 0.0);
        state_ = "Idle";
    } else if (text.rfind("$J=", 0) == 0) {
        if (state_ != "Idle" && state_ != "Jog")
            return say("error:8"), true;
        return gcode(text);
    } else if (text.size() > 1 && std::isdigit(static_cast<unsigned char>(text[1]))
               && text.find('=') != std::string::npos) {
        if (!quiet)
            return say("error:8"), true;
        const int n = std::atoi(text.c_str() + 1);
        const double v = std::atof(text.c_str() + text.find('=') + 1);
        if (!settings.count(n))
            return say("error:3"), true;
        if (v < 0)
            return say("error:4"), true;
        settings[n] = v;
        ++eepromWrites;
    } else {
        return say("error:3"), true;
    }
    say("ok");
    return true;
}

bool GrblPeer::gcode(const std::string& raw)
{
    const bool jog = raw.rfind("$J=", 0) == 0;
    if (state_ == "Alarm")
        return say("error:9"), true;
    if (jog && !idle() && state_ != "Jog")
        return say("error:8"), true;
    // Words: letter and number, blanks ignored.
    std::multimap<char, double> w;
    const std::string text = jog ? raw.substr(3) : raw;
    for (size_t i = 0; i < text.size();) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (c == ' ') {
            ++i;
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(c)))
            return say("error:1"), true;
        char* end = nullptr;
        const double v = std::strtod(text.c_str() + i + 1, &end);
        if (end == text.c_str() + i + 1)
            return say("error:2"), true;
        w.emplace(c, v);
        i = static_cast<size_t>(end - text.c_str());
    }
    const auto has = [&](char c, double v) {
        auto r = w.equal_range(c);
        return std::any_of(r.first, r.second, [&](const auto& p) { return p.second == v; });
    };
    const auto value = [&](char c, double& v) {
        const auto it = w.find(c);
        if (it == w.end())
            return false;
        v = it->second;
        return true;
    };
    for (const auto& p : w) {
        const bool known = (p.first == 'G' && (p.second == 0 || p.second == 1 || p.second == 4
                                               || p.second == 10 || p.second == 21
                                               || p.second == 53 || p.second == 90
                                               || p.second == 91))
                           || (p.first == 'M' && (p.second == 3 || p.second == 5
                                                  || p.second == 8 || p.second == 9))
                           || std::strchr("XYZAFSPL", p.first);
        if (!known)
            return say("error:20"), true;
    }
    bool rel = relative;
    if (has('G', 90))
        rel = false;
    if (has('G', 91))
        rel = true;
    double axis[4];
    bool any = false;
    static const char letters[] = "XYZA";
    for (int a = 0; a < 4; ++a) {
        axis[a] = NAN;
        any = value(letters[a], axis[a]) || any;
    }
    if (has('G', 4) || has('G', 10)) {
        // Both wait for the planner to run empty.
        if (!idle())
            return false;
        if (has('G', 4)) {
            if (!dwellArmed) {
                double p = 0;
                value('P', p);
                dwellUs = static_cast<int64_t>(p * 1e6);
                dwellArmed = true;
                if (dwellUs > 0)
                    return false;  // answers when the dwell is over
            }
            dwellArmed = false;
            started = ranEmpty = false;
            say("ok");
            return true;
        }
        for (int a = 0; a < 4; ++a) {
            if (!std::isnan(axis[a]))
                wco[a] = pos[a] - axis[a];
        }
        wcoChanged = true;
        ++eepromWrites;
        say("ok");
        return true;
    }
    if (!jog) {
        relative = rel;
        if (has('M', 3) || has('M', 5) || has('M', 8) || has('M', 9))
            accessoryChanged = true;
        if (has('M', 3))
            spindle = true;
        if (has('M', 5))
            spindle = false;
        if (has('M', 8))
            coolant = true;
        if (has('M', 9))
            coolant = false;
    }
    if (any) {
        if (int(planner.size()) >= PlannerBlocks)
            return false;  // waits for room; the line stays in the RX buffer
        const bool machineCoords = has('G', 53);
        double base[4];
        std::copy(planner.empty() ? pos : planner.back().target,
                  (planner.empty() ? pos : planner.back().target) + 4, base);
        double target[4];
        for (int a = 0; a < 4; ++a) {
            if (std::isnan(axis[a]))
                target[a] = base[a];
            else if (machineCoords)
                target[a] = axis[a];
            else
                target[a] = rel ? base[a] + axis[a] : axis[a] + wco[a];
        }
        double f = 0;
        const bool rapid = has('G', 0) || (machineCoords && !has('G', 1));
        if (value('F', f))
            feed = f;
        else if (jog)
            return say("error:22"), true;
        if (!rapid && feed <= 0)
            return say("error:22"), true;
        addBlock(target, rapid ? settings[110] : (jog ? f : feed), jog);
    }
    say("ok");
    return true;
}

void GrblPeer::addBlock(const double target[4], double rate, bool jog)
{
    double d = 0;
    const double* from = planner.empty() ? pos : planner.back().target;
    for (int a = 0; a < 4; ++a)
        d += (target[a] - from[a]) * (target[a] - from[a]);
    Block b;
    std::copy(target, target + 4, b.target);
    b.us = std::max<int64_t>(1, static_cast<int64_t>(std::sqrt(d) / (rate / 60.0) * 1e6));
    b.jog = jog;
    if (planner.empty()) {
        if (ranEmpty)
            ++starvations;
        std::copy(pos, pos + 4, blockFrom);
        blockDone = 0;
        if (state_ == "Idle")
            state_ = jog ? "Jog" : "Run";
    }
    planner.push_back(b);
    started = true;
}

void GrblPeer::advance(int64_t us)
{
    if (homingUs > 0) {
        homingUs = std::max<int64_t>(0, homingUs - us);
        if (homingUs == 0)
            processLines();
        return;
    }
    if (dwellUs > 0) {
        dwellUs = std::max<int64_t>(0, dwellUs - us);
        if (dwellUs == 0)
            processLines();
        return;
    }
    while (us > 0 && !planner.empty() && state_ != "Hold" && state_ != "Alarm") {
        Block& b = planner.front();
        const int64_t step = std::min(us, b.us - blockDone);
        blockDone += step;
        us -= step;
        const double u = double(blockDone) / double(b.us);
        for (int a = 0; a < 4; ++a)
            pos[a] = blockFrom[a] + (b.target[a] - blockFrom[a]) * u;
        if (blockDone >= b.us) {
            std::copy(b.target, b.target + 4, blockFrom);
            blockDone = 0;
            planner.pop_front();
            processLines();
            if (planner.empty()) {
                ranEmpty = started;
                if (state_ == "Run" || state_ == "Jog")
                    state_ = "Idle";
            }
        }
    }
    if (planner.empty() && (state_ == "Run" || state_ == "Jog"))
        state_ = "Idle";
    processLines();
}

// --- pseudo-terminal ---

GrblPtyServer::GrblPtyServer() = default;

GrblPtyServer::~GrblPtyServer()
{
    hangup();
}

bool GrblPtyServer::start()
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0
        || ptsname_r(master, name, sizeof name) != 0)
        return false;
    slave = name;
    // Held open so the line stays up between clients; raw, so no byte is translated.
    holder = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (holder < 0 || !quenta::configureRawTty(holder, 115200))
        return false;
    peer.powerUp();
    thread = std::thread(&GrblPtyServer::loop, this);
    return true;
}

void GrblPtyServer::with(const std::function<void(GrblPeer&)>& f)
{
    std::lock_guard<std::mutex> lock(mutex);
    f(peer);
}

void GrblPtyServer::hangup()
{
    stop = true;
    if (thread.joinable())
        thread.join();
    if (holder >= 0)
        ::close(holder);
    if (master >= 0)
        ::close(master);
    holder = master = -1;
}

void GrblPtyServer::loop()
{
    using Clock = std::chrono::steady_clock;
    auto clock = Clock::now();
    uint8_t buffer[4096];
    std::string pendingOut;
    while (!stop) {
        pollfd p{master, POLLIN, 0};
        ::poll(&p, 1, 2);
        ssize_t n = 0;
        if (p.revents & POLLIN)
            n = ::read(master, buffer, sizeof buffer);
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(mutex);
        peer.advance(std::chrono::duration_cast<std::chrono::microseconds>(now - clock).count());
        clock = now;
        if (n > 0 && !mute)
            peer.receive(buffer, static_cast<size_t>(n));
        pendingOut += peer.takeOutput();
        if (mute)
            pendingOut.clear();
        if (!pendingOut.empty()) {
            const ssize_t w = ::write(master, pendingOut.data(), pendingOut.size());
            if (w > 0)
                pendingOut.erase(0, static_cast<size_t>(w));
        }
    }
}

double GrblPtyServer::threadCpuSeconds()
{
    clockid_t clock{};
    timespec t{};
    if (!thread.joinable() || pthread_getcpuclockid(thread.native_handle(), &clock) != 0
        || clock_gettime(clock, &t) != 0)
        return 0.0;
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
