#pragma once
// Plays NSF files and NROM cartridges (.nes) on the 6502 core and the Apu, as a console would run
// them: the program's register writes reach the Apu at the cycle they happen on, the DMC reads
// sample bytes through the CPU's memory map, and DMC fetches halt the CPU.
//
// The Apu clocks the DMC from its PAL rate row in both TV systems, as the editor does, so an NTSC
// file's samples sound at those rates; the CPU halts follow the console's own row.
//
// Every run is bounded: init must return within options.initFrames frames, and playback runs exactly the
// frames asked for, whatever the program does (loops forever, jumps into I/O, writes anywhere).
// Malformed files and unofficial opcodes end the run with std::runtime_error.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nes/Cpu6502.h"

class Apu;

enum class ConsoleFileKind { Nsf, Nes };

// By the file name's extension (.nsf or .nes, any case); nullopt for anything else.
std::optional<ConsoleFileKind> consoleFileKind(const std::string& path);

struct NsfHeader {
    int songs = 1, startSong = 1;
    uint16_t load = 0, init = 0, play = 0;
    int ntscSpeed = 16667, palSpeed = 20000;  // µs between play calls
    bool pal = false;
    // Throws std::runtime_error unless `file` starts with a valid NSF header (tag, addresses at
    // $8000 or above, and data after the header).
    explicit NsfHeader(const std::vector<uint8_t>& file);
};

struct ConsoleOptions {
    long sampleRate = 44100;
    int tv = -1;   // -1 as the file says, 0 PAL, 1 NTSC
    int song = 0;  // NSF song number from 1; 0 = the file's starting song
    int initFrames = 100;  // frames an NSF's init may run before the file is refused
};

class ConsolePlayer {
  public:
    // Parses the file, configures `apu` for its TV system and runs the NSF init routine or the
    // cartridge's reset. `apu` must be fresh (no time run yet) and outlive the player.
    ConsolePlayer(const std::vector<uint8_t>& file, ConsoleFileKind kind, Apu& apu,
                  const ConsoleOptions& options = {});
    ~ConsolePlayer();
    ConsolePlayer(const ConsolePlayer&) = delete;
    ConsolePlayer& operator=(const ConsolePlayer&) = delete;

    // Runs one frame: an NSF play period (from the header's play speed), or one video frame of a
    // cartridge (NMI at its start when enabled). The samples it completed are appended to
    // `samples`, its $4000-$4017 writes to `writes`, when given.
    void runFrame(std::vector<int16_t>* samples, std::vector<ApuWrite>* writes = nullptr);

    bool ntsc() const { return ntsc_; }
    long clockRate() const;
    // Frame length in CPU cycles.
    double frameCycles() const { return frameCycles_; }
    long frames() const { return frames_; }
    Cpu6502& cpu() { return *cpu_; }

  private:
    Apu& apu_;
    std::unique_ptr<Cpu6502> cpu_;
    ConsoleFileKind kind_;
    bool ntsc_ = true;
    double frameCycles_ = 0;
    uint64_t firstFrame_ = 0;  // cycle at which frame 0 starts
    long frames_ = 0;
    uint16_t play_ = 0;
    bool inPlay_ = false;
    // The Apu's current scanline step: where it starts and the clock of its last write.
    uint64_t stepStart_ = 0;
    int writeClock_ = 0;
    std::vector<ApuWrite>* frameWrites_ = nullptr;
    std::vector<int16_t> scratch_;

    void advanceApu(uint64_t cycle);
    void writeApu(const ApuWrite& w);
    void readSamples(std::vector<int16_t>* samples);
    static uint8_t readSample(void* player, uint16_t address);
};

// Renders `seconds` of the file into 16-bit mono samples.
std::vector<int16_t> renderConsoleFile(const std::vector<uint8_t>& file, ConsoleFileKind kind, double seconds,
                                       const ConsoleOptions& options = {});

// `frames` frames of the file's register writes, one line each: "N:" then " AAAA=VV" per write of
// $4000-$4017, in upper-case hex (the format of the song trace).
std::vector<std::string> traceConsoleFile(const std::vector<uint8_t>& file, ConsoleFileKind kind, long frames,
                                          const ConsoleOptions& options = {});
