// Feeds arbitrary chunk sequences to one stream parser; every reported model must rebuild from its JSON.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <vector>

#include "protocol/crc_helper.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_data_parser.h"

namespace {

using tavrel::protocol::TChannelProperties;
using tavrel::protocol::TTavrel;
using tavrel::protocol::TTavrelCMD;

[[noreturn]] void Bug(const char* what) {
    std::fprintf(stderr, "parser_fuzzer: %s\n", what);
    std::abort();
}

void Check(TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
    if (kind == TTavrelCMD::cmdCRCError) {
        if (!data.empty()) {
            Bug("CRC error with data");
        }
        return;
    }
    if (kind == TTavrelCMD::cmdUnknown) {
        if (!data.empty() && data[0] != '7') {
            Bug("raw text that is not a measurement");
        }
        return;
    }
    std::unique_ptr<TTavrel> model;
    try {
        model = TTavrel::FromJSON(data);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rebuild failed: %s\n", e.what());
        Bug("a parser-produced JSON did not rebuild");
    }
    if (model->ToJSON() != data) {
        Bug("rebuilt model serialises differently");
    }
    // The windows read every text of a rebuilt model.
    for (int key = 0; key <= static_cast<int>(TChannelProperties::chpCh3Shunt); ++key) {
        (void)model->GetChannelProperties(static_cast<TChannelProperties>(key), '.');
        (void)model->GetChannelProperties(static_cast<TChannelProperties>(key), ',');
    }
    (void)model->GetRangeOfChannels('.');
    (void)model->AKBStateFullInfo();
    (void)model->MemoryFullInfo(',');
    (void)model->GetMemoryUsed();
    (void)model->DateTimeOnDevice();
    (void)model->GetMonthAndYearDevice("x");
    (void)model->IsOldFirmware();
}

// Rewrites the CRC text of every STX..ETX run, so that mutations reach the decoders behind the CRC check.
std::vector<std::uint8_t> WithValidCrcs(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out(data, data + size);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::size_t s = 0;
    while (s < out.size()) {
        if (out[s] != 0x02) {
            ++s;
            continue;
        }
        std::size_t e = s + 1;
        while (e < out.size() && out[e] != 0x03) {
            ++e;
        }
        if (e >= out.size()) {
            break;
        }
        if (e - s >= 6) {
            const int crc =
                tavrel::protocol::TCRCHelper::CRC7Calc(out.data(), static_cast<int>(s), static_cast<int>(e - 3));
            out[e - 3] = static_cast<std::uint8_t>(kHex[crc >> 4]);
            out[e - 2] = static_cast<std::uint8_t>(kHex[crc & 15]);
        }
        s = e + 1;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An input starting with 'C' has its frames' CRCs made valid first.
    std::vector<std::uint8_t> fixed;
    if (size > 0 && data[0] == 'C') {
        fixed = WithValidCrcs(data + 1, size - 1);
        data = fixed.data();
        size = fixed.size();
    }
    auto parser = std::make_shared<tavrel::protocol::TTavrelDataParser>();
    parser->OnData(Check);
    // Each chunk is preceded by one byte giving its length (1 to 64); the rest of the input is the last chunk.
    std::size_t i = 0;
    while (i < size) {
        const std::size_t want = static_cast<std::size_t>(data[i] % 64) + 1;
        ++i;
        const std::size_t take = want < size - i ? want : size - i;
        parser->AddData(std::vector<std::uint8_t>(data + i, data + i + take));
        i += take;
        if (parser->BufferedSize() > tavrel::protocol::TTavrelDataParser::kMaxBuffered) {
            Bug("buffer above its bound");
        }
    }
    return 0;
}
