#include "platform/ShutdownSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/UniqueFd.h"

namespace platform {
namespace {

sigset_t RequestSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

// Blocked signals wait in the kernel and are read from a signalfd, so there
// is no handler and nothing shared with one.
class PosixShutdownSignals final : public ShutdownSignals {
public:
    PosixShutdownSignals()
    {
        const sigset_t set = RequestSignals();
        // Block only once the descriptor exists: blocked signals that nobody
        // reads would make the program deaf to them.
        UniqueFd fd(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
        if (fd.Valid() && pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0)
            fd_ = std::move(fd);
    }

    int Descriptor() const override { return fd_.Get(); }

    bool TakeRequests() override
    {
        bool taken = false;
        signalfd_siginfo info{};
        for (;;) {
            const ssize_t n = read(fd_.Get(), &info, sizeof info);
            if (n == static_cast<ssize_t>(sizeof info)) {
                taken = true;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return taken;
        }
    }

private:
    UniqueFd fd_;
};

}  // namespace

std::unique_ptr<ShutdownSignals> CatchShutdownSignals()
{
    return std::make_unique<PosixShutdownSignals>();
}

}  // namespace platform
