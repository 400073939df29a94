// Writes one entry through the platform's event log, for the test that reads
// what Wine's ReportEventW was given:
//   event_log_writer <id> information|warning|error <text>
// with the lines of <text> (split at its line breaks) as the entry's lines.
// Exit code: what Write returned (0 taken), or 255 for bad arguments.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/EventLog.h"

int main(int argc, char** argv)
{
    if (argc != 4)
        return 255;
    const std::string kind = argv[2];
    const platform::EventKind kinds[] = {platform::EventKind::Information, platform::EventKind::Warning,
                                         platform::EventKind::Error};
    const int index = kind == "information" ? 0 : kind == "warning" ? 1 : kind == "error" ? 2 : -1;
    if (index < 0)
        return 255;
    std::vector<std::string> lines;
    const std::string text = argv[3];
    std::size_t start = 0;
    for (std::size_t end = 0; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return platform::CreateEventLog()->Write(std::atoi(argv[1]), kinds[index], lines);
}
