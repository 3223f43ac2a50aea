#pragma once

#include "support/EventPump.h"

#include <functional>
#include <map>

namespace vesk::testing {

// Fires a chosen action on the Nth call of runPending: exactly where a real timer tick or a
// click would arrive while work is in progress.
class ScriptedPump final : public EventPump
{
public:
    void at(int call, std::function<void()> action) { m_actions[call] = std::move(action); }
    // Fires the action once, on the first call at which the condition holds.
    void when(std::function<bool()> condition, std::function<void()> action)
    {
        m_condition = std::move(condition);
        m_conditional = std::move(action);
    }
    void runPending() override
    {
        ++m_calls;
        if (m_condition && m_condition()) {
            m_condition = nullptr;
            auto action = std::move(m_conditional);
            action();
        }
        if (auto it = m_actions.find(m_calls); it != m_actions.end()) {
            auto action = std::move(it->second);
            m_actions.erase(it);
            action();
        }
    }
    int calls() const { return m_calls; }

private:
    std::map<int, std::function<void()>> m_actions;
    std::function<bool()> m_condition;
    std::function<void()> m_conditional;
    int m_calls = 0;
};

} // namespace vesk::testing
