#include "mail/MailQueue.h"

#include "store/MailTables.h"
#include "store/Recordset.h"
#include "store/SystemRow.h"
#include "support/Convert.h"
#include "support/LogSink.h"
#include "support/PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk::mail {
namespace {

// Opens the outbox for one call when it is closed, and closes it again at the end.
class OpenForCall
{
public:
    OpenForCall(store::Outbox& outbox, int mode)
        : m_db(store::OutboxHandle(outbox))
    {
        if (m_db.IsConnected())
            m_ok = true;
        else
            m_ok = m_opened = m_db.OpenDatabase(mode);
    }
    ~OpenForCall()
    {
        if (m_opened)
            m_db.CloseDatabase();
    }
    OpenForCall(const OpenForCall&) = delete;
    OpenForCall& operator=(const OpenForCall&) = delete;

    bool ok() const { return m_ok; }
    store::db& db() { return m_db; }

private:
    store::db& m_db;
    bool m_ok = false;
    bool m_opened = false;
};

std::string hexUpper(long value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%lX", static_cast<unsigned long>(value));
    return text;
}

} // namespace

std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error)
{
    auto text = ReadOwnerOnlyFile(path, "Mail password file", 4096, error);
    if (!text)
        return std::nullopt;
    *text = text->substr(0, text->find('\n'));
    if (!text->empty() && text->back() == '\r')
        text->pop_back();
    return text;
}

void InitMail(MailQueue& queue, store::Outbox& outbox)
{
    try {
        if (!queue.client)
            queue.client = std::make_unique<MailClient>(outbox.log);
    } catch (const std::exception& e) {
        outbox.log.Log(
            icon::kError, "", std::string("Mail interface could not be initialised : ") + e.what());
    }
    LoadMailConfig(queue, outbox);
}

void LoadMailConfig(MailQueue& queue, store::Outbox& outbox)
{
    try {
        OpenForCall open(outbox, store::mode::kReadShared);
        if (!open.ok())
            return;
        auto config = store::ReadMailConfig(open.db());
        if (!config)
            return;
        std::string password = config->password;
        if (!queue.settings.passwordFile.empty()) {
            std::string error;
            password = ReadPasswordFile(queue.settings.passwordFile, error).value_or("");
            if (!error.empty())
                outbox.log.Log(icon::kError, "", error);
        }
        if (queue.client) {
            queue.client->Server = config->server;
            queue.client->Username = config->account;
            queue.client->Password = password;
            queue.client->LoginMethod = config->method;
            queue.client->AllowPlainLogin = queue.settings.allowPlainLogin;
        }
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "LoadMailConfig", e);
    }
}

void SaveMailConfig(store::Outbox& outbox, const std::string& serverText, const std::string& accountText,
    const std::string& passwordText, std::int16_t method)
{
    try {
        OpenForCall open(outbox, store::mode::kReadWriteShared);
        if (!open.ok())
            return;
        store::WriteMailConfig(open.db(), {Trim(serverText), Trim(accountText), Trim(passwordText), method});
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "SaveMailConfig", e);
    }
}

bool IsMailConfigured(const MailQueue& queue)
{
    return queue.client && !queue.client->Username.empty();
}

bool QueueMail(store::Outbox& outbox, const std::string& recipients, const std::string& subject,
    const std::string& message)
{
    try {
        OpenForCall open(outbox, store::mode::kReadWriteShared);
        if (!open.ok())
            return false;
        return store::QueueMailRow(open.db(), recipients, subject, message);
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "QueueMail", e);
        return false;
    }
}

bool SetMailSenderActive(store::Outbox& outbox, bool active)
{
    try {
        store::db& handle = store::OutboxHandle(outbox);
        return active ? store::TakeMailSenderFlag(handle) : store::ReleaseMailSenderFlag(handle);
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "SetMailSenderActive", e);
        return false;
    }
}

bool MailConnect(MailQueue& queue)
{
    return queue.client && queue.client->Connect();
}

void MailDisconnect(MailQueue& queue)
{
    if (queue.client)
        queue.client->Disconnect();
}

void ProcessMailQueue(MailQueue& queue, store::Outbox& outbox, Feedback& feedback)
{
    Clock& clock = outbox.clock;
    if (!queue.nextCheck.reached(clock))
        return;
    try {
        if (IsMailConfigured(queue)) {
            // Opened read-write: the flag and the row deletions of the pass must go through.
            OpenForCall open(outbox, store::mode::kReadWriteShared);
            if (open.ok()) {
                // Only the mails one pass can send are read, oldest first.
                auto rows = store::OldestMails(open.db(), kMaxMailsPerPass);
                if (rows && !rows->IsEOF() && SetMailSenderActive(outbox, true)) {
                    const SteadyTime start = SteadyTime::Now(clock);
                    queue.sentInPass = 0;
                    if (!MailConnect(queue)) {
                        // Nothing leaves this pass; the operator still needs to see why.
                        if (queue.client)
                            outbox.log.Log(icon::kError, "",
                                "mail.Connect(" + EscapeControls(queue.client->Server) + ") : 0x"
                                    + hexUpper(queue.client->LastErrorNumber()) + " "
                                    + queue.client->LastErrorText());
                    } else {
                        while (!rows->IsEOF()) {
                            SendQueuedMail(queue, outbox, *rows, feedback);
                            outbox.pump.runPending();
                            outbox.pump.runPending();
                            rows->MoveNext();
                            if (rows->IsEOF())
                                break;
                            if (++queue.sentInPass >= kMaxMailsPerPass)
                                break;
                            if (start.since(clock) > std::chrono::seconds(kMaxPassSeconds)) {
                                outbox.log.Log(icon::kWarning, "",
                                    "MailQueue appears to be taking a long time to send messages.");
                                break;
                            }
                        }
                    }
                    SetMailSenderActive(outbox, false);
                }
                if (rows)
                    rows->Close();
            }
            MailDisconnect(queue);
        }
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "ProcessMailQueue", e);
    }
    queue.nextCheck = SteadyTime::FromNow(clock, std::chrono::minutes(kQueueSpacingMinutes));
}

std::string WithNoReplyNotice(const std::string& body)
{
    return Trim(body)
        + "\r\n\r\n"
          "+------------------------------+\r\n"
          "|  DO NOT REPLY TO THIS EMAIL  |\r\n"
          "+------------------------------+\r\n";
}

bool SendQueuedMail(MailQueue& queue, store::Outbox& outbox, const store::Recordset& row, Feedback& feedback)
{
    bool sent = false;
    try {
        const RowId id = RowIdOf(row.Field("mlID"));
        const std::string recipients = Trim(TextOf(row.Field("mlRecipients")));
        const std::string subject = Trim(TextOf(row.Field("mlSubject")));
        const std::string body = WithNoReplyNotice(TextOf(row.Field("mlMessage")));
        feedback.PushFeedback("Emailing SMS message(s) to " + EscapeControls(recipients));
        sent = SendMailNow(queue, recipients, subject, body);
        if (sent) {
            outbox.log.Log(icon::kMailed, "", EscapeControls(subject) + " to " + EscapeControls(recipients));
            store::DeleteMail(store::OutboxHandle(outbox), id);
        }
        feedback.PopFeedback();
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "SendQueuedMail", e);
    }
    return sent;
}

bool SendMailNow(
    MailQueue& queue, const std::string& recipients, const std::string& subject, const std::string& body)
{
    if (Trim(recipients).empty() || !queue.client)
        return false;
    return queue.client->Send(recipients, "", "", subject, body);
}

MailTestResult TestMailAccount(LogSink& log, const std::string& server, const std::string& account,
    const std::string& password, std::int16_t method, const std::string& alertAddress,
    const std::string& folder, const MailSettings& settings)
{
    MailTestResult result;
    result.logPath = folder + "maillog.txt";
    try {
        MailClient client(log);
        client.Server = server;
        client.Username = account;
        client.Password = password;
        client.LoginMethod = method;
        client.AllowPlainLogin = settings.allowPlainLogin;
        if (!settings.passwordFile.empty()) {
            std::string error;
            client.Password = ReadPasswordFile(settings.passwordFile, error).value_or("");
            if (!error.empty()) {
                log.Log(icon::kError, "", error);
                result.message = error;
                return result;
            }
        }
        std::error_code ignored;
        std::filesystem::remove(result.logPath, ignored);
        client.setConnectionLog(result.logPath);
        if (client.Connect()) {
            result.outcome = MailTestResult::Outcome::ConnectedOnly;
            if (!alertAddress.empty()) {
                if (client.Send(alertAddress, "", "", "Test message from " + std::string(kAppTitle),
                        std::string(kAppTitle))) {
                    result.outcome = MailTestResult::Outcome::Sent;
                    result.message = "A test message was successfully sent to the Alert recipient";
                } else {
                    result.outcome = MailTestResult::Outcome::SendFailed;
                    result.offerLog = true;
                    result.message = "Successfully connected to server but could not send a test message : "
                        + std::to_string(client.LastErrorNumber()) + "\r\n" + client.LastErrorText()
                        + "\r\n\r\nDo you wish to see the connedction log";
                }
            }
        } else {
            result.message
                = "Error " + std::to_string(client.LastErrorNumber()) + "\r\n" + client.LastErrorText();
        }
        client.Disconnect();
    } catch (const std::exception& e) {
        LogCaught(log, "TestMailAccount", e);
        result.outcome = MailTestResult::Outcome::NotConnected;
        result.message = "Mail interface could not be initialised";
    }
    return result;
}

} // namespace vesk::mail
