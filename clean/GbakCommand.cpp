#include "clean/GbakCommand.h"

#include <utility>

using platform::CommandArguments;

GbakCommand::GbakCommand(std::string gbakFileName, std::string userName, std::string password)
    : gbakFileName_(std::move(gbakFileName)), userName_(std::move(userName)), password_(std::move(password))
{
}

CommandArguments GbakCommand::Backup(const std::string& database, const std::string& backup) const
{
    CommandArguments arguments = Start();
    arguments.push_back({"-b"});
    arguments.push_back({"-g"});
    arguments.push_back({database, true});
    arguments.push_back({backup, true});
    AppendAccount(arguments);
    return arguments;
}

CommandArguments GbakCommand::Restore(const std::string& backup, const std::string& database, bool correct) const
{
    CommandArguments arguments = Start();
    arguments.push_back({"-c"});
    if (correct) {
        arguments.push_back({"-fix_fss_metadata"});
        arguments.push_back({"win1251"});
    }
    arguments.push_back({backup, true});
    arguments.push_back({database, true});
    AppendAccount(arguments);
    return arguments;
}

CommandArguments GbakCommand::Start() const
{
    return {{gbakFileName_, true}};
}

// Neither the account nor the password is quoted on gbak's line.
void GbakCommand::AppendAccount(CommandArguments& arguments) const
{
    arguments.push_back({"-user"});
    arguments.push_back({userName_});
    arguments.push_back({"-pass"});
    arguments.push_back({password_});
}
