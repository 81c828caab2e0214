#include "modulecommands.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <string_view>

namespace simulator {

namespace {

// The command port that "get ip" reports. Clients cut exactly five characters (":2000") off the
// address, so the text stays the module's own port even when the simulator listens elsewhere.
constexpr std::string_view ReportedPort = ":2000";
constexpr std::string_view DeviceName = "KOV-SL47";
constexpr long LongestLease = 99999999; // seconds, more than three years
constexpr std::array<int, 10> BaudRates = {2400,  4800,   9600,   19200,  38400,
                                           57600, 115200, 230400, 460800, 921600};

// A decimal number, or a hexadecimal one after "0x"; nothing else (no sign, no blanks).
std::optional<long> parseNumber(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // Nine digits fit a long and lie far beyond every range checked here.
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    long value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

template <typename Number>
bool setNumber(const std::string& text, long lowest, long highest, Number& target)
{
    const std::optional<long> value = parseNumber(text);
    if (!value || *value < lowest || *value > highest)
        return false;
    target = static_cast<Number>(*value);
    return true;
}

bool isDottedAddress(std::string_view text)
{
    int parts = 0;
    for (;;) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (part.empty() || part.size() > 3)
            return false;
        int value = 0;
        for (const char c : part) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

bool setAddress(const std::string& text, std::string& target)
{
    if (!isDottedAddress(text))
        return false;
    target = text;
    return true;
}

// Texts are taken as they come: the module does not judge an SSID, a key or a string.
bool setText(const std::string& text, std::string& target)
{
    target = text;
    return true;
}

// For the password and the three connection strings "0" means none.
bool setClearable(const std::string& text, std::string& target)
{
    target = text == "0" ? std::string() : text;
    return true;
}

bool setBaudrate(const std::string& text, int& target)
{
    const std::optional<long> value = parseNumber(text);
    if (!value || std::find(BaudRates.begin(), BaudRates.end(), *value) == BaudRates.end())
        return false;
    target = static_cast<int>(*value);
    return true;
}

using Setter = bool (*)(const std::string& value, ModuleSettings& settings);

struct Setting
{
    std::string_view command; // followed by a space and the value
    Setter apply;
};

// "set sys iofunc" is not here: it drives the LED, not a setting.
const Setting Settings[] = {
    {"set wlan join",
     [](const std::string& v, ModuleSettings& s) { return setNumber(v, 0, 8, s.join); }},
    {"set wlan chan",
     [](const std::string& v, ModuleSettings& s) { return setNumber(v, 0, 13, s.channel); }},
    {"set wlan ssid", [](const std::string& v, ModuleSettings& s) { return setText(v, s.ssid); }},
    {"set wlan key", [](const std::string& v, ModuleSettings& s) { return setText(v, s.key); }},
    {"set wlan phrase",
     [](const std::string& v, ModuleSettings& s) { return setText(v, s.phrase); }},
    {"set ip dhcp",
     [](const std::string& v, ModuleSettings& s) {
         int mode = 0;
         if (!setNumber(v, 0, 1, mode))
             return false;
         s.dhcp = mode == 1;
         return true;
     }},
    {"set ip address",
     [](const std::string& v, ModuleSettings& s) { return setAddress(v, s.ipAddress); }},
    {"set ip netmask",
     [](const std::string& v, ModuleSettings& s) { return setAddress(v, s.netmask); }},
    {"set ip gateway",
     [](const std::string& v, ModuleSettings& s) { return setAddress(v, s.gateway); }},
    {"set opt password",
     [](const std::string& v, ModuleSettings& s) { return setClearable(v, s.password); }},
    {"set dhcp lease",
     [](const std::string& v, ModuleSettings& s) {
         return setNumber(v, 0, LongestLease, s.leaseSeconds);
     }},
    {"set comm match",
     [](const std::string& v, ModuleSettings& s) { return setNumber(v, 0, 255, s.matchChar); }},
    {"set comm size",
     [](const std::string& v, ModuleSettings& s) { return setNumber(v, 1, 1420, s.flushSize); }},
    {"set comm time",
     [](const std::string& v, ModuleSettings& s) { return setNumber(v, 0, 65535, s.flushTimer); }},
    {"set comm open",
     [](const std::string& v, ModuleSettings& s) { return setClearable(v, s.openString); }},
    {"set comm close",
     [](const std::string& v, ModuleSettings& s) { return setClearable(v, s.closeString); }},
    {"set comm remote",
     [](const std::string& v, ModuleSettings& s) { return setClearable(v, s.remoteString); }},
    {"set uart baud",
     [](const std::string& v, ModuleSettings& s) { return setBaudrate(v, s.baudrate); }},
    {"set uart flow",
     [](const std::string& v, ModuleSettings& s) { return setNumber(v, 0, 0xff, s.flow); }},
};

std::string hex(unsigned value, int digits = 1)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

// One "key=value" line after another, each ended by CR LF.
std::string settingLines(std::initializer_list<std::string> lines)
{
    std::string body;
    for (const std::string& line : lines)
        body += line + "\r\n";
    return body;
}

std::string authentication(const ModuleSettings& s)
{
    if (!s.phrase.empty())
        return "WPA2-PSK";
    return s.key.empty() ? "OPEN" : "WEP";
}

// Clients read a value from the first line that holds its key anywhere, so within each reply no
// line may hold the key of a later line: "Join" stands before the SSID, and the numbers of
// "get comm" before the strings, because an SSID or a string may be any text.
std::optional<std::string> queryBody(const std::string& line, const ModuleSettings& s,
                                     const ModuleIdentity& identity)
{
    if (line == "ver")
        return std::string(DeviceName) + " Ver " + identity.firmwareVersion + ", " +
               identity.buildDate + " on " + std::string(DeviceName) + "\r\n";
    if (line == "get ip")
        return settingLines({"IF=UP", std::string("DHCP=") + (s.dhcp ? "ON" : "OFF"),
                             "IP=" + identity.address + std::string(ReportedPort),
                             "NM=" + s.netmask, "GW=" + s.gateway, "HOST=0.0.0.0:2000", "PROTO=TCP",
                             "MTU=1524", "FLAGS=0x7", "BACKUP=0.0.0.0"});
    if (line == "get wlan")
        return settingLines({"Join=" + std::to_string(s.join), "SSID=" + s.ssid,
                             "Chan=" + std::to_string(s.channel), "ExtAnt=0",
                             "Auth=" + authentication(s), "Mask=0x1fff", "Rate=12", "Linkmon=0",
                             "Passwd=" + s.phrase, "EAP_Id=", "EAP_User=", "TxPower=0"});
    if (line == "get uart")
        return settingLines({"Baudrate=" + std::to_string(s.baudrate), "Flow=0x" + hex(s.flow),
                             "Mode=0x0", "Cmd_GPIO=0"});
    if (line == "get opt")
        return settingLines({"JoinTmr=1000", "Replace=0x24", "DeviceId=" + std::string(DeviceName),
                             "Password=" + s.password, "Format=0x00", "Signal=0", "Average=5",
                             "BlockTime=1", "Sleep=0", "Wake=0"});
    if (line == "get comm")
        return settingLines({"IdleTimer=0", "MatchChar=" + std::to_string(s.matchChar),
                             "FlushSize=" + std::to_string(s.flushSize),
                             "FlushTimer=" + std::to_string(s.flushTimer), "CLOSE=" + s.closeString,
                             "OPEN=" + s.openString, "REMOTE=" + s.remoteString});
    if (line == "get dns")
        return settingLines({"DNS=0.0.0.0", "Name=dns", "Backup=0.0.0.0",
                             "Lease=" + std::to_string(s.leaseSeconds)});
    if (line == "get mac")
        return settingLines({"Mac Addr=" + identity.mac});
    if (line == "show io")
        return settingLines({hex(pinReport(identity.dipSwitch1), 4)});
    return std::nullopt;
}

enum class SetResult
{
    Unknown,
    Accepted,
    Refused
};

// Finds the setting command of the line and applies its value to the settings.
SetResult applySetting(const std::string& line, ModuleSettings& settings, std::optional<bool>& led)
{
    const auto valueOf = [&line](std::string_view command) -> std::optional<std::string> {
        if (line == command)
            return std::string();
        if (line.size() > command.size() && line.compare(0, command.size(), command) == 0 &&
            line[command.size()] == ' ')
            return line.substr(command.size() + 1);
        return std::nullopt;
    };
    if (const std::optional<std::string> value = valueOf("set sys iofunc")) {
        unsigned function = 0;
        if (!setNumber(*value, 0, 0xff, function))
            return SetResult::Refused;
        led = (function & 0x2) != 0; // the green LED hangs on the second function pin
        return SetResult::Accepted;
    }
    for (const Setting& setting : Settings) {
        const std::optional<std::string> value = valueOf(setting.command);
        if (!value)
            continue;
        if (value->empty())
            return SetResult::Refused;
        ModuleSettings changed = settings;
        if (!setting.apply(*value, changed))
            return SetResult::Refused;
        settings = changed;
        return SetResult::Accepted;
    }
    return SetResult::Unknown;
}

} // namespace

std::string commandPrompt(const std::string& firmwareVersion)
{
    return "<" + firmwareVersion + "> ";
}

std::string refusedReply(const std::string& line, const std::string& firmwareVersion)
{
    return line + "\r\nERR: Bad Args\r\n" + commandPrompt(firmwareVersion);
}

uint16_t pinReport(bool dipSwitch1)
{
    constexpr uint16_t OtherPins = 0x8d08;
    constexpr uint16_t DipSwitch1 = 0x200;
    return dipSwitch1 ? (OtherPins | DipSwitch1) : OtherPins;
}

CommandOutcome executeCommand(const std::string& line, ModuleMemory& memory,
                              const ModuleIdentity& identity, bool storingFails)
{
    const std::string prompt = commandPrompt(identity.firmwareVersion);
    CommandOutcome outcome;
    if (line.empty()) {
        outcome.reply = "\r\n" + prompt;
    } else if (const std::optional<std::string> body = queryBody(line, memory.running, identity)) {
        outcome.reply = line + "\r\n\r\n" + *body + prompt;
        outcome.query = true;
    } else if (line == "save") {
        if (storingFails) {
            outcome.reply = line + "\r\nERR: Cannot write\r\n" + prompt;
        } else {
            memory.stored = memory.running;
            outcome.reply = line + "\r\nStoring in config\r\n" + prompt;
        }
    } else if (line == "reboot") {
        outcome.reply = line + "\r\n*Reboot*";
        outcome.reboot = true;
    } else if (line == "factory RESET") {
        memory.running = ModuleSettings{};
        memory.stored = ModuleSettings{};
        outcome.reply = line + "\r\nSet Factory Defaults\r\n" + prompt;
    } else {
        switch (applySetting(line, memory.running, outcome.led)) {
        case SetResult::Accepted:
            outcome.reply = line + "\r\nAOK\r\n" + prompt;
            break;
        case SetResult::Refused:
            outcome.reply = refusedReply(line, identity.firmwareVersion);
            break;
        case SetResult::Unknown:
            outcome.reply = line + "\r\nERR: ?-Cmd\r\n" + prompt;
            break;
        }
    }
    return outcome;
}

} // namespace simulator
