// Per measurement answer: cut the frame, check the CRC, decode, serialise the model; and the receiving side's
// rebuild of the model from that JSON.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "protocol/crc_helper.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_data_parser.h"

namespace {

using tavrel::protocol::TTavrel;
using tavrel::protocol::TTavrelCMD;
using tavrel::protocol::TTavrelDataParser;

std::vector<std::uint8_t> MeasureFrame() {
    std::string f = "\x02;7;0.1234(1);-3.5(10);0.0375(0.1);0.075;2026;12;9;22;5;7;log_off;";
    const std::vector<std::uint8_t> covered(f.begin(), f.end());
    const int crc = tavrel::protocol::TCRCHelper::CRC7Calc(covered, -1);
    static constexpr char kHex[] = "0123456789ABCDEF";
    f += kHex[crc >> 4];
    f += kHex[crc & 15];
    f += ";\x03";
    return {f.begin(), f.end()};
}

void BM_MeasurementAnswer(benchmark::State& state) {
    auto parser = std::make_shared<TTavrelDataParser>();
    std::size_t reported = 0;
    parser->OnData([&reported](TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
        if (kind == TTavrelCMD::cmdMeasure) {
            reported += data.size();
        }
    });
    const auto frame = MeasureFrame();
    for (auto _ : state) {
        parser->AddData(frame);
    }
    benchmark::DoNotOptimize(reported);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["line_limit_x"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / 190.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeasurementAnswer);

void BM_RebuildFromJSON(benchmark::State& state) {
    TTavrel model;
    const auto frame = MeasureFrame();
    model.ParseMeasure(std::vector<std::uint8_t>(frame.begin() + 2, frame.end() - 5));
    model.ParseDeviceInfo(std::vector<std::uint8_t>{'0', ';', '1', ';', '7', ';', '2', '1', ';', '1', '.', '0'});
    const auto json = model.ToJSON();
    for (auto _ : state) {
        auto rebuilt = TTavrel::FromJSON(json);
        benchmark::DoNotOptimize(rebuilt.get());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_RebuildFromJSON);

}  // namespace

BENCHMARK_MAIN();
