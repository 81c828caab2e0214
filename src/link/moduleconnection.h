#pragma once

#include "link/replybuffer.h"
#include "link/selecteddevice.h"
#include "link/timing.h"
#include "link/userdialogs.h"
#include "platform/localecharset.h"

#include <QString>
#include <cstdint>

// Result of the connection operations: 0 is success, any other value says what failed.
using LinkResult = int;

namespace Link {
inline constexpr LinkResult Success = 0;
inline constexpr LinkResult PeerClosed = 1;          // a receive returned no bytes
inline constexpr LinkResult SendFailed = 2;          // the command line of sendCommandAwaitAok
inline constexpr LinkResult EmptyPasswordReply = 4;  // the reply to the password was empty
inline constexpr LinkResult ErrorReply = 5;          // the reply held "ERR:"
inline constexpr LinkResult NoMarker = 6;            // five replies held neither "AOK" nor "ERR:"
inline constexpr LinkResult PasswordNotAllowed = 26; // a password was asked for with noPrompt
inline constexpr LinkResult Timeout = 27;            // no data within the reply wait
inline constexpr LinkResult Failure = -1;            // connect, send or receive failed
} // namespace Link

// Why sendLine refused a line without sending anything.
enum class LineRefusal
{
    None,
    LineBreak,   // the text holds CR, LF or NUL, which would end the line early
    Unencodable, // a character the locale's character set cannot represent
    TooLong,     // more than MaxLineBytes bytes with its CR LF
};

// The command connection to an adapter's Wi-Fi module, the one of the process. Each adapter
// operation opens it, runs its commands and closes it. It carries no lock: the user interface
// lets only one operation run at a time.
class ModuleConnection
{
public:
    static constexpr std::uint16_t DefaultPort = 2000;
    static constexpr int MaxLineBytes = 255;
    static constexpr int MaxAddressLength = 15;

    ModuleConnection(UserDialogs& dialogs, SelectedDevice& selected, LocaleCharset charset,
                     Timing timing = {}, std::uint16_t port = DefaultPort);
    ~ModuleConnection();
    ModuleConnection(const ModuleConnection&) = delete;
    ModuleConnection& operator=(const ModuleConnection&) = delete;

    // Connects to the dotted IPv4 address; on failure the connection is closed.
    LinkResult connectModule(const QString& address);
    // Connects and enters command mode, passing the module's password prompt with the cached
    // or typed password; noPrompt forbids asking the user. Every non-zero result leaves the
    // connection closed.
    LinkResult openCommandMode(const QString& address, bool noPrompt);
    // Sends the command with CR LF. Never closes the connection.
    LinkResult sendLine(const QString& command);
    // One receive into the reply buffer, after waiting for data when asked to.
    LinkResult receiveReply(bool waitForData);
    // Sends a setting command and waits for "AOK" or "ERR:".
    LinkResult sendCommandAwaitAok(const QString& command);
    void closeConnection();

    bool isOpen() const { return socket >= 0; }
    const ReplyBuffer& replyBuffer() const { return reply; }
    // The reply converted to text.
    QString replyText() const;
    LineRefusal lastLineRefusal() const { return lastRefusal; }
    // Why a command line with this text would be refused; None when it can be sent.
    LineRefusal checkLine(const QString& command) const;

    const Timing& timing() const { return timing_; }
    UserDialogs& dialogs() const { return dialogs_; }
    SelectedDevice& selectedDevice() const { return selected; }
    const LocaleCharset& charset() const { return charset_; }

private:
    bool waitUntilReadable();
    bool setNonBlocking(bool on);
    LinkResult receiveOnce();
    void passwordFailed();

    UserDialogs& dialogs_;
    SelectedDevice& selected;
    LocaleCharset charset_;
    Timing timing_;
    std::uint16_t port;
    int socket = -1;
    ReplyBuffer reply;
    LineRefusal lastRefusal = LineRefusal::None;
};
