#include "tty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__linux__) && defined(TCGETS2) && !defined(__powerpc__) && !defined(__mips__) \
    && !defined(__sparc__) && !defined(__alpha__)
// The kernel's termios2 (asm-generic layout), which carries any baud rate. It cannot come
// from <asm/termbits.h> because that header clashes with <termios.h>.
struct termios2 {
    unsigned int c_iflag;
    unsigned int c_oflag;
    unsigned int c_cflag;
    unsigned int c_lflag;
    unsigned char c_line;
    unsigned char c_cc[19];
    unsigned int c_ispeed;
    unsigned int c_ospeed;
};
#define KAVRO_HAVE_TERMIOS2 1
constexpr unsigned int kernelBother = 0x00001000;
constexpr unsigned int kernelCbaud = 0x0000100f;
#endif

namespace quenta {

namespace {

struct BaudCode {
    int rate;
    speed_t code;
};

const BaudCode baudCodes[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

}  // namespace

bool configureRawTty(int fd, int baudRate)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const auto standard = std::find_if(std::begin(baudCodes), std::end(baudCodes),
                                       [&](const BaudCode& b) { return b.rate == baudRate; });
    if (standard != std::end(baudCodes)) {
        cfsetispeed(&t, standard->code);
        cfsetospeed(&t, standard->code);
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return false;
    if (standard != std::end(baudCodes))
        return true;
#ifdef KAVRO_HAVE_TERMIOS2
    termios2 t2{};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return false;
    t2.c_cflag &= ~kernelCbaud;
    t2.c_cflag |= kernelBother;
    t2.c_cflag &= ~(kernelCbaud << 16);  // input rate follows the output rate
    t2.c_ispeed = static_cast<unsigned int>(baudRate);
    t2.c_ospeed = static_cast<unsigned int>(baudRate);
    return ioctl(fd, TCSETS2, &t2) == 0;
#else
    errno = EINVAL;
    return false;
#endif
}

int ttyBaudRate(int fd)
{
#ifdef KAVRO_HAVE_TERMIOS2
    termios2 t2{};
    if (ioctl(fd, TCGETS2, &t2) == 0 && (t2.c_cflag & kernelCbaud) == kernelBother)
        return static_cast<int>(t2.c_ospeed);
#endif
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return 0;
    const speed_t code = cfgetospeed(&t);
    for (const BaudCode& b : baudCodes) {
        if (b.code == code)
            return b.rate;
    }
    return 0;
}

Tty::Tty(Handler& handler) : owner(handler) {}

Tty::~Tty()
{
    close();
}

std::chrono::microseconds Tty::charTime() const
{
    return std::chrono::microseconds(10'000'000LL / std::max(50, baud));
}

bool Tty::open(const std::string& path, int baudRate)
{
    close();
    baud = baudRate > 0 ? baudRate : 115200;
    failure.clear();
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const auto fail = [this] {
        failure = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        return false;
    };
    if (fd < 0)
        return fail();
    // Exclusive: a second program (or a second port entry) on the same tty is refused.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0
        || !configureRawTty(fd, baud))
        return fail();
    tcflush(fd, TCIOFLUSH);
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0)
        return fail();
    reader = std::thread(&Tty::readerLoop, this);
    return true;
}

void Tty::close()
{
    if (reader.joinable()) {
        const uint64_t one = 1;
        const ssize_t w = ::write(wakeFd, &one, sizeof one);
        (void)w;
        reader.join();
    }
    if (wakeFd >= 0) {
        ::close(wakeFd);
        wakeFd = -1;
    }
    if (fd >= 0) {
        ::close(fd);  // also releases the flock
        fd = -1;
    }
}

bool Tty::write(const uint8_t* bytes, size_t count, Clock::time_point deadline)
{
    std::lock_guard<std::mutex> lock(writeMutex);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < count) {
        const ssize_t w = ::write(fd, bytes + done, count - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN) {
            owner.ttyLost();
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            owner.ttyLost();
            return false;
        }
    }
    return true;
}

void Tty::readerLoop()
{
    uint8_t buffer[4096];
    int emptyReads = 0;
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, owner.ttyIdleTimeoutMs());
        if (r < 0) {
            if (errno == EINTR)
                continue;
            owner.ttyLost();
            return;
        }
        if (fds[1].revents)
            return;
        if (r == 0) {
            owner.ttyIdle();
            continue;
        }
        if (fds[0].revents & POLLNVAL) {
            owner.ttyLost();
            return;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                emptyReads = 0;
                owner.ttyData(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // A hung-up tty reads as end of file or EIO and polls as POLLHUP for good.
            if (n < 0 || (fds[0].revents & (POLLHUP | POLLERR)) || ++emptyReads > 100) {
                owner.ttyLost();
                return;
            }
        }
    }
}

}  // namespace quenta
