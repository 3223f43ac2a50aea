#pragma once

#include "core/Context.h"
#include "core/SettingsStore.h"

#include "FakeClock.h"
#include "ScriptedPump.h"
#include "TempDir.h"

#include <QObject>

#include <map>
#include <memory>

namespace vesk::testing {

// What a window test over a console has: for each test a fresh folder holding the settings file
// (the default one too, for windows that open it themselves) and the program folder, the fake
// clock (or a clock the test gives) and a scripted pump.
class WindowConsole : public QObject
{
protected:
    // settings: "Section/Key" -> value, written before the console reads them.
    void makeConsole(const std::map<std::string, std::string>& values = {},
        const std::string& programFolder = {}, Clock* consoleClock = nullptr)
    {
        ctx.reset();
        dir = std::make_unique<TempDir>();
        qputenv("VESK_SETTINGS", QByteArray::fromStdString(dir->file("console.conf")));
        settings = std::make_unique<core::SettingsStore>(dir->file("console.conf"));
        for (const auto& [name, value] : values)
            settings->set(name.substr(0, name.find('/')), name.substr(name.find('/') + 1), value);
        pump = {};
        ctx = std::make_unique<core::Context>(consoleClock ? *consoleClock : clock, pump, *settings,
            programFolder.empty() ? dir->folder() : programFolder);
    }

    std::unique_ptr<TempDir> dir;
    FakeClock clock;
    ScriptedPump pump;
    std::unique_ptr<core::SettingsStore> settings;
    std::unique_ptr<core::Context> ctx;
};

} // namespace vesk::testing
