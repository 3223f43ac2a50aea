// How long reading a reply or a full memory listing takes, and what one command costs on a line
// to vesk-modemsim (dominated by the 100 ms poll step, by design).
#include "modem/AtReplies.h"
#include "modem/GSMModem.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace vesk::modem;

namespace {

std::string pduListing(int entries)
{
    std::string listing;
    for (int i = 1; i <= entries; ++i) {
        listing += "+CMGL: " + std::to_string(i) + ",1,,24\r\n";
        listing += "0791447758100650040C914477009001230000622150211000000"
                   "5C8329BFD06\r\n";
    }
    return listing;
}

std::string textListing(int entries)
{
    std::string listing;
    for (int i = 1; i <= entries; ++i) {
        listing += "+CMGL: " + std::to_string(i)
            + ",\"REC READ\",\"+447700900123\",,\"26/03/05,12:01:00+04\"\r\n";
        listing += std::string(160, 'x') + "\r\n";
    }
    return listing;
}

void BM_SignalLevel(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseSignalLevel("+CSQ: 18,99\r\n\r\nOK"));
}
BENCHMARK(BM_SignalLevel);

void BM_MessageCount(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseMessageCount("+CPMS: \"SM\",2,20,\"ME\",5,100,\"SR\",1,10\r\n\r\nOK"));
}
BENCHMARK(BM_MessageCount);

void BM_PduListing(benchmark::State& state)
{
    const std::string listing = pduListing(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadPDUMode(listing));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PduListing)->Arg(1)->Arg(30)->Arg(255);

void BM_TextListing(benchmark::State& state)
{
    const std::string listing = textListing(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadTextMode(listing));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TextListing)->Arg(1)->Arg(30)->Arg(255);

// One AT command through the whole engine to the simulator and back, in real time.
void BM_CommandRoundTripOnSimulator(benchmark::State& state)
{
    int out[2];
    if (pipe(out) != 0) {
        state.SkipWithError("pipe failed");
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        execl(VESK_BIN_DIR "/vesk-modemsim", "vesk-modemsim", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string path;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        path += c;
    vesk::SystemClock clock;
    vesk::NullPump pump;
    {
        GSMModem modem(clock, pump);
        if (!modem.OpenPort(path, "9600,N,8,1")) {
            state.SkipWithError("cannot open the simulator's line");
        } else {
            int level = 0;
            for (auto _ : state)
                level = modem.SignalLevel();
            if (level != 58)
                state.SkipWithError("the simulator's signal level did not come back");
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(out[0]);
}
BENCHMARK(BM_CommandRoundTripOnSimulator)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
