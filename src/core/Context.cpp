#include "core/Context.h"

namespace vesk::core {

Context::Context(Clock& clock, EventPump& pump, SettingsStore& settings, std::string programFolder)
    : clock(clock)
    , pump(pump)
    , settings(settings)
    , programFolder(std::move(programFolder))
    , app(clock, settings)
    , outbox(clock, pump, app)
    , filter(this->programFolder)
{
    outbox.templateFolder = this->programFolder + "DB/";
}

std::string VersionNumbers()
{
    return std::to_string(VESK_VERSION_MAJOR) + "." + std::to_string(VESK_VERSION_MINOR) + "."
        + std::to_string(VESK_VERSION_PATCH);
}

std::string VersionText()
{
    return "V." + VersionNumbers();
}

} // namespace vesk::core
