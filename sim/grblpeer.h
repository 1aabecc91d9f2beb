#pragma once
// A GRBL 1.1 controller as the link library's tests, the benchmark and `kavro-sim --grbl` need
// it, written from GRBL's interface documentation: welcome, ok/error:N, ALARM:N, [MSG:],
// $$, $I, $N=value, $X, $H, $J=, G0/G1/G4/G10 L20/G53/G90/G91, M3/M5/M8/M9, the realtime
// bytes ? ! ~ 0x18 0x85, a planner of 15 blocks and a 127-byte usable RX buffer. Motion is
// linear in time, without acceleration.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class GrblPeer {
public:
    static constexpr int PlannerBlocks = 15;
    static constexpr size_t RxBuffer = 128;  // reported; one byte of it stays free

    GrblPeer();
    // Power-up: the welcome line (and the lock message when homing is enabled).
    void powerUp();
    void receive(const uint8_t* data, size_t count);
    void advance(int64_t us);
    std::string takeOutput();

    // Test hooks.
    void setPins(const std::string& pins) { pins_ = pins; }
    void hardLimit(char axis);
    void setSetting(int n, double v) { settings[n] = v; }

    // Observations.
    int eepromWrites = 0;
    int rxOverflows = 0;
    size_t rxHighWater = 0;
    int starvations = 0;   // the planner ran empty between motions of a stream
    int linesDone = 0;
    int resets = 0;
    std::string state() const { return state_; }
    double machine(int axis) const { return pos[axis]; }
    double workOffset(int axis) const { return wco[axis]; }
    bool spindleOn() const { return spindle; }

private:
    struct Block {
        double target[4];
        int64_t us;
        bool jog;
    };
    void realtime(uint8_t byte);
    void processLines();
    // Handles one line; false when it must wait (planner full, sync) and stays queued.
    bool line(const std::string& text);
    bool gcode(const std::string& text);
    void report();
    void reset();
    void alarm(int code);
    void say(const std::string& s) { out += s + "\r\n"; }
    bool idle() const { return planner.empty() && dwellUs <= 0; }
    void addBlock(const double target[4], double feed, bool jog);

    std::map<int, double> settings;
    std::string info;
    std::string out;
    std::string rx;
    std::string state_ = "Idle";
    int holdSub = -1;
    double pos[4] = {0, 0, 0, 0};
    double wco[4] = {0, 0, 0, 0};
    std::deque<Block> planner;
    double blockFrom[4] = {0, 0, 0, 0};
    int64_t blockDone = 0;
    int64_t dwellUs = 0;
    bool dwellArmed = false;
    bool started = false;     // a motion has run since the last idle
    bool ranEmpty = false;
    bool relative = false;
    double feed = 0;
    bool spindle = false;
    bool coolant = false;
    bool critical = false;    // hard limit: everything waits for a reset
    int reportCount = 0;
    bool wcoChanged = true;
    bool accessoryChanged = false;
    std::string pins_;
    int64_t homingUs = -1;
};

// Serves a GrblPeer on a pseudo-terminal from its own thread, in real time.
class GrblPtyServer {
public:
    GrblPtyServer();
    ~GrblPtyServer();
    bool start();
    const std::string& path() const { return slave; }
    // Runs f with the peer locked.
    void with(const std::function<void(GrblPeer&)>& f);
    // Closes the pseudo-terminal, as when the USB cable is pulled.
    void hangup();
    // CPU seconds the peer's own thread has used, so a benchmark can tell the host's share.
    double threadCpuSeconds();
    std::atomic<bool> mute{false};

private:
    void loop();
    GrblPeer peer;
    std::mutex mutex;
    int master = -1;
    int holder = -1;
    std::string slave;
    std::atomic<bool> stop{false};
    std::thread thread;
};
