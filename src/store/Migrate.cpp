#include "store/Migrate.h"

#include "store/Outbox.h"
#include "store/db.h"
#include "support/Convert.h"
#include "support/Paths.h"
#include "support/PrivateFiles.h"

#include <cctype>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace vesk::store {

namespace {

const char* const kDataFiles[] = {kOutboxName, kArchiveName, kContactsName};

bool excluded(const std::string& column, const std::vector<std::string>& names)
{
    for (const auto& n : names)
        if (EqualsNoCase(column, n))
            return true;
    return false;
}

// Copies the columns the target also has; the ones it cannot set are skipped.
void copyColumns(const Recordset& from, Recordset& to, const std::vector<std::string>& except)
{
    for (int i = 0; i < from.FieldCount(); ++i) {
        const std::string& name = from.FieldName(i);
        if (!excluded(name, except) && to.HasField(name))
            to.SetField(name, from.Field(i));
    }
}

void copySingleRow(const std::string& table, db& source, db& target, const std::vector<std::string>& except)
{
    auto from = source.OpenDynaset("SELECT * FROM " + table, kForwardOnly, kReadOnly);
    if (!from || from->IsEOF())
        return;
    auto to = target.OpenDynaset("SELECT * FROM " + table, kDynamic, kOptimistic);
    if (!to || !to->IsUpdatable() || to->IsEOF())
        return;
    copyColumns(*from, *to, except);
    to->Update();
}

void appendRows(const std::string& table, db& source, db& target)
{
    auto from = source.OpenDynaset("SELECT * FROM " + table, kForwardOnly, kReadOnly);
    if (!from || from->IsEOF())
        return;
    auto to = target.OpenDynaset("SELECT * FROM " + table, kDynamic, kOptimistic);
    if (!to || !to->IsUpdatable())
        return;
    for (; !from->IsEOF(); from->MoveNext()) {
        to->AddNew();
        copyColumns(*from, *to, {});
        to->Update();
    }
}

// Copies every row afresh, keeping the old key in the migrate column so links can be remapped.
void copyRenumbered(
    const std::string& table, const std::string& key, const std::string& migrateKey, db& source, db& target)
{
    auto from = source.OpenDynaset("SELECT * FROM " + table, kForwardOnly, kReadOnly);
    target.Execute("DELETE FROM " + table);
    auto to = target.OpenDynaset("SELECT * FROM " + table, kDynamic, kOptimistic);
    if (!from || !to || !to->IsUpdatable())
        return;
    for (; !from->IsEOF(); from->MoveNext()) {
        to->AddNew();
        copyColumns(*from, *to, {key, migrateKey});
        to->SetField(migrateKey, from->Field(key));
        to->Update();
    }
}

std::string keyOf(db& target, const std::string& sql, const std::string& column)
{
    auto rs = target.OpenDynaset(sql, kForwardOnly, kReadOnly);
    if (!rs || rs->IsEOF())
        return "";
    return TextOf(rs->Field(column));
}

bool isWholeNumber(const std::string& text)
{
    if (text.empty())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))
            && !(i == 0 && text[i] == '-' && text.size() > 1))
            return false;
    return true;
}

} // namespace

std::string BackupName(const std::string& fileName)
{
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return fileName + ".bak";
    return fileName.substr(0, dot) + ".bak";
}

std::string SortKey(const std::string& name)
{
    if (name.empty())
        return "#";
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return c >= 'A' && c <= 'Z' ? std::string(1, c) : "#";
}

bool CopyTemplate(const std::string& folder, const std::string& templateFolder, const std::string& fileName,
    std::string& errorLines)
{
    const std::string target = TrailingSeparator(folder) + fileName;
    std::vector<std::string> lines;
    std::error_code ec;
    if (fs::exists(target, ec)) {
        fs::remove(target, ec);
        if (ec)
            lines.push_back("Delete existing " + fileName + " : " + ec.message());
    }
    // Leftover journal files of a removed database must not be applied to the fresh one.
    fs::remove(target + "-wal", ec);
    fs::remove(target + "-shm", ec);
    ec.clear();
    // The template's own mode is not copied: a fresh outbox is for this user and group only.
    std::string reason;
    if (!CopyPrivateFile(TrailingSeparator(templateFolder) + fileName, target, true, reason))
        lines.push_back("Copy " + fileName + " : " + reason);
    for (const auto& line : lines)
        errorLines += (errorLines.empty() ? "" : "\n") + line;
    return lines.empty();
}

bool CopyTemplates(const std::string& folder, const std::string& templateFolder, std::string& errorLines)
{
    bool ok = true;
    for (const char* name : kDataFiles)
        ok = CopyTemplate(folder, templateFolder, name, errorLines) && ok;
    return ok;
}

bool CreateOutbox(const std::string& folder, const std::string& templateFolder, std::string& errorText,
    std::string& errorLines)
{
    if (!FileExists(TrailingSeparator(templateFolder) + kOutboxName)) {
        errorText = "The database template for an Outbox could not be located.";
        return false;
    }
    return CopyTemplates(folder, templateFolder, errorLines);
}

bool IsDataFolder(const std::string& folder)
{
    const std::string f = TrailingSeparator(folder);
    return FileExists(f + kOutboxName) || FileExists(f + kContactsName);
}

void RetireDataFiles(const std::string& folder)
{
    const std::string f = TrailingSeparator(folder);
    std::error_code ec;
    for (const char* name : kDataFiles) {
        const std::string file = f + name;
        const std::string backup = BackupName(file);
        fs::remove(backup, ec);
        fs::rename(file, backup, ec);
        fs::remove(file, ec);
        fs::remove(file + "-wal", ec);
        fs::remove(file + "-shm", ec);
    }
}

void MigrateOutbox(const std::string& source, const std::string& target, Clock& clock, EventPump& pump)
{
    if (!FileExists(source) || !FileExists(target))
        return;
    db from(clock, pump);
    db to(clock, pump);
    from.setFilename(source);
    to.setFilename(target);
    if (!from.OpenDatabase(mode::kReadShared) || !to.OpenDatabase(mode::kReadWriteExclusive))
        return;
    copySingleRow("System", from, to, {"sysDBVersion"});
    copySingleRow("MailConfig", from, to, {});
    copySingleRow("Diagnostic", from, to, {});
    appendRows("Inbox", from, to);
    appendRows("MailMessage", from, to);
    appendRows("Forward", from, to);
    from.CloseDatabase();
    to.CloseDatabase();
}

void MigrateAddressBook(const std::string& source, const std::string& target, Clock& clock, EventPump& pump,
    const StatusFn& status)
{
    if (!FileExists(source) || !FileExists(target))
        return;
    db from(clock, pump);
    db to(clock, pump);
    from.setFilename(source);
    to.setFilename(target);
    if (!from.OpenDatabase(mode::kReadShared) || !to.OpenDatabase(mode::kReadWriteShared))
        return;
    to.Execute("DELETE FROM MessageTail");
    to.Execute("DELETE FROM UserFields");
    copySingleRow("Config", from, to, {});
    appendRows("UserFields", from, to);
    appendRows("MessageTail", from, to);

    status("Importing contacts...");
    copyRenumbered("Contact", "cntID", "cntMigrateID", from, to);
    status("Importing groups...");
    copyRenumbered("ContactGroup", "grpID", "grpMigrateID", from, to);

    status("Importing group members...");
    if (auto members = from.OpenDynaset("SELECT * FROM GroupMember", kForwardOnly, kReadOnly)) {
        for (; !members->IsEOF(); members->MoveNext()) {
            const std::string oldContact = TextOf(members->Field("cntID"));
            const std::string oldGroup = TextOf(members->Field("grpID"));
            if (!isWholeNumber(oldContact) || !isWholeNumber(oldGroup))
                continue;
            const std::string contact
                = keyOf(to, "SELECT * FROM Contact WHERE cntMigrateID = " + oldContact, "cntID");
            const std::string group
                = keyOf(to, "SELECT * FROM ContactGroup WHERE grpMigrateID = " + oldGroup, "grpID");
            if (isWholeNumber(contact) && isWholeNumber(group))
                to.Execute("INSERT INTO GroupMember (grpID, cntID) VALUES (" + group + "," + contact + ")");
        }
    }

    if (auto contacts = to.OpenDynaset("SELECT * FROM Contact", kDynamic, kOptimistic)) {
        for (; !contacts->IsEOF(); contacts->MoveNext()) {
            contacts->SetField("cntAlphaSurname", SortKey(TextOf(contacts->Field("cntSurname"))));
            contacts->SetField("cntAlphaFirstNames", SortKey(TextOf(contacts->Field("cntFirstNames"))));
            contacts->Update();
        }
    }
    from.CloseDatabase();
    to.CloseDatabase();
    to.Compact();
}

void MigrateData(const std::string& folder, Clock& clock, EventPump& pump, const StatusFn& status)
{
    const std::string f = TrailingSeparator(folder);
    const StatusFn show = status ? status : [](const std::string&) {};
    show("Importing outbox settings...");
    MigrateOutbox(BackupName(f + kOutboxName), f + kOutboxName, clock, pump);
    show("Importing Address Book...");
    MigrateAddressBook(BackupName(f + kContactsName), f + kContactsName, clock, pump, show);
    show("Import complete...");
}

bool ResetSystemFlags(const std::string& folder, Clock& clock, EventPump& pump)
{
    db outbox(clock, pump);
    outbox.setFilename(TrailingSeparator(folder) + kOutboxName);
    if (!outbox.OpenDatabase(mode::kReadWriteShared))
        return false;
    return outbox.Execute("UPDATE System SET sysMailSenderActive = FALSE, sysNameCacheImportFlag = FALSE, "
                          "sysNameCacheLastImportTime = NULL");
}

} // namespace vesk::store
