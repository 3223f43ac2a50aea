#pragma once

// A console started in this process on the simulator, with a fresh outbox in a temporary folder
// (or the data folder and database given) and the given resource settings. A benchmark that
// cannot start it ends with the reason.

#include "core/Context.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"

#include "TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace vesk::testing {

class BenchConsole
{
public:
    BenchConsole(Clock& clock, EventPump& pump, const std::string& port,
        const std::map<std::string, std::string>& resource, const std::string& data = {},
        const std::string& database = {})
    {
        settings.set("Setup", "RunWizard", "0");
        settings.set("COM", "AutoDetect", "0");
        for (const auto& [key, value] : resource)
            settings.set("Resource", key, value);
        if (!database.empty())
            settings.set("Setup", "Database", database);
        ctx = std::make_unique<core::Context>(clock, pump, settings, dir.folder());
        ctx->outbox.templateFolder = VESK_BIN_DIR "/DB/";
        ctx->config.Database = database;
        ctx->overrides.dataFolder = data.empty() ? dataFolder() : data;
        ctx->overrides.port = port;
        core::HeadlessPrompts prompts(*ctx, true);
        if (core::Main(*ctx, prompts) != core::StartResult::Running) {
            std::fprintf(stderr, "start-up failed: %s\n", prompts.message().c_str());
            std::exit(1);
        }
    }

    std::string dataFolder() const { return dir.file("data"); }

    TempDir dir;
    core::SettingsStore settings {dir.file("console.conf")};
    std::unique_ptr<core::Context> ctx;
};

} // namespace vesk::testing
