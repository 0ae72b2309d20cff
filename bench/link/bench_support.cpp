#include "bench_support.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace tavrel::link::bench {

std::int64_t NowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
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
