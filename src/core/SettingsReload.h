#pragma once

namespace vesk::core {

struct Context;

// Re-reads the settings file between passes, as a restart would, and logs what changed; the
// outbox stays open. A file that does not parse, or a value that does not convert, is refused
// with an error line and the settings in force stay. True when the new settings took effect.
bool ReloadSettings(Context& ctx);

} // namespace vesk::core
