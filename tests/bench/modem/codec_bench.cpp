// Units per second through the codec: building submits (single and long-message parts), decoding
// received messages and status reports, and the character conversion in front of the packing.

#include "modem/GSMCharset.h"
#include "modem/PduUnits.h"

#include <benchmark/benchmark.h>

#include <string>

using vesk::DateTime;
using namespace vesk::modem;

namespace {

const std::string kShortText = "Your parcel 4711 is ready for collection at the front desk.";
const std::string kFullText(160, 'x');
const std::string kEscapedText = "Total: 12 {EUR} [ref ~A|B] 50% off_today " + std::string(100, 'y');

void unitsPerSecond(benchmark::State& state)
{
    state.counters["units/s"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BuildSingle(benchmark::State& state)
{
    const std::string& text = state.range(0) == 0 ? kShortText : kFullText;
    const std::string converted = ToGSMCharset(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildSubmitPDU("+447700900123", converted, DateTime(), true, ""));
    unitsPerSecond(state);
}
BENCHMARK(BM_BuildSingle)->Arg(0)->Arg(1);

void BM_BuildPartWithExpiry(benchmark::State& state)
{
    const std::string converted = ToGSMCharset(std::string(152, 'z'));
    const DateTime expiry = DateTime::fromParts(2026, 12, 31, 23, 59, 30);
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildSubmitPDU("+447700900123", converted, expiry, false, "050003000302"));
    unitsPerSecond(state);
}
BENCHMARK(BM_BuildPartWithExpiry);

void BM_ConvertAndMeasure(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(GSMLength(kEscapedText));
        benchmark::DoNotOptimize(ToGSMCharset(kEscapedText));
    }
    unitsPerSecond(state);
}
BENCHMARK(BM_ConvertAndMeasure);

void BM_ParseDeliver(benchmark::State& state)
{
    // A full 160-septet received message behind a service-centre address.
    const std::string submit
        = BuildSubmitPDU("+447700900123", ToGSMCharset(kFullText), DateTime(), false, "");
    const std::string deliver = "07914477790000F1"
                                "04"
        + submit.substr(6, 16) + "0000" + "62211332950300" + submit.substr(26);
    GSMMessage check;
    if (!ParsePDU(deliver, 0, check) || check.Text != kFullText)
        state.SkipWithError("deliver unit does not decode");
    for (auto _ : state) {
        GSMMessage record;
        benchmark::DoNotOptimize(ParsePDU(deliver, 0, record));
        benchmark::DoNotOptimize(record.Text.data());
    }
    unitsPerSecond(state);
}
BENCHMARK(BM_ParseDeliver);

void BM_ParseStatusReport(benchmark::State& state)
{
    const std::string report = "07914477790000F1"
                               "06D60B911326880736F4111011719551401110117195714000";
    GSMMessage check;
    if (!ParsePDU(report, 0, check) || check.id != 0xD6)
        state.SkipWithError("status report does not decode");
    for (auto _ : state) {
        GSMMessage record;
        benchmark::DoNotOptimize(ParsePDU(report, 0, record));
    }
    unitsPerSecond(state);
}
BENCHMARK(BM_ParseStatusReport);

} // namespace
