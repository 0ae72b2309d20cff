#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Plays the instrument on a pseudo-terminal or a tty: answers every command of the tool, streams
// measurements on request and can inject the faults a real line shows.
namespace tavrel::sim {

struct TSimOptions {
    std::string Serial = "1234";
    int Month = 7;
    int Year = 21;  // without the century
    std::string Firmware = "01.05";
    int RateMs = 100;          // period of the measurement stream started by "1;1"
    int CrcErrorEvery = 0;     // every Nth frame sent carries a wrong CRC; 0 never
    bool SplitFrames = false;  // each frame in three writes with short pauses
    int NoiseBytes = 0;        // printable noise bytes written before each frame
    bool RefuseModes = false;  // mode and step commands answered with a result other than 4
    bool Silent = false;       // read and log commands, answer nothing
    int HangUpAfterMs = 0;     // close the line after this long; 0 never
    std::string RecordState = "log_off";
    bool Flood = false;    // valid answers at full line rate mixed with noise and bad-CRC frames
    int StallAfterMs = 0;  // then read and answer nothing and keep the line full (see Stall); 0 never
    int Baud = 0;          // pace everything written to this line rate (10 bits a byte); 0 as fast as read
    std::string LogFile;   // one line per command received and per answer sent
    std::uint32_t Seed = 1;
    // Channels given here read this value (as the instrument writes it: volts, mA for channel 3 in the IPP
    // current layout) instead of the slow drift,
    // so a verification session can be tried with known results.
    std::array<std::optional<double>, 3> Hold;
};

// Reads "1=0.9,3=-0.05" (channel=value, channels 1 to 3, each at most once) into `Hold`; on a refusal
// returns false and says why in `Error`.
bool ParseHoldValues(const std::string& Text, std::array<std::optional<double>, 3>& Hold, std::string& Error);

struct TSimCounts {
    std::uint64_t Received = 0;    // commands with a good CRC
    std::uint64_t BadCrc = 0;      // commands ignored for their CRC
    std::uint64_t Sent = 0;        // frames written with a good CRC
    std::uint64_t SentBadCrc = 0;  // frames written with a deliberately wrong CRC
    std::uint64_t NoiseBytes = 0;
};

class Simulator {
  public:
    explicit Simulator(TSimOptions Options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens a pseudo-terminal and returns the path the tool opens (the slave); empty on failure.
    std::string OpenPty();
    // Plays on an existing tty (a null-modem cable to the tool); false on failure.
    bool OpenTty(const std::string& Path);
    // Starts answering on its own thread; Stop (or the destructor) ends it and closes the line.
    void Start();
    void Stop();
    // Plays a firmware that hangs but stays enumerated: from now on nothing is read or answered, and the
    // line towards the simulator is kept full, so that every write of the tool waits for room. On a
    // pseudo-terminal the simulator fills it itself; on a tty it fills as the tool keeps writing.
    void Stall();
    // True while the line is up (false after a hang-up or Stop).
    bool Running() const;
    TSimCounts Counts() const;
    std::string LastError() const;
    // Starts or stops refusing mode and step commands while running (the RefuseModes option).
    void SetRefuseModes(bool Refuse) { FRefuseModes = Refuse; }
    // Starts or stops answering nothing while running (the Silent option).
    void SetSilent(bool Silent) { FSilent = Silent; }

    // Frame layout shared with the tests: STX ";" body ";" CRC ";" ETX.
    static std::vector<std::uint8_t> BuildFrame(const std::vector<std::uint8_t>& Body, bool BadCrc = false);
    static std::vector<std::uint8_t> BuildFrame(const std::string& Body, bool BadCrc = false);

  private:
    void Run();
    void HandleInput(const std::uint8_t* Data, std::size_t Length);
    void HandleCommand(const std::string& Body, const std::vector<std::uint8_t>& Raw);
    void Answer(const std::vector<std::uint8_t>& Body);
    void Answer(const std::string& Body);
    void Acknowledge(char Command, std::uint8_t Code, bool Accepted);
    void SendFrame(std::vector<std::uint8_t> Frame);
    bool WriteAll(const std::uint8_t* Data, std::size_t Length);
    void FloodOnce();
    std::string Measurement();
    std::string Battery() const;
    void Log(const char* Direction, const std::vector<std::uint8_t>& Bytes);
    void CloseLine();
    void FillLine();
    void Pace(std::size_t Length);

    TSimOptions FOptions;
    int FMaster = -1;     // the side the simulator reads and writes
    int FSlaveHold = -1;  // kept open so the line stays up between the tool's connections
    int FWake[2] = {-1, -1};
    std::thread FThread;
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FStop{false};
    std::atomic<bool> FRefuseModes{false};
    std::atomic<bool> FSilent{false};
    std::atomic<bool> FStall{false};
    std::chrono::steady_clock::time_point FNextWrite;  // with Baud: when the line is free again
    std::vector<std::uint8_t> FInput;
    std::chrono::steady_clock::time_point FStart;
    std::mt19937 FRandom;

    // Instrument state, touched by the simulator thread only.
    int FMode = 1;
    bool FIppCurrent = false;  // the "E" step accepted: channel 3 reads mA on "30" until the mode changes
    char FRange[3] = {'1', '1', '1'};
    int FShunt = 750;  // nominal current x 10000
    bool FStreaming = false;
    bool FUsbCharging = true;
    std::uint64_t FFrameNumber = 0;

    mutable std::mutex FLock;  // counts, error text and the log file
    TSimCounts FCounts;
    std::string FLastError;
    std::FILE* FLog = nullptr;
};

}  // namespace tavrel::sim
