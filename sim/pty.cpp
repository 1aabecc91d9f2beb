#include "pty.h"

#include "tty.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

bool PseudoTerminal::open(std::string& error)
{
    close();
    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (masterFd < 0 || grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256] = {};
    if (ptsname_r(masterFd, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    path = name;
    holderFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (holderFd < 0 || !quenta::configureRawTty(holderFd, 115200)) {
        error = std::string("cannot set up ") + name + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void PseudoTerminal::close()
{
    if (holderFd >= 0)
        ::close(holderFd);
    if (masterFd >= 0)
        ::close(masterFd);
    holderFd = masterFd = -1;
}
