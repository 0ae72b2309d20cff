#include "link/serial_os.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace tavrel::link::os {
namespace {

// Ptys and some drivers refuse modem-line and counter ioctls; that is not a port failure.
bool NotSupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

speed_t SpeedOf(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

int GetAttributes(THandle handle, termios& tio) {
    return ::tcgetattr(handle, &tio) == 0 ? 0 : errno;
}

int SetAttributes(THandle handle, const termios& tio) {
    return ::tcsetattr(handle, TCSANOW, &tio) == 0 ? 0 : errno;
}

void MakeRaw(termios& tio) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    // Non-blocking reads return what is there; waiting is done with poll().
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

int SetSpeed(termios& tio, int baud) {
    const speed_t speed = SpeedOf(baud);
    if (speed == B0) {
        return EINVAL;
    }
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) {
        return errno;
    }
    return 0;
}

int SetDataBits(termios& tio, int bits) {
    tcflag_t size = 0;
    switch (bits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            return EINVAL;
    }
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | size;
    return 0;
}

// Any other letter keeps what the port had.
void SetParity(termios& tio, char parity) {
    const tcflag_t all = PARENB | PARODD | CMSPAR;
    switch (parity) {
        case 'N':
        case 'n':
            tio.c_cflag &= ~all;
            tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
            break;
        case 'O':
        case 'o':
            tio.c_cflag = (tio.c_cflag & ~all) | PARENB | PARODD;
            tio.c_iflag |= INPCK;
            break;
        case 'E':
        case 'e':
            tio.c_cflag = (tio.c_cflag & ~all) | PARENB;
            tio.c_iflag |= INPCK;
            break;
        case 'M':
        case 'm':
            tio.c_cflag = (tio.c_cflag & ~all) | PARENB | PARODD | CMSPAR;
            tio.c_iflag |= INPCK;
            break;
        case 'S':
        case 's':
            tio.c_cflag = (tio.c_cflag & ~all) | PARENB | CMSPAR;
            tio.c_iflag |= INPCK;
            break;
        default:
            break;
    }
}

// 0 one stop bit, 2 two; one and a half has no termios form and is taken as two, like most UARTs do at 8 bits.
void SetStopBits(termios& tio, int stop) {
    if (stop == 0) {
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    } else {
        tio.c_cflag |= CSTOPB;
    }
}

void SetFlowControl(termios& tio, bool soft, bool hard) {
    if (soft) {
        tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = 17;
        tio.c_cc[VSTOP] = 19;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    }
    if (hard) {
        tio.c_cflag |= CRTSCTS;
    } else {
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    }
}

std::string OwningGroup(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::to_string(info.st_gid);
    }
    return found->gr_name;
}

}  // namespace

int Open(const std::string& Path, THandle& Handle, std::string& Hint) {
    Handle = InvalidHandle;
    Hint.clear();
    const int fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES) {
            const std::string group = OwningGroup(Path);
            Hint = ". Нет доступа к порту " + Path + ": пользователь должен входить в группу «" +
                   (group.empty() ? std::string("dialout") : group) +
                   "», которой принадлежит порт, или работать за этим компьютером, где установлен пакет "
                   "tavrel-check: его правило udev открывает прибор такому пользователю (после установки "
                   "переподключите прибор)";
        }
        return error;
    }
    if (::isatty(fd) == 0) {
        const int error = errno == 0 ? ENOTTY : errno;
        ::close(fd);
        return error;
    }
    // TIOCEXCL keeps other users out (not root); flock is what every program, root included, can see.
    if (::ioctl(fd, TIOCEXCL) != 0 && !NotSupported(errno)) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return error;
    }
    // close() waits up to closing_wait (30 s by default) for output a wedged instrument never takes. Ptys
    // refuse the request, and USB CDC ports refuse it to users without CAP_SYS_ADMIN; the purge before
    // closing (CloseSocket) then keeps close() short instead.
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.closing_wait != ASYNC_CLOSING_WAIT_NONE) {
        serial.closing_wait = ASYNC_CLOSING_WAIT_NONE;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    Handle = fd;
    return 0;
}

void Close(THandle Handle) {
    if (Handle != InvalidHandle) {
        ::ioctl(Handle, TIOCNXCL);
        ::flock(Handle, LOCK_UN);
        ::close(Handle);
    }
}

int SetLineSettings(THandle Handle, int Baud, int Bits, char Parity, int Stop, bool SoftFlow, bool HardFlow) {
    termios tio{};
    int error = GetAttributes(Handle, tio);
    if (error != 0) {
        // Never write a settings record that was not read: a zeroed one means B0, which hangs the line up.
        // On a port that is not open the write would fail with the same EBADF.
        return error;
    }
    MakeRaw(tio);
    error = SetSpeed(tio, Baud);
    if (error == 0) {
        error = SetDataBits(tio, Bits);
    }
    if (error != 0) {
        return error;
    }
    SetParity(tio, Parity);
    SetStopBits(tio, Stop);
    SetFlowControl(tio, SoftFlow, HardFlow);
    return SetAttributes(Handle, tio);
}

int SetModemLine(THandle Handle, bool Rts, bool On) {
    int bits = Rts ? TIOCM_RTS : TIOCM_DTR;
    if (::ioctl(Handle, On ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return NotSupported(errno) ? 0 : errno;
    }
    return 0;
}

int GetModemLines(THandle Handle, bool& Dsr, bool& Cts) {
    int bits = 0;
    Dsr = false;
    Cts = false;
    if (::ioctl(Handle, TIOCMGET, &bits) != 0) {
        return errno;
    }
    Dsr = (bits & TIOCM_DSR) != 0;
    Cts = (bits & TIOCM_CTS) != 0;
    return 0;
}

int Purge(THandle Handle) {
    return ::tcflush(Handle, TCIOFLUSH) == 0 ? 0 : errno;
}

int BytesWaiting(THandle Handle, int& Count) {
    Count = 0;
    if (::ioctl(Handle, FIONREAD, &Count) != 0) {
        Count = 0;
        return errno;
    }
    return 0;
}

int ReadLineCounters(THandle Handle, TLineCounters& Counters) {
    Counters = {};
    serial_icounter_struct icount{};
    if (::ioctl(Handle, TIOCGICOUNT, &icount) != 0) {
        return NotSupported(errno) ? 0 : errno;
    }
    Counters.Valid = true;
    Counters.Frame = static_cast<std::uint32_t>(icount.frame);
    Counters.Overrun = static_cast<std::uint32_t>(icount.overrun);
    Counters.BufOverrun = static_cast<std::uint32_t>(icount.buf_overrun);
    Counters.Parity = static_cast<std::uint32_t>(icount.parity);
    return 0;
}

int ReadSome(THandle Handle, std::uint8_t* Buffer, int Length, int& Count) {
    Count = 0;
    const ssize_t n = ::read(Handle, Buffer, static_cast<std::size_t>(Length));
    if (n < 0) {
        return errno == EWOULDBLOCK ? EAGAIN : errno;
    }
    if (n == 0 && Length > 0) {
        return EAGAIN;  // VMIN = VTIME = 0: nothing there; a vanished line shows as POLLHUP in Wait
    }
    Count = static_cast<int>(n);
    return 0;
}

int WriteSome(THandle Handle, const std::uint8_t* Buffer, int Length, int& Count) {
    Count = 0;
    const ssize_t n = ::write(Handle, Buffer, static_cast<std::size_t>(Length));
    if (n < 0) {
        return errno == EWOULDBLOCK ? EAGAIN : errno;
    }
    Count = static_cast<int>(n);
    return 0;
}

TWaitResult Wait(THandle Handle, THandle Wake, bool ForWrite, int TimeoutMs, int& Error) {
    Error = 0;
    pollfd fds[2] = {{Handle, static_cast<short>(ForWrite ? POLLOUT : POLLIN), 0}, {Wake, POLLIN, 0}};
    const nfds_t count = Wake == InvalidHandle ? 1 : 2;
    for (;;) {
        const int n = ::poll(fds, count, TimeoutMs < 0 ? -1 : TimeoutMs);
        if (n < 0) {
            if (errno == EINTR) {
                continue;  // the caller recomputes nothing: a signal is rare enough to restart the full wait
            }
            Error = errno;
            return TWaitResult::wrHangup;
        }
        if (n == 0) {
            return TWaitResult::wrTimeout;
        }
        if (count == 2 && (fds[1].revents & POLLIN) != 0) {
            return TWaitResult::wrWoken;
        }
        if ((fds[0].revents & POLLNVAL) != 0) {
            Error = EBADF;
            return TWaitResult::wrHangup;
        }
        // A vanished USB tty or a pty without master reports readable and hung up at once.
        if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            Error = EIO;
            return TWaitResult::wrHangup;
        }
        if ((fds[0].revents & (POLLIN | POLLOUT)) != 0) {
            return TWaitResult::wrReady;
        }
    }
}

int CreateWake(THandle& Wake) {
    Wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return Wake < 0 ? errno : 0;
}

void SignalWake(THandle Wake) {
    if (Wake != InvalidHandle) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(Wake, &one, sizeof(one));
    }
}

void CloseWake(THandle Wake) {
    if (Wake != InvalidHandle) {
        ::close(Wake);
    }
}

std::string ErrorText(int Code) {
    if (Code == EBUSY) {
        return "Device or resource busy: the port is in use by another program";
    }
    char buffer[256] = {};
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = ::strerror_r(Code, buffer, sizeof(buffer));
    return text != nullptr ? std::string(text) : std::string("Unknown error ") + std::to_string(Code);
}

int LastOsError() {
    return errno;
}

}  // namespace tavrel::link::os
