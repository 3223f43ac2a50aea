#pragma once

#include "support/EventPump.h"

namespace vesk::ui {

// Lets the Qt event queue run: timer ticks and button clicks may re-enter the work in progress.
class QtEventPump final : public EventPump
{
public:
    void runPending() override;
};

} // namespace vesk::ui
