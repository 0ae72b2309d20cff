#include "bench_support.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "protocol/crc_helper.h"

namespace tavrel::link::bench {

std::int64_t NowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

TPtyPair::TPtyPair() {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    char name[128] = {};
    if (::ptsname_r(FMaster, name, sizeof name) != 0) {
        throw std::runtime_error("no pseudo-terminal name");
    }
    FSlavePath = name;
    // Raw before the reader opens it, and held open so that the master never sees a hang-up meanwhile.
    FKeepSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    ::tcgetattr(FKeepSlave, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(FKeepSlave, TCSANOW, &settings);
}

TPtyPair::~TPtyPair() {
    ::close(FKeepSlave);
    ::close(FMaster);
}

pid_t StartWriter(int masterFd, const std::function<int(int)>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body(masterFd));
    }
    return pid;
}

int WaitWriter(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

bool WriteAll(int fd, const TBytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

TBytes AnswerFrame(const std::string& body, bool badCrc) {
    const std::string head = "\x02;" + body + ";";
    TBytes frame(head.begin(), head.end());
    int crc = protocol::TCRCHelper::CRC7Calc(frame, -1);
    if (badCrc) {
        crc ^= 0x11;
    }
    char text[3];
    std::snprintf(text, sizeof text, "%02X", crc);
    frame.push_back(static_cast<std::uint8_t>(text[0]));
    frame.push_back(static_cast<std::uint8_t>(text[1]));
    frame.push_back(';');
    frame.push_back(0x03);
    return frame;
}

long SequenceOf(const TBytes& body) {
    if (body.size() < 3 || body[0] != '7' || body[1] != ';') {
        return -1;
    }
    long value = 0;
    std::size_t i = 2;
    for (; i < body.size() && body[i] >= '0' && body[i] <= '9'; ++i) {
        value = value * 10 + (body[i] - '0');
    }
    return i > 2 ? value : -1;
}

TStats Summarise(std::vector<double> samplesUs) {
    TStats stats;
    stats.Count = samplesUs.size();
    if (samplesUs.empty()) {
        return stats;
    }
    std::sort(samplesUs.begin(), samplesUs.end());
    stats.MedianUs = samplesUs[samplesUs.size() / 2];
    stats.P99Us = samplesUs[std::min(samplesUs.size() - 1, samplesUs.size() * 99 / 100)];
    return stats;
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::size_t ResidentBytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace tavrel::link::bench
