#pragma once

// One console run in this process against the modem simulator on a pseudo-terminal and a real
// outbox in a temporary folder, with a clock the test can move forward.

#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "store/Outbox.h"
#include "store/db.h"
#include "support/Convert.h"

#include "OutboxSql.h"
#include "ScriptedPump.h"
#include "ShiftedClock.h"
#include "SimProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vesk::testing {

class ConsoleFixture : public ::testing::Test
{
protected:
    ConsoleFixture()
    {
        settings.set("COM", "AutoDetect", "0");
        settings.set("COM", "ListTimeout", "3");
        settings.set("COM", "SendTimeout", "5");
    }

    ~ConsoleFixture() override { stop(); }

    void stop()
    {
        if (ctx)
            core::ShutDown(*ctx);
        ctx.reset();
    }

    // Starts the console on the simulator, creating the outbox when the folder has none.
    void start(const std::string& commandLine = "")
    {
        ctx = std::make_unique<core::Context>(clock, pump, settings, dir.folder());
        ctx->commandLine = commandLine;
        ctx->outbox.templateFolder = VESK_BIN_DIR "/DB/";
        ctx->overrides.dataFolder = dataFolder;
        ctx->overrides.port = sim.path();
        core::HeadlessPrompts prompts(*ctx, true);
        ASSERT_EQ(core::Main(*ctx, prompts), core::StartResult::Running) << prompts.message();
    }

    // One timer tick after enough time for a pass and a send to be due.
    void pass(std::chrono::milliseconds wait = std::chrono::seconds(11))
    {
        clock.advance(wait);
        core::OnTick(*ctx);
    }

    void sql(const std::string& statement, const char* file = store::kOutboxName)
    {
        OutboxSql {clock, pump, dataFolder, database}.run(statement, file);
    }

    void queue(const std::string& address, const std::string& text)
    {
        sql("INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime) VALUES ('Ann', '" + address
            + "', '" + text + "', #" + Format(clock.now(), "dd/mmm/yyyy hh:nn:ss") + "#)");
    }

    // The first column of each row of a query on the outbox.
    std::vector<std::string> column(const std::string& query)
    {
        return OutboxSql {clock, pump, dataFolder, database}.column(query);
    }

    bool logged(int icon, const std::string& start) const
    {
        for (const auto& line : ctx->app.log().lines())
            if (line.icon == icon && line.text.rfind(start, 0) == 0)
                return true;
        return false;
    }

    // Every statement run on the outbox handle from now on, as the engine is asked to run it.
    void traceOutbox()
    {
        ctx->outbox.handle->StatementObserver
            = [this](const std::string& sql, std::chrono::nanoseconds) { statements.insert(sql); };
    }

    TempDir dir;
    std::string dataFolder = dir.file("data");
    std::string database; // a server's connection string, when the outbox is not the folder's file
    SimProcess sim;
    ShiftedClock clock;
    ScriptedPump pump;
    core::SettingsStore settings {dir.file("console.conf")};
    std::unique_ptr<core::Context> ctx;
    std::set<std::string> statements;
};

} // namespace vesk::testing
