#include "hang_guard.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace tavrel::test_support {

THangGuard::THangGuard(std::string What, std::chrono::milliseconds Limit) {
    FWatch = std::thread([this, What = std::move(What), Limit] {
        std::unique_lock lock(FLock);
        if (!FDone.wait_for(lock, Limit, [this] { return FFinished; })) {
            std::fprintf(stderr, "HANG: %s did not end within %lld ms\n", What.c_str(),
                         static_cast<long long>(Limit.count()));
            std::fflush(stderr);
            std::_Exit(3);
        }
    });
}

THangGuard::~THangGuard() {
    {
        const std::lock_guard lock(FLock);
        FFinished = true;
    }
    FDone.notify_all();
    FWatch.join();
}

}  // namespace tavrel::test_support
