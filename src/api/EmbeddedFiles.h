#pragma once

#include "api/Services.h"

#include <vector>

namespace vesk::api {

// The files built into the program from src/api (the OpenAPI document), as the server serves them.
std::vector<StaticFile> EmbeddedFiles();

} // namespace vesk::api
