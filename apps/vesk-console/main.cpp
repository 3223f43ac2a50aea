// vesk-console: the console with its window, or headless (the same engine as vesk-consoled).
#include "core/ConsoleMain.h"
#include "ui/ConsoleRunner.h"

namespace {

class QtWindow final : public vesk::core::WindowFrontEnd
{
public:
    bool available() const override { return vesk::ui::HasDisplay(); }
    int run(int& argc, char** argv, vesk::core::SettingsStore& settings,
        const vesk::core::ConsoleOptions& options) override
    {
        return vesk::ui::RunConsoleWindow(argc, argv, settings, options.commandLine, options.overrides);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QtWindow window;
    return vesk::core::ConsoleMain(argc, argv, "vesk-console", &window);
}
