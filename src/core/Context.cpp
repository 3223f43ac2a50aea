#include "core/Context.h"

namespace vesk::core {

std::string VersionText()
{
    return "V." + std::to_string(VESK_VERSION_MAJOR) + "." + std::to_string(VESK_VERSION_MINOR) + "."
        + std::to_string(VESK_VERSION_PATCH);
}

} // namespace vesk::core
