#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/UniqueFd.h"

extern char** environ;

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// Moved to 3 or above when it landed on 0..2, as it does for a tool started
// with a standard stream closed, so that the child's dup2 onto 0..2 never
// overwrites a descriptor it has yet to copy. Close-on-exec either way.
UniqueFd AboveStandardStreams(UniqueFd fd)
{
    if (!fd.Valid() || fd.Get() > 2)
        return fd;
    return UniqueFd(fcntl(fd.Get(), F_DUPFD_CLOEXEC, 3));
}

struct Pipe {
    UniqueFd read;
    UniqueFd write;

    bool Open()
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return false;
        // Both taken first, so that neither is left open when one moves.
        UniqueFd readEnd(ends[0]);
        UniqueFd writeEnd(ends[1]);
        read = AboveStandardStreams(std::move(readEnd));
        write = AboveStandardStreams(std::move(writeEnd));
        return read.Valid() && write.Valid();
    }
};

// Every signal blocked on this thread for the fork, so that no handler of
// the tool runs in the child before the child has reset them.
class AllSignalsBlocked {
public:
    AllSignalsBlocked()
    {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous_);
    }
    ~AllSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    AllSignalsBlocked(const AllSignalsBlocked&) = delete;
    AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;

private:
    sigset_t previous_;
};

// Our standard error may be a pipe whose reader has gone (a terminal pager
// quit); passing the child's output on must not then kill the tool half-way
// through a restore. A SIGPIPE raised meanwhile is dropped, unless one was
// already waiting before.
class BrokenPipeHeld {
public:
    BrokenPipeHeld()
    {
        sigemptyset(&pipeSignal_);
        sigaddset(&pipeSignal_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal_, &previous_);
        sigset_t pending;
        dropOnExit_ = !sigismember(&previous_, SIGPIPE) && sigpending(&pending) == 0 && !sigismember(&pending, SIGPIPE);
    }
    ~BrokenPipeHeld()
    {
        sigset_t pending;
        if (dropOnExit_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
            const timespec now{};
            sigtimedwait(&pipeSignal_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    BrokenPipeHeld(const BrokenPipeHeld&) = delete;
    BrokenPipeHeld& operator=(const BrokenPipeHeld&) = delete;

private:
    sigset_t pipeSignal_;
    sigset_t previous_;
    bool dropOnExit_ = false;
};

[[noreturn]] void ReportFailedStart(int failure)
{
    const int error = errno;
    // Nothing to be done should the report itself fail: the parent then
    // takes the child for started and sees it exit with 127.
    [[maybe_unused]] const ssize_t written = write(failure, &error, sizeof error);
    _exit(127);
}

// The child between fork and exec. Only async-signal-safe calls: another
// thread of the tool may have held any lock at the moment of the fork.
[[noreturn]] void BecomeProgram(char* const* argv, pid_t tool, int input, int output, int failure)
{
    // A group of its own before anything else: a signal to the tool's group
    // from now on misses the child, and one that came before is discarded
    // with the signal dispositions below.
    if (setpgid(0, 0) != 0)
        ReportFailedStart(failure);
    // Killed when the tool ends, whatever way. The kernel sends this when
    // the thread that forked ends, not the process; the runs are started on
    // the GUI thread, which lives exactly as long as the program, so the two
    // are the same here. The check catches a tool gone before the request.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        ReportFailedStart(failure);
    if (getppid() != tool)
        _exit(127);
    // Signal handling starts from the defaults, whatever this process
    // ignores or catches; passing through SIG_IGN discards what is pending.
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        action.sa_handler = SIG_IGN;
        sigaction(signal, &action, nullptr);
        action.sa_handler = SIG_DFL;
        sigaction(signal, &action, nullptr);
    }
    // The child reads nothing; its output and errors come to us, on their
    // way to the support log.
    if (dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0)
        ReportFailedStart(failure);
    // It gets none of our other descriptors: glibc 2.36 has no
    // close-on-exec-by-default flag, so everything from 3 up is closed but
    // the close-on-exec one that reports a failed exec.
    for (int fd = 3; fd < failure; ++fd)
        close(fd);
    closefrom(failure + 1);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // The program is taken as named (no PATH search), like the Windows
    // line's first argument.
    execve(argv[0], argv, environ);
    ReportFailedStart(failure);
}

// The errno of a failed exec, or 0 once the exec has closed the pipe.
int StartFailure(const UniqueFd& failure)
{
    int error = 0;
    for (;;) {
        const ssize_t n = read(failure.Get(), &error, sizeof error);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == static_cast<ssize_t>(sizeof error))
            return error != 0 ? error : EIO;
        return n == 0 ? 0 : EIO;
    }
}

// The child's output, passed on to our standard error (the support log) as
// it comes and its end kept.
class OutputRelay {
public:
    explicit OutputRelay(UniqueFd fd) : fd_(std::move(fd))
    {
        const int flags = fcntl(fd_.Get(), F_GETFL);
        if (flags < 0 || fcntl(fd_.Get(), F_SETFL, flags | O_NONBLOCK) != 0)
            fd_.Reset();
    }

    // -1 once the child's side has closed.
    int Descriptor() const { return fd_.Get(); }

    // Reads what is there now. Bounded, so that a child that writes faster
    // than we read cannot keep us from calling back.
    void Drain()
    {
        char buffer[16 * 1024];
        for (int reads = 0; fd_.Valid() && reads < 64; ++reads) {
            const ssize_t n = read(fd_.Get(), buffer, sizeof buffer);
            if (n > 0) {
                PassOn(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                if (n == 0 || errno != EAGAIN)
                    fd_.Reset();
                return;
            }
        }
    }

    std::string TakeTail()
    {
        if (tail_.size() > OutputTailLimit)
            tail_.erase(0, tail_.size() - OutputTailLimit);
        return std::move(tail_);
    }

private:
    void PassOn(const char* bytes, std::size_t size)
    {
        // A standard error that takes nothing more loses the rest; the tail
        // is kept all the same.
        for (std::size_t done = 0; logging_ && done < size;) {
            const ssize_t n = write(STDERR_FILENO, bytes + done, size - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EINTR)
                logging_ = false;
        }
        tail_.append(bytes, size);
        // Cut now and then rather than on every read.
        if (tail_.size() > 2 * OutputTailLimit)
            tail_.erase(0, tail_.size() - OutputTailLimit);
    }

    UniqueFd fd_;
    std::string tail_;
    bool logging_ = true;
};

// What the child has read so far, by the kernel's count of its reads.
BytesSoFar BytesRead(pid_t child)
{
    char name[64];
    std::snprintf(name, sizeof name, "/proc/%d/io", static_cast<int>(child));
    const UniqueFd io(open(name, O_RDONLY | O_CLOEXEC));
    if (!io.Valid())
        return std::nullopt;
    char text[512];
    const ssize_t got = read(io.Get(), text, sizeof text - 1);
    if (got <= 0)
        return std::nullopt;
    text[got] = '\0';
    unsigned long long bytes = 0;
    if (std::sscanf(text, "rchar: %llu", &bytes) != 1)
        return std::nullopt;
    return bytes;
}

// Waits for `child` to end, passing its output on meanwhile and calling
// `whileWaiting`, when given, every interval, and killing it when that asks
// to stop. A pidfd wakes us the moment the child ends; on a kernel without
// one (before 5.3) the child is polled.
// False only when it cannot be waited for.
bool WaitRelaying(pid_t child, int& status, OutputRelay& output, const WhileWaiting& whileWaiting, bool& stopped)
{
    const UniqueFd ended(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    auto lastCall = Clock::now();
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            // What it wrote just before it ended is still in the pipe.
            output.Drain();
            return true;
        }
        if (done < 0 && errno != EINTR)
            return false;

        pollfd watched[2];
        nfds_t count = 0;
        if (output.Descriptor() >= 0)
            watched[count++] = {output.Descriptor(), POLLIN, 0};
        if (ended.Valid())
            watched[count++] = {ended.Get(), POLLIN, 0};
        int timeout = ended.Valid() ? -1 : 10;
        if (whileWaiting) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(WhileWaitingInterval - (Clock::now() - lastCall));
            const int leftMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
            timeout = timeout < 0 ? leftMs : std::min(timeout, leftMs);
        }
        poll(watched, count, timeout);
        output.Drain();

        if (whileWaiting && Clock::now() - lastCall >= WhileWaitingInterval) {
            if (!whileWaiting(BytesRead(child)) && !stopped) {
                // The run puts everything back; nothing the child leaves
                // half done needs it to end gracefully.
                stopped = true;
                kill(child, SIGKILL);
            }
            lastCall = Clock::now();
        }
    }
}

class PosixProcessRunner final : public ProcessRunner {
public:
    ProcessOutcome Run(const CommandArguments& arguments, const WhileWaiting& whileWaiting) override
    {
        ProcessOutcome outcome;
        if (arguments.empty())
            return outcome;
        // The quotes are for the Windows line only; argv carries the texts.
        // Made before the fork, as the child may not allocate.
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (const CommandArgument& argument : arguments)
            argv.push_back(const_cast<char*>(argument.text.c_str()));
        argv.push_back(nullptr);

        UniqueFd input = AboveStandardStreams(UniqueFd(open("/dev/null", O_RDONLY | O_CLOEXEC)));
        Pipe output;
        // Close-on-exec: it ends without a word when the exec succeeds, so a
        // program that cannot start is known at once.
        Pipe failure;
        if (!input.Valid() || !output.Open() || !failure.Open())
            return outcome;

        const pid_t tool = getpid();
        pid_t child = -1;
        {
            const AllSignalsBlocked blocked;
            child = fork();
            if (child == 0)
                BecomeProgram(argv.data(), tool, input.Get(), output.write.Get(), failure.write.Get());
        }
        if (child < 0)
            return outcome;
        // Ours must close, or neither pipe ever ends.
        input.Reset();
        output.write.Reset();
        failure.write.Reset();
        if (StartFailure(failure.read) != 0) {
            int ignored = 0;
            while (waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
            }
            return outcome;
        }
        outcome.started = true;

        const BrokenPipeHeld brokenPipe;
        OutputRelay relay(std::move(output.read));
        int status = 0;
        const bool waited = WaitRelaying(child, status, relay, whileWaiting, outcome.stopped);
        outcome.outputTail = relay.TakeTail();
        // A child that cannot be waited for counts as failure.
        if (waited && WIFEXITED(status)) {
            outcome.exited = true;
            outcome.exitCode = static_cast<std::uint32_t>(WEXITSTATUS(status));
        }
        return outcome;
    }
};

}  // namespace

std::unique_ptr<ProcessRunner> CreateProcessRunner()
{
    return std::make_unique<PosixProcessRunner>();
}

}  // namespace platform
