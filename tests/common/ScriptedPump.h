#pragma once

#include "support/EventPump.h"

#include <functional>
#include <map>
#include <utility>

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
            std::exchange(m_conditional, nullptr)();
        }
        if (auto node = m_actions.extract(m_calls))
            node.mapped()();
    }
    int calls() const { return m_calls; }

private:
    std::map<int, std::function<void()>> m_actions;
    std::function<bool()> m_condition;
    std::function<void()> m_conditional;
    int m_calls = 0;
};

} // namespace vesk::testing
