#pragma once
// A cycle-exact 6502 interpreter: the official instruction set with cycle counts (page-crossing
// and branch penalties included), on one of two memory maps:
// - an NSF player's: 2 KB RAM mirrored through $1FFF, 8 KB RAM at $6000-$7FFF, eight 4 KB bank
//   windows at $8000-$FFFF switched by writes to $5FF8-$5FFF;
// - an NROM cartridge's: the same RAM, 16 or 32 KB of program ROM at $8000-$FFFF (16 KB
//   mirrored), and the PPU's status and control registers as far as a sound program needs them
//   (the vertical-blank flag in $2002, the NMI enable in $2000).
// Writes to $4000-$4018 and to the bank registers are reported with the cycle they happen on.
//
// DMC DMA is modelled: while the DMC plays, each sample byte it fetches halts the CPU for 4
// cycles (the usual case on the console; the exact count depends on the cycle the fetch lands
// on), so a program that counts cycles runs slower while a sample plays. The fetch times follow
// the DMC's rate table of the chosen TV system.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

struct ApuWrite {
    uint64_t cycle;  // CPU cycles since the interpreter was created
    uint16_t address;
    uint8_t value;
    uint16_t pc;  // address of the instruction that wrote
};

// When the DMC's output unit empties its sample buffer and how many bytes remain: enough of the
// channel to know when its memory reads halt the CPU. Times are CPU cycles.
class DmcDma {
  public:
    static constexpr int kStallCycles = 4;

    void setPal(bool pal) { pal_ = pal; }
    // $4010-$4013 and $4015 writes; returns the cycles the CPU stalls at once (a fetch that an
    // enabling $4015 write starts).
    int write(uint16_t address, uint8_t value);
    // Runs the DMC timer `cycles` on; returns the stall cycles of the fetches that fall due.
    int advance(uint64_t cycles);
    // $4015 bit 4: bytes remain.
    bool active() const { return bytesRemaining_ > 0; }
    uint64_t fetches() const { return fetches_; }

  private:
    bool pal_ = false;
    uint8_t control_ = 0, address_ = 0, length_ = 0;
    int bytesRemaining_ = 0;
    bool bufferFull_ = false;
    int bitsRemaining_ = 8;
    int64_t timer_ = 428;
    uint64_t fetches_ = 0;

    int period() const;
    int fetch();
};

class Cpu6502 {
  public:
    // Empty memory with the NSF map (for running code placed with poke()).
    Cpu6502() = default;
    // Loads an NSF file: data from file offset 128 at the header's load address, bank windows
    // from the header's initial banks (banks beyond the data read as zeros). Throws
    // std::runtime_error when the file is shorter than its header.
    explicit Cpu6502(const std::vector<uint8_t>& nsf);
    // An NROM cartridge with `prg` (16 or 32 KB; anything else throws std::runtime_error).
    static Cpu6502 nrom(const std::vector<uint8_t>& prg);

    // Loads bytes at a RAM address (below $2000 or $6000-$7FFF).
    void poke(uint16_t address, const std::vector<uint8_t>& bytes);

    // Calls `address` as a subroutine (A = a, X = x) and runs until it returns or `maxCycles`
    // pass. Returns true when it returned.
    bool call(uint16_t address, uint8_t a, uint8_t x, uint64_t maxCycles);
    // Pushes a return address that returned() watches for and jumps to `address`, with the
    // stack reset; step() then runs the routine.
    void startCall(uint16_t address);
    // True once the routine started by startCall (or call) has returned.
    bool returned() const { return pc == kReturnAddress && sp == 0xFD; }
    // Runs the current program until `cycles` more cycles have passed (whole instructions).
    void run(uint64_t cycles);
    // Executes one instruction (plus any DMC DMA halt it runs into); throws std::runtime_error
    // on an unofficial opcode.
    void step();
    // Lets `n` cycles pass without executing (the CPU waits); DMC fetches still halt it.
    void idle(uint64_t n);
    // The reset and NMI sequences: PC from the vector at $FFFC or $FFFA.
    void reset();
    void nmi();
    // NROM: the PPU enters vertical blank (sets $2002 bit 7); true when $2000 asks for an NMI.
    bool startVblank();
    void endVblank();

    uint8_t read(uint16_t address);
    void write(uint16_t address, uint8_t value);

    uint64_t cycles = 0;
    uint16_t pc = 0;
    uint8_t a = 0, x = 0, y = 0, sp = 0xFD, p = 0x24;
    // Writes are appended here unless onWrite is set, which then receives each one instead.
    std::vector<ApuWrite> writes;
    std::function<void(const ApuWrite&)> onWrite;
    int banks[8] = {};
    // Off: DMC fetches take no CPU time (as players that do not model DMA).
    bool modelDmcDma = true;
    DmcDma dmc;
    uint64_t stallCycles = 0;  // cycles lost to DMC DMA so far

  private:
    static constexpr uint16_t kReturnAddress = 0xFFF0;
    bool nrom_ = false;
    std::vector<uint8_t> data_;  // the NSF data area, bank 0 first; or the NROM program ROM
    uint8_t ram_[0x800] = {};
    uint8_t wram_[0x2000] = {};
    uint8_t ppuCtrl_ = 0, ppuStatus_ = 0;
    uint64_t writeCycleOffset_ = 0;
    uint16_t instructionPc_ = 0;
    int pendingStall_ = 0;

    void report(uint16_t address, uint8_t value);
    void push(uint8_t v) { write(uint16_t(0x100 | sp--), v); }
    uint8_t pull() { return read(uint16_t(0x100 | ++sp)); }
    void setNZ(uint8_t v) { p = uint8_t((p & ~0x82) | (v & 0x80) | (v == 0 ? 0x02 : 0)); }
    void interrupt(uint16_t vector, uint16_t returnAddress, bool brk);
    void addCycles(uint64_t n);
};
