#pragma once
// A 6502 interpreter for tests: the official instruction set with cycle counts (page-crossing
// and branch penalties included), on an NSF player's memory map: 2 KB RAM mirrored through
// $1FFF, 8 KB RAM at $6000-$7FFF, eight 4 KB bank windows at $8000-$FFFF switched by writes to
// $5FF8-$5FFF. Writes to $4000-$4017 and $4018 are logged with the cycle they happen on.

#include <cstdint>
#include <stdexcept>
#include <vector>

struct ApuWrite {
    uint64_t cycle;  // CPU cycles since the interpreter was created
    uint16_t address;
    uint8_t value;
    uint16_t pc;  // address of the instruction that wrote
};

class Cpu6502 {
  public:
    // Empty memory (for running code placed with write()).
    Cpu6502() = default;
    // Loads an NSF file: data from file offset 128 at the header's load address, bank windows
    // from the header's initial banks (banks beyond the data read as zeros).
    explicit Cpu6502(const std::vector<uint8_t>& nsf);
    // Loads bytes at a RAM address (below $2000 or $6000-$7FFF).
    void poke(uint16_t address, const std::vector<uint8_t>& bytes);

    // Calls `address` as a subroutine (A = a, X = x) and runs until it returns or `maxCycles`
    // pass. Returns true when it returned.
    bool call(uint16_t address, uint8_t a, uint8_t x, uint64_t maxCycles);
    // Runs the current program until `cycles` more cycles have passed (whole instructions).
    void run(uint64_t cycles);
    // Executes one instruction; throws std::runtime_error on an unofficial opcode.
    void step();

    uint8_t read(uint16_t address) const;
    void write(uint16_t address, uint8_t value);

    uint64_t cycles = 0;
    uint16_t pc = 0;
    uint8_t a = 0, x = 0, y = 0, sp = 0xFD, p = 0x24;
    std::vector<ApuWrite> writes;
    int banks[8] = {};

  private:
    std::vector<uint8_t> data_;  // the NSF data area, bank 0 first
    uint8_t ram_[0x800] = {};
    uint8_t wram_[0x2000] = {};
    uint64_t writeCycleOffset_ = 0;
    uint16_t instructionPc_ = 0;

    void push(uint8_t v) { write(uint16_t(0x100 | sp--), v); }
    uint8_t pull() { return read(uint16_t(0x100 | ++sp)); }
    void setNZ(uint8_t v) { p = uint8_t((p & ~0x82) | (v & 0x80) | (v == 0 ? 0x02 : 0)); }
};
