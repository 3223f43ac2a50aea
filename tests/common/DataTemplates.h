#pragma once

#include "store/Outbox.h"

#include <filesystem>
#include <string>

namespace vesk::testing {

// The data files made before any console starts, copied from the shipped templates.
inline void CopyDataTemplates(const std::string& folder)
{
    std::filesystem::create_directories(folder);
    for (const char* name : {store::kOutboxName, store::kArchiveName, store::kContactsName})
        std::filesystem::copy_file(std::string(VESK_BIN_DIR "/DB/") + name, folder + "/" + name);
}

} // namespace vesk::testing
