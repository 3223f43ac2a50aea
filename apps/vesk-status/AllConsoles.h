#pragma once

#include <string>

// vesk-status --all: every console of one outbox, from its console table.
int PrintAllConsoles(const std::string& dataFolder, const std::string& database, bool json);
