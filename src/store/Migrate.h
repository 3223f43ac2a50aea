#pragma once

#include "support/Clock.h"
#include "support/EventPump.h"

#include <functional>
#include <string>

namespace vesk::store {

// Making a data folder ready from the template databases, and rebuilding an existing one from
// fresh templates while its settings, inbox, mail queue, rules and address book are carried over.

using StatusFn = std::function<void(const std::string&)>;

// Copies the three templates into the folder. errorText gets the reason when the outbox
// template is missing; errorLines the collected lines of files that could not be copied.
bool CreateOutbox(const std::string& folder, const std::string& templateFolder, std::string& errorText,
    std::string& errorLines);
bool CopyTemplates(const std::string& folder, const std::string& templateFolder, std::string& errorLines);
bool CopyTemplate(const std::string& folder, const std::string& templateFolder, const std::string& fileName,
    std::string& errorLines);

// True when the folder holds an outbox or an address book.
bool IsDataFolder(const std::string& folder);
// Renames each data file to its ".bak" name, making room for fresh ones.
void RetireDataFiles(const std::string& folder);
// Carries the outbox and address book over from the ".bak" files into the fresh files.
void MigrateData(const std::string& folder, Clock& clock, EventPump& pump, const StatusFn& status);
void MigrateOutbox(const std::string& source, const std::string& target, Clock& clock, EventPump& pump);
void MigrateAddressBook(const std::string& source, const std::string& target, Clock& clock, EventPump& pump,
    const StatusFn& status);
// Clears the lock flags a stopped console may have left set.
bool ResetSystemFlags(const std::string& folder, Clock& clock, EventPump& pump);

// "#" for anything that is not a letter A to Z.
std::string SortKey(const std::string& name);
std::string BackupName(const std::string& fileName);

} // namespace vesk::store
