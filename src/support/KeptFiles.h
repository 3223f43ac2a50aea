#pragma once

#include <string>
#include <string_view>

namespace vesk {

// Where the console keeps the files it writes beside its databases: the modem log, the address
// filter, the test-send and mail traces, the unreadable messages. They live in the data folder
// (under the service /var/lib/vesk, its state directory); without a data folder in the service's
// state directory ($STATE_DIRECTORY), else in the program folder. Other programs that read these
// files (the address filter) find them with the same call. With a trailing "/".
std::string KeptFilesFolder(const std::string& dataFolder);
std::string KeptFilePath(const std::string& dataFolder, std::string_view name);

// The console kept these files in its program folder before: one found there is moved to its
// place once (copied when the program folder cannot be written). What was done, for the activity
// log; empty when there was nothing to move or the file is in its place already.
std::string MoveKeptFile(
    const std::string& programFolder, const std::string& dataFolder, std::string_view name);

} // namespace vesk
