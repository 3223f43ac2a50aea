#pragma once

#include <string>
#include <string_view>

namespace vesk {

// Folder and path routines. Paths use "/"; a folder handed around may or may not end in one.
std::string TrailingSeparator(std::string_view path); // trimmed, with exactly one "/" at the end
std::string FolderOfPath(std::string_view path); // text before the last "/", "" when there is none
bool FolderExists(std::string_view folder);
bool CreateFolderPath(std::string_view folder); // creates each missing level from the top
bool CreatePrivateFolderPath(std::string_view folder); // the same, each new level for this user only (0700)
// $HOME when it names an existing folder, else "".
std::string HomeFolder();
bool FileExists(std::string_view path);

// There are no mapped network drives on this platform: the lookup finds none, restoring does nothing.
std::string NetworkPathOfDrive(std::string_view drive);
void RestoreNetworkFolder(std::string_view folder);
std::string DefaultDataFolder(); // the current directory, with a trailing "/"

} // namespace vesk
