#include "clean/firebird/FbParameterBlocks.h"

#include <map>
#include <stdexcept>

#include "clean/firebird/FbClient.h"

namespace {

constexpr char DpbVersion1 = 1;
constexpr char TpbVersion3 = 3;

const std::map<std::string, char, std::less<>>& AttachItems()
{
    static const std::map<std::string, char, std::less<>> items = {
        {"user_name", 28},  // isc_dpb_user_name
        {"password", 29},   // isc_dpb_password
        {"lc_ctype", 48},   // isc_dpb_lc_ctype
        {"nolinger", 88},   // isc_dpb_nolinger: Firebird 3.0 and later
    };
    return items;
}

// Items whose value is a number, sent as four bytes, least significant first.
const std::map<std::string, char, std::less<>>& NumericAttachItems()
{
    static const std::map<std::string, char, std::less<>> items = {
        {"shutdown", 50},        // isc_dpb_shutdown: isc_dpb_shut_* flags
        {"online", 51},          // isc_dpb_online: isc_dpb_shut_normal
        {"shutdown_delay", 52},  // isc_dpb_shutdown_delay: seconds
    };
    return items;
}

std::string NumberBytes(const std::string& name, const std::string& value)
{
    std::size_t used = 0;
    long number = 0;
    try {
        number = std::stol(value, &used);
    } catch (const std::logic_error&) {
        used = 0;
    }
    if (used == 0 || used != value.size())
        throw fb::Error("connection parameter " + name + " is not a number: " + value);
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((static_cast<unsigned long>(number) >> (8 * i)) & 0xFF);
    return bytes;
}

const std::map<std::string, char, std::less<>>& TransactionItems()
{
    static const std::map<std::string, char, std::less<>> items = {
        {"concurrency", 2},  // isc_tpb_concurrency
        {"wait", 6},         // isc_tpb_wait
    };
    return items;
}

}  // namespace

std::string AttachParameterBlock(const std::vector<std::string>& lines)
{
    std::string block(1, DpbVersion1);
    for (const std::string& line : lines) {
        const auto equals = line.find('=');
        const std::string name = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        if (const auto numeric = NumericAttachItems().find(name); numeric != NumericAttachItems().end()) {
            block += numeric->second;
            block += static_cast<char>(4);
            block += NumberBytes(name, value);
            continue;
        }
        const auto item = AttachItems().find(name);
        if (item == AttachItems().end())
            throw fb::Error("unknown connection parameter " + name);
        if (value.size() > 255)
            throw fb::Error("connection parameter too long: " + name);
        block += item->second;
        block += static_cast<char>(value.size());
        block += value;
    }
    return block;
}

std::string TransactionParameterBlock(const std::vector<std::string>& lines)
{
    std::string block(1, TpbVersion3);
    for (const std::string& line : lines) {
        const auto item = TransactionItems().find(line);
        if (item == TransactionItems().end())
            throw fb::Error("unknown transaction parameter " + line);
        block += item->second;
    }
    return block;
}

std::string StatementBytes(const std::string& text)
{
    std::string bytes = text + "\r\n";
    bytes += '\0';
    return bytes;
}
