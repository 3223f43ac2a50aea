#pragma once

// A private PostgreSQL server for a benchmark, started and stopped by scripts/pg-server in a
// folder of the benchmark's own.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vesk::testing {

// Its connection string; empty when there is no server to be had.
inline std::string StartScriptPgServer(const std::string& folder)
{
    const std::string command = VESK_SOURCE_DIR "/scripts/pg-server start " + folder + " 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    char line[512] = {};
    const bool got = out && std::fgets(line, sizeof line, out);
    if (out)
        pclose(out);
    std::string conninfo = got ? line : "";
    while (!conninfo.empty() && conninfo.back() == '\n')
        conninfo.pop_back();
    return conninfo;
}

inline void StopScriptPgServer(const std::string& folder)
{
    std::system((VESK_SOURCE_DIR "/scripts/pg-server stop " + folder + " >/dev/null 2>&1").c_str());
}

} // namespace vesk::testing
