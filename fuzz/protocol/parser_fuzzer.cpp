// Feeds arbitrary chunk sequences to one stream parser; every reported model must rebuild from its JSON, and
// between two reports only the fields that the later answer carries may change.
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

template <auto Getter>
bool Same(const TTavrel& a, const TTavrel& b) {
    return (a.*Getter)() == (b.*Getter)();
}

// Every field of the model with the answer kind that carries it.
struct TField {
    const char* name;
    TTavrelCMD carrier;
    bool (*same)(const TTavrel&, const TTavrel&);
};

constexpr TField kFields[] = {
    {"numberDevice", TTavrelCMD::cmdDeviceInfo, &Same<&TTavrel::NumberDevice>},
    {"monthDevice", TTavrelCMD::cmdDeviceInfo, &Same<&TTavrel::MonthDevice>},
    {"yearDevice", TTavrelCMD::cmdDeviceInfo, &Same<&TTavrel::YearDevice>},
    {"firmwareDevice", TTavrelCMD::cmdDeviceInfo, &Same<&TTavrel::FirmwareDevice>},
    {"dicChannel", TTavrelCMD::cmdMeasure, &Same<&TTavrel::DicChannel>},
    {"dateTimeOnDevice", TTavrelCMD::cmdMeasure, &Same<&TTavrel::DateTimeOnDeviceValue>},
    {"typeState", TTavrelCMD::cmdMeasure, &Same<&TTavrel::TypeState>},
    {"modeWork", TTavrelCMD::cmdModeWork, &Same<&TTavrel::ModeWork>},
    {"lastCommand", TTavrelCMD::cmdAnswerCommandResult, &Same<&TTavrel::LastCommand>},
    {"lastResult", TTavrelCMD::cmdAnswerCommandResult, &Same<&TTavrel::LastResult>},
    {"lastCode", TTavrelCMD::cmdAnswerCommandResult, &Same<&TTavrel::LastCode>},
    {"memoryFree", TTavrelCMD::cmdMemoryInfo, &Same<&TTavrel::MemoryFree>},
    {"memoryFull", TTavrelCMD::cmdMemoryInfo, &Same<&TTavrel::MemoryFull>},
    {"percentAKB", TTavrelCMD::cmdAKBInfo, &Same<&TTavrel::PercentAKB>},
    {"sourcePower", TTavrelCMD::cmdAKBInfo, &Same<&TTavrel::SourcePower>},
    {"voltPowerAKB", TTavrelCMD::cmdAKBInfo, &Same<&TTavrel::VoltPowerAKB>},
    {"voltAKB", TTavrelCMD::cmdAKBInfo, &Same<&TTavrel::VoltAKB>},
    {"tempAKB", TTavrelCMD::cmdAKBInfo, &Same<&TTavrel::TempAKB>},
    {"uSBPower", TTavrelCMD::cmdAKBInfo, &Same<&TTavrel::USBPower>},
    {"aKBState", TTavrelCMD::cmdAKBInfo, &Same<&TTavrel::AKBState>},
};

// A rejected answer, or a field that another answer kind carries, must not show up in a later report.
void CheckOnlyCarriedFieldsChanged(TTavrelCMD kind, const TTavrel& now, TTavrel& last) {
    bool allSame = true;
    for (const TField& field : kFields) {
        const bool same = field.same(now, last);
        if (!same && field.carrier != kind) {
            std::fprintf(stderr, "%s changed by answer kind %d\n", field.name, static_cast<int>(kind));
            Bug("a report changed a field that its answer does not carry");
        }
        allSame = allSame && same;
    }
    if (allSame && !(now == last)) {
        Bug("a field of the model is missing from kFields");
    }
    last = now;
}

void Check(TTavrelCMD kind, const std::vector<std::uint8_t>& data, TTavrel& last) {
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
    CheckOnlyCarriedFieldsChanged(kind, *model, last);
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
    TTavrel last;  // the parser's model starts fresh
    parser->OnData([&last](TTavrelCMD kind, const std::vector<std::uint8_t>& json) { Check(kind, json, last); });
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
