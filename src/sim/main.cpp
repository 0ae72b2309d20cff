// tavrel-sim: the Таврель instrument on a pseudo-terminal, for tests and for demonstrations without one.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "simulator.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

const char* const kHelp =
    "Usage: tavrel-sim [options] [TTY]\n"
    "\n"
    "Plays the Таврель meter-recorder on a serial line. Without TTY it opens a pseudo-terminal and prints\n"
    "the path to open (for example /dev/pts/3) as the first line of its output; point the tool at that path.\n"
    "With TTY (for example /dev/ttyUSB0 behind a null-modem cable) it plays on that line instead.\n"
    "It answers identity, measurement, battery, memory, mode, step and channel-setting commands, streams\n"
    "measurements after \"1;1\" until \"1;3\", and ignores commands whose CRC is wrong. Stop it with Ctrl+C\n"
    "or SIGTERM; it then prints what it sent and received on standard error.\n"
    "\n"
    "Identity:\n"
    "  --serial N            serial number (default 1234)\n"
    "  --firmware TEXT       firmware version (default 01.05)\n"
    "  --old-firmware        report firmware 00.12, which the tool refuses\n"
    "  --record-state WORD   recording word in measurements: log_off (default), log_on, log_aw, ...\n"
    "Readings:\n"
    "  --hold CH=V[,CH=V...] hold channel CH (1 to 3) at V as the instrument writes it instead of the slow\n"
    "                        drift: volts in every range, mA for channel 3 in the IPP current layout (which\n"
    "                        reads on its 30 mA range); for example --hold 1=0.9,2=-5, a verification session\n"
    "                        with known results (tavrel-check --simulate takes the same list as --sim-hold)\n"
    "Timing:\n"
    "  --rate MS             period of the measurement stream in ms (default 100)\n"
    "Faults:\n"
    "  --crc-error-every N   every Nth frame sent carries a wrong CRC\n"
    "  --split               write each frame in three pieces with short pauses\n"
    "  --noise N             write N printable noise bytes before each frame\n"
    "  --refuse-modes        answer mode and step commands with a refusal\n"
    "  --silent              answer nothing\n"
    "  --hangup-after S      close the line after S seconds (the tool sees the port vanish)\n"
    "  --flood               ignore commands; send valid measurements at full line rate mixed with noise\n"
    "                        and bad-CRC frames (soak tests); counts are printed at the end\n"
    "  --stall-after S       after S seconds play a firmware that hangs but stays enumerated: read and\n"
    "                        answer nothing and keep the line to the simulator full, so that every write\n"
    "                        of the tool waits for room (a pseudo-terminal is filled at once)\n"
    "  --baud N              pace everything written to N baud, 8N1 (on a pseudo-terminal bytes otherwise\n"
    "                        go as fast as the tool reads them; --flood --baud 115200 is a flood at the\n"
    "                        instrument's real line rate)\n"
    "Other:\n"
    "  --log FILE            write one line per command received (\"rx 3;0\") and per answer sent (\"tx ...\");\n"
    "                        bytes that are not printable are written as \\xNN\n"
    "  --seed N              seed of the noise and flood choices (default 1)\n"
    "  -h, --help            this text\n";

bool ParseInt(const char* text, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 0 || parsed > 1000000000L) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tavrel::sim::TSimOptions options;
    std::string tty;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto needValue = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tavrel-sim: %s needs a value (see --help)\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        const auto needInt = [&](const char* name, int& value) {
            const char* text = needValue(name);
            if (!ParseInt(text, value)) {
                std::fprintf(stderr, "tavrel-sim: %s expects a whole number, not '%s'\n", name, text);
                std::exit(2);
            }
        };
        int number = 0;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--serial") {
            options.Serial = needValue("--serial");
        } else if (arg == "--firmware") {
            options.Firmware = needValue("--firmware");
        } else if (arg == "--old-firmware") {
            options.Firmware = "00.12";
        } else if (arg == "--record-state") {
            options.RecordState = needValue("--record-state");
        } else if (arg == "--hold") {
            std::string error;
            if (!tavrel::sim::ParseHoldValues(needValue("--hold"), options.Hold, error)) {
                std::fprintf(stderr, "tavrel-sim: --hold: %s\n", error.c_str());
                return 2;
            }
        } else if (arg == "--rate") {
            needInt("--rate", options.RateMs);
            if (options.RateMs == 0) {
                std::fprintf(stderr, "tavrel-sim: --rate must be at least 1 ms\n");
                return 2;
            }
        } else if (arg == "--crc-error-every") {
            needInt("--crc-error-every", options.CrcErrorEvery);
        } else if (arg == "--split") {
            options.SplitFrames = true;
        } else if (arg == "--noise") {
            needInt("--noise", options.NoiseBytes);
        } else if (arg == "--refuse-modes") {
            options.RefuseModes = true;
        } else if (arg == "--silent") {
            options.Silent = true;
        } else if (arg == "--hangup-after") {
            needInt("--hangup-after", number);
            options.HangUpAfterMs = number * 1000;
        } else if (arg == "--flood") {
            options.Flood = true;
        } else if (arg == "--stall-after") {
            needInt("--stall-after", number);
            options.StallAfterMs = number * 1000;
        } else if (arg == "--baud") {
            needInt("--baud", options.Baud);
        } else if (arg == "--log") {
            options.LogFile = needValue("--log");
        } else if (arg == "--seed") {
            needInt("--seed", number);
            options.Seed = static_cast<std::uint32_t>(number);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "tavrel-sim: unknown option '%s' (see --help)\n", arg.c_str());
            return 2;
        } else if (tty.empty()) {
            tty = arg;
        } else {
            std::fprintf(stderr, "tavrel-sim: only one TTY may be given\n");
            return 2;
        }
    }

    tavrel::sim::Simulator simulator(options);
    std::string path = tty;
    if (tty.empty()) {
        path = simulator.OpenPty();
        if (path.empty()) {
            std::fprintf(stderr, "tavrel-sim: %s\n", simulator.LastError().c_str());
            return 1;
        }
    } else if (!simulator.OpenTty(tty)) {
        std::fprintf(stderr, "tavrel-sim: %s\n", simulator.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    simulator.Start();
    while (gStop == 0 && simulator.Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    simulator.Stop();
    const tavrel::sim::TSimCounts counts = simulator.Counts();
    std::fprintf(stderr,
                 "tavrel-sim: sent %llu frames, %llu with a wrong CRC, %llu noise bytes; received %llu commands, "
                 "%llu ignored for their CRC\n",
                 static_cast<unsigned long long>(counts.Sent), static_cast<unsigned long long>(counts.SentBadCrc),
                 static_cast<unsigned long long>(counts.NoiseBytes), static_cast<unsigned long long>(counts.Received),
                 static_cast<unsigned long long>(counts.BadCrc));
    return 0;
}
