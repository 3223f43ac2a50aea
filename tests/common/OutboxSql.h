#pragma once

// What a test reads and writes beside a console: its own short connections to the outbox.

#include "store/Outbox.h"
#include "store/StoreSchema.h"
#include "store/db.h"
#include "support/Convert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk::testing {

// The database `database` names when it is set, else the files in `folder`.
struct OutboxSql
{
    Clock& clock;
    EventPump& pump;
    const std::string& folder;
    const std::string& database;

    void run(const std::string& statement, const char* file = store::kOutboxName) const
    {
        store::db d(clock, pump);
        store::PointAt(d, database, folder, file);
        ASSERT_TRUE(d.OpenDatabase(store::mode::kReadWriteShared)) << d.LastError();
        ASSERT_TRUE(d.Execute(statement)) << d.LastError() << " in " << statement;
    }

    // The first column of each row of a query; empty while the outbox cannot be read.
    std::vector<std::string> column(const std::string& query) const
    {
        store::db d(clock, pump);
        store::PointAt(d, database, folder, store::kOutboxName);
        std::vector<std::string> out;
        if (!d.OpenDatabase(store::mode::kReadShared))
            return out;
        for (auto rows = d.OpenDynaset(query); rows && !rows->IsEOF(); rows->MoveNext())
            out.push_back(TextOf(rows->Field(0)));
        return out;
    }

    // The number a counting query gives; -1 while the outbox cannot be read.
    long count(const std::string& query) const
    {
        const auto n = column(query);
        return n.empty() ? -1 : static_cast<long>(LeadingNumber(n[0]));
    }
};

} // namespace vesk::testing
