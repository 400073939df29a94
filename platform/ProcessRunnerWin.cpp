#include "platform/ProcessRunner.h"

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/SupportLog.h"
#include "platform/UniqueHandleWin.h"

namespace platform {
namespace {

// The child's standard output and error, read on a thread of their own so
// that a chatty gbak never blocks on a full pipe while we wait for it; each
// line goes to the support log, and the last OutputTailLimit bytes are kept
// as they came.
class OutputCapture {
public:
    // False when no pipe can be made; the child then runs without one.
    bool Open()
    {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!CreatePipe(&read, &write, &inheritable, 0))
            return false;
        read_ = UniqueHandle(read);
        write_ = UniqueHandle(write);
        // Only the child's end is inherited.
        return SetHandleInformation(read_.Get(), HANDLE_FLAG_INHERIT, 0) != 0;
    }

    HANDLE ChildEnd() const { return write_.Get(); }

    // Once the child has its copy: ours must close, or the pipe never ends.
    void Start()
    {
        write_.Reset();
        reader_ = std::thread([this] { ReadAll(); });
    }

    // Waits for the pipe to end, which it does once the child and any
    // program it started are gone, and hands over what was kept.
    std::string Finish()
    {
        if (reader_.joinable())
            reader_.join();
        if (tail_.size() > OutputTailLimit)
            tail_.erase(0, tail_.size() - OutputTailLimit);
        return std::move(tail_);
    }

    ~OutputCapture()
    {
        if (reader_.joinable())
            reader_.join();
    }
    OutputCapture() = default;
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

private:
    void ReadAll()
    {
        std::string pending;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read_.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
            pending.append(buffer, got);
            tail_.append(buffer, got);
            // Cut now and then rather than on every read.
            if (tail_.size() > 2 * OutputTailLimit)
                tail_.erase(0, tail_.size() - OutputTailLimit);
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                WriteSupportLog(line);
                pending.erase(0, end + 1);
            }
        }
        if (!pending.empty())
            WriteSupportLog(pending);
    }

    UniqueHandle read_;
    UniqueHandle write_;
    std::thread reader_;
    std::string tail_;  // the reader's until it is joined
};

// A job that the system ends, with every process in it, when its last
// handle closes: ours, held for the run and closed by the system should the
// tool end any other way (killed from the task manager, the session ending).
// So gbak never goes on alone with the database files.
class KillOnCloseJob {
public:
    KillOnCloseJob() : job_(CreateJobObjectA(nullptr, nullptr))
    {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job_.Valid() &&
            !SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
            job_.Reset();
    }

    // False when the process could not be put in the job (no job, or a
    // system before Windows 8 with the tool already in one); it then runs
    // all the same, as gbak did before jobs: better a run that could
    // outlive the tool than none.
    bool Take(HANDLE process) const { return job_.Valid() && AssignProcessToJobObject(job_.Get(), process) != 0; }

    // Ends whatever the child left running in the job.
    void Close() { job_.Reset(); }

private:
    UniqueHandle job_;
};

// The attribute list that limits what the child inherits to `handle`.
class InheritOnly {
public:
    explicit InheritOnly(HANDLE handle) : handle_(handle)
    {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            return;
        }
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof handle_, nullptr,
                                       nullptr)) {
            DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~InheritOnly()
    {
        if (list_ != nullptr)
            DeleteProcThreadAttributeList(list_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

private:
    HANDLE handle_;
    std::vector<char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

class WinProcessRunner final : public ProcessRunner {
public:
    ProcessOutcome Run(const CommandArguments& arguments, const WhileWaiting& whileWaiting) override
    {
        // CreateProcessA may write into the command line, so it gets a copy.
        const std::string line = WindowsCommandLine(arguments);
        std::vector<char> commandLine(line.begin(), line.end());
        commandLine.push_back('\0');

        // No window-show request; the standard handles are the capture's pipe
        // (none when it cannot be made), and nothing else is inherited.
        OutputCapture output;
        const bool capturing = output.Open();
        InheritOnly inherit(capturing ? output.ChildEnd() : nullptr);
        const bool inheriting = capturing && inherit.Get() != nullptr;
        STARTUPINFOEXA startup{};
        startup.StartupInfo.cb = sizeof(STARTUPINFOEXA);
        // Suspended until it is in the job: a program that starts others
        // at once would otherwise have them run outside it.
        DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
        if (inheriting) {
            startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
            startup.StartupInfo.hStdInput = nullptr;
            startup.StartupInfo.hStdOutput = output.ChildEnd();
            startup.StartupInfo.hStdError = output.ChildEnd();
            startup.lpAttributeList = inherit.Get();
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        } else {
            startup.StartupInfo.cb = sizeof(STARTUPINFOA);
        }
        PROCESS_INFORMATION started{};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, inheriting ? TRUE : FALSE, flags, nullptr,
                            nullptr, &startup.StartupInfo, &started))
            return {};
        // Declared in this order so that the process handle closes first.
        const UniqueHandle thread(started.hThread);
        const UniqueHandle process(started.hProcess);
        KillOnCloseJob job;
        if (!job.Take(process.Get()))
            WriteSupportLog("The program runs outside a job: it could outlive the tool.");
        if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), INFINITE);
            return {};
        }
        if (inheriting)
            output.Start();

        ProcessOutcome outcome;
        if (!whileWaiting) {
            WaitForSingleObject(process.Get(), INFINITE);
        } else {
            const auto interval = static_cast<DWORD>(WhileWaitingInterval.count());
            while (WaitForSingleObject(process.Get(), interval) == WAIT_TIMEOUT) {
                IO_COUNTERS counters{};
                const BytesSoFar read =
                    GetProcessIoCounters(process.Get(), &counters) ? BytesSoFar(counters.ReadTransferCount) : std::nullopt;
                if (!whileWaiting(read) && !outcome.stopped) {
                    outcome.stopped = true;
                    TerminateProcess(process.Get(), 1);
                }
            }
        }
        outcome.started = true;
        DWORD exitCode = 0;
        if (GetExitCodeProcess(process.Get(), &exitCode)) {
            outcome.exited = true;
            outcome.exitCode = exitCode;
        }
        // First the job, so that nothing the child left behind keeps the
        // pipe open.
        job.Close();
        outcome.outputTail = output.Finish();
        return outcome;
    }
};

}  // namespace

std::unique_ptr<ProcessRunner> CreateProcessRunner()
{
    return std::make_unique<WinProcessRunner>();
}

}  // namespace platform
