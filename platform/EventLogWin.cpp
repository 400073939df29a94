#include "platform/EventLog.h"

#include <windows.h>

#include "platform/CoreTextWin.h"

namespace platform {
namespace {

// An event source handle, which DeregisterEventSource releases.
class EventSource {
public:
    EventSource() : handle_(RegisterEventSourceW(nullptr, Utf8ToWide(EventSourceName).c_str())) {}
    ~EventSource()
    {
        if (handle_ != nullptr)
            DeregisterEventSource(handle_);
    }
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

WORD TypeOf(EventKind kind)
{
    switch (kind) {
    case EventKind::Warning:
        return EVENTLOG_WARNING_TYPE;
    case EventKind::Error:
        return EVENTLOG_ERROR_TYPE;
    case EventKind::Information:
        break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

// The message table's text for every id is "%1": the whole text goes in as
// one insertion string, with the line ends the viewers show.
class ApplicationLog final : public EventLog {
public:
    int Write(int id, EventKind kind, const std::vector<std::string>& lines) override
    {
        std::wstring text;
        for (std::size_t i = 0; i < lines.size(); ++i)
            text += (i == 0 ? L"" : L"\r\n") + CoreTextToWide(lines[i]);
        // A source nobody registered (the portable zip) still opens: the
        // entry is filed, and the Event Viewer shows its text after a note
        // that the source's description cannot be found.
        const EventSource source;
        if (source.Get() == nullptr)
            return static_cast<int>(GetLastError());
        const wchar_t* strings[] = {text.c_str()};
        if (!ReportEventW(source.Get(), TypeOf(kind), 0, static_cast<DWORD>(id), nullptr, 1, 0, strings, nullptr))
            return static_cast<int>(GetLastError());
        return 0;
    }
};

}  // namespace

std::unique_ptr<EventLog> CreateEventLog()
{
    return std::make_unique<ApplicationLog>();
}

}  // namespace platform
