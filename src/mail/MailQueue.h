#pragma once

#include "mail/Feedback.h"
#include "mail/MailClient.h"
#include "store/Outbox.h"
#include "support/SteadyTime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vesk::store {
class Recordset;
}

namespace vesk::mail {

// This machine's settings for the mail account (section Mail of the settings file).
struct MailSettings
{
    bool allowPlainLogin = false; // AllowPlainLogin: the password may go to the server without TLS
    std::string passwordFile; // PasswordFile: the password is read from here, never kept in the outbox
};

// The mail queue's long-lived state: the client and when the queue is looked at next.
struct MailQueue
{
    MailSettings settings;
    std::unique_ptr<MailClient> client;
    SteadyTime nextCheck; // unset: the first pass runs at once
    int sentInPass = 0;
};

inline constexpr int kMaxMailsPerPass = 20;
inline constexpr int kMaxPassSeconds = 120;
inline constexpr int kQueueSpacingMinutes = 2;

void InitMail(MailQueue& queue, store::Outbox& outbox);
void LoadMailConfig(MailQueue& queue, store::Outbox& outbox);
void SaveMailConfig(store::Outbox& outbox, const std::string& server, const std::string& account,
    const std::string& password, std::int16_t method);
bool IsMailConfigured(const MailQueue& queue);

// The first line of a password file that belongs to this user and is open to no one else;
// nothing, with the reason in `error` (which never holds the password), otherwise.
std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error);

// Puts one mail in the shared queue; true when the row went in.
bool QueueMail(store::Outbox& outbox, const std::string& recipients, const std::string& subject,
    const std::string& message);

// Sends what is queued, at most 20 mails or 120 seconds a pass, one pass every two minutes.
void ProcessMailQueue(MailQueue& queue, store::Outbox& outbox, Feedback& feedback);
bool SendQueuedMail(MailQueue& queue, store::Outbox& outbox, const store::Recordset& row, Feedback& feedback);
bool SendMailNow(
    MailQueue& queue, const std::string& recipients, const std::string& subject, const std::string& body);
bool MailConnect(MailQueue& queue);
void MailDisconnect(MailQueue& queue);

// Takes (true) or gives back (false) the flag that lets one console at a time drain the queue.
bool SetMailSenderActive(store::Outbox& outbox, bool active);

// The body as it leaves: trimmed, then the notice that nobody reads replies.
std::string WithNoReplyNotice(const std::string& body);

// What the account test of the configuration dialog shows.
struct MailTestResult
{
    enum class Outcome { Sent, SendFailed, NotConnected, ConnectedOnly };
    Outcome outcome = Outcome::NotConnected;
    std::string message; // the text of the message box
    bool offerLog = false; // the box asks whether to open the connection log
    std::string logPath;
};

// Tries the values typed in the dialog (not the saved ones) and mails the alert address when one is
// given. With a password file set, its password is used instead of the typed one.
MailTestResult TestMailAccount(LogSink& log, const std::string& server, const std::string& account,
    const std::string& password, std::int16_t method, const std::string& alertAddress,
    const std::string& folder, const MailSettings& settings);

} // namespace vesk::mail
