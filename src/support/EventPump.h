#pragma once

namespace vesk {

// "Let pending events run": the one place where a timer tick or a button click may re-enter
// work that is in progress.
class EventPump
{
public:
    virtual ~EventPump() = default;
    virtual void runPending() = 0;
};

class NullPump final : public EventPump
{
public:
    void runPending() override { }
};

} // namespace vesk
