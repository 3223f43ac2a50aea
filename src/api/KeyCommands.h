#pragma once

#include "store/db.h"

#include <ostream>
#include <string>
#include <vector>

namespace vesk::api {

// "key add --name NAME --scope LIST [--allow LIST]", "key list", "key revoke NAME" on an open
// outbox. A new key is printed once, on its own line; the outbox keeps only its hash. The exit
// code: 0 done, 1 bad arguments, 2 the outbox failed.
int RunKeyCommand(
    const std::vector<std::string>& args, store::db& outbox, std::ostream& out, std::ostream& err);

} // namespace vesk::api
