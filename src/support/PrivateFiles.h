#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace vesk {

// Files the console creates hold messages, numbers and settings: they are for its own user and
// group only. Each is created with at most 0660 under the process umask, never through a
// symbolic link, and a copy never takes over the mode of its source.
inline constexpr unsigned kPrivateFileMode = 0660;

// open(2) with O_CREAT, O_NOFOLLOW and O_CLOEXEC added and the mode above; -1 and errno on failure.
int OpenPrivateFile(const std::string& path, int flags);
// A trace file opened for appending ("ab"), or nullptr.
std::FILE* AppendPrivateFile(const std::string& path);
// Writes the whole text to the file, replacing what it held.
bool WritePrivateFile(const std::string& path, const std::string& text);
// Copies a file; the copy gets the private mode whatever the source's mode. With overwrite off an
// existing target is an error. The reason of a failure goes to error.
bool CopyPrivateFile(const std::string& from, const std::string& to, bool overwrite, std::string& error);
// Narrows an existing file to the private mode (an umask of 002 still gives 0660).
void RestrictFileMode(const std::string& path);
// A secret kept in a file (a password, a TLS private key): read only when the file is a plain
// file that belongs to this process's user and that no other user may read or write. At most
// `most` bytes. Nothing, and the reason (naming the file as `what` and its path), otherwise.
std::optional<std::string> ReadOwnerOnlyFile(
    const std::string& path, const std::string& what, std::size_t most, std::string& error);
// A new folder only this user can enter, under $TMPDIR (or /tmp), with an unpredictable name;
// "" on failure. The caller removes it.
std::string MakePrivateTempFolder(const std::string& prefix);

} // namespace vesk
