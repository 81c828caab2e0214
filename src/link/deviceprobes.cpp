#include "link/deviceprobes.h"

#include "discovery/devicelist.h"
#include "resources/texttable.h"

#include <cstring>

namespace {

constexpr unsigned DipSwitch1Mask = 0x200;
constexpr int DipSwitchReadings = 10;

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The pin report starts three bytes after the first LF, behind the blank line that follows the
// echoed command. Nothing when the reply holds no report there.
std::optional<unsigned> pinReport(const ReplyBuffer& reply)
{
    const char* lineFeed = std::strchr(reply.data(), '\n');
    if (!lineFeed || std::strlen(lineFeed + 1) < 3)
        return std::nullopt;
    const char* report = lineFeed + 3;
    unsigned value = 0;
    int digits = 0;
    for (; digits < 4; ++digits) {
        const int digit = hexDigitValue(report[digits]);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

} // namespace

bool checkSelectedDevice(const DeviceList& devices, UserDialogs& dialogs)
{
    if (!devices.hasSelection()) {
        showWarning(dialogs, TextId::SelectAdapter);
        return false;
    }
    if (devices.selectedRowText(DeviceList::VersionColumn) ==
        QLatin1String(RefusedFirmwareVersion)) {
        showWarning(dialogs, TextId::FirmwareRefused);
        return false;
    }
    return true;
}

int probeDipSwitch(ModuleConnection& connection)
{
    if (connection.sendLine(QStringLiteral("show io")) != Link::Success)
        return Link::Failure;
    pauseFor(connection.timing().replyPause);
    if (const LinkResult result = connection.receiveReply(true); result != Link::Success)
        return result;
    // A reply without a pin report tells nothing about the switch: a failed probe.
    const std::optional<bool> on = readDipSwitch1(connection.replyBuffer());
    if (!on)
        return Link::Failure;
    return *on ? Probe::DipSwitchOn : Probe::DipSwitchOff;
}

std::optional<bool> readDipSwitch1(const ReplyBuffer& reply)
{
    const std::optional<unsigned> report = pinReport(reply);
    if (!report)
        return std::nullopt;
    return (*report & DipSwitch1Mask) != 0;
}

bool confirmDipSwitchOff(ModuleConnection& connection)
{
    for (int reading = 0; reading < DipSwitchReadings; ++reading) {
        if (probeDipSwitch(connection) == Probe::DipSwitchOff)
            return true;
        connection.dialogs().showDipSwitchWindow();
        pauseFor(connection.timing().dipSwitchRetryPause);
    }
    return false;
}

void blinkLed(ModuleConnection& connection)
{
    if (connection.openCommandMode(connection.selectedDevice().address, false) != Link::Success)
        return;
    const Timing& timing = connection.timing();
    const QString on = QStringLiteral("set sys iofunc 0x2");
    const QString off = QStringLiteral("set sys iofunc 0x0");
    // No reply is read: the module's acknowledgements pile up unread until the connection closes.
    for (int blink = 0; blink < 3; ++blink) {
        connection.sendLine(on);
        pauseFor(timing.ledOnTime);
        connection.sendLine(off);
        pauseFor(blink < 2 ? timing.ledOffTime : timing.ledLastOffTime);
    }
    connection.closeConnection();
}
