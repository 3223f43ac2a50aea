#pragma once

#include <string>

namespace vesk::mail {

// The status-bar feedback text the console shows while a mail step runs.
class Feedback
{
public:
    virtual ~Feedback() = default;
    virtual void PushFeedback(const std::string& text) = 0;
    virtual void PopFeedback() = 0;
};

class NoFeedback final : public Feedback
{
public:
    void PushFeedback(const std::string&) override { }
    void PopFeedback() override { }
};

} // namespace vesk::mail
