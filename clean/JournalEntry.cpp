#include "clean/JournalEntry.h"

namespace {

constexpr const char* CopyingWord = "copying";
constexpr const char* ChangingWord = "changing ";

}  // namespace

std::string WriteJournalEntry(const JournalEntry& entry)
{
    switch (entry.stage) {
    case RunStage::Copying:
        return std::string(CopyingWord) + "\n";
    case RunStage::Changing:
        return ChangingWord + entry.copyFingerprint + "\n";
    case RunStage::NotStarted:
    case RunStage::Unreadable:
        break;
    }
    return {};
}

JournalEntry ReadJournalEntry(const std::string& text)
{
    if (text.empty())
        return {RunStage::NotStarted, {}};
    if (text == std::string(CopyingWord) + "\n")
        return {RunStage::Copying, {}};
    const std::string changing = ChangingWord;
    if (text.size() > changing.size() + 1 && text.compare(0, changing.size(), changing) == 0 && text.back() == '\n') {
        const std::string identity = text.substr(changing.size(), text.size() - changing.size() - 1);
        if (identity.find_first_of(" \n") == std::string::npos)
            return {RunStage::Changing, identity};
    }
    return {RunStage::Unreadable, {}};
}
