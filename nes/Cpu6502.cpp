#include "nes/Cpu6502.h"

#include <string>

namespace {

enum Mode { IMP, ACC, IMM, ZP, ZPX, ZPY, ABS, ABX, ABY, IND, IZX, IZY, REL };
// clang-format off
enum Op {
    ADC, AND, ASL, BCC, BCS, BEQ, BIT, BMI, BNE, BPL, BRK, BVC, BVS, CLC, CLD, CLI, CLV, CMP, CPX,
    CPY, DEC, DEX, DEY, EOR, INC, INX, INY, JMP, JSR, LDA, LDX, LDY, LSR, NOP, ORA, PHA, PHP, PLA,
    PLP, ROL, ROR, RTI, RTS, SBC, SEC, SED, SEI, STA, STX, STY, TAX, TAY, TSX, TXA, TXS, TYA, BAD
};
// clang-format on
struct Entry {
    Op op;
    Mode mode;
    uint8_t cycles;
    bool pagePenalty;
};

Entry table[256];

struct TableInit {
    void set(int code, Op op, Mode mode, int cycles, bool penalty = false) {
        table[code] = {op, mode, uint8_t(cycles), penalty};
    }
    // The eight-mode ALU group (ORA, AND, EOR, ADC, STA, LDA, CMP, SBC).
    void alu(int base, Op op, bool store = false) {
        set(base + 0x01, op, IZX, 6);
        set(base + 0x05, op, ZP, 3);
        if (!store) set(base + 0x09, op, IMM, 2);
        set(base + 0x0D, op, ABS, 4);
        set(base + 0x11, op, IZY, store ? 6 : 5, !store);
        set(base + 0x15, op, ZPX, 4);
        set(base + 0x19, op, ABY, store ? 5 : 4, !store);
        set(base + 0x1D, op, ABX, store ? 5 : 4, !store);
    }
    // Shifts and increments: zp, acc/none, abs, zp,x, abs,x.
    void rmw(int base, Op op, bool acc) {
        set(base + 0x06, op, ZP, 5);
        if (acc) set(base + 0x0A, op, ACC, 2);
        set(base + 0x0E, op, ABS, 6);
        set(base + 0x16, op, ZPX, 6);
        set(base + 0x1E, op, ABX, 7);
    }
    TableInit() {
        for (auto& e : table) e = {BAD, IMP, 2, false};
        // clang-format off
        alu(0x00, ORA); alu(0x20, AND); alu(0x40, EOR); alu(0x60, ADC);
        alu(0x80, STA, true); alu(0xA0, LDA); alu(0xC0, CMP); alu(0xE0, SBC);
        rmw(0x00, ASL, true); rmw(0x20, ROL, true); rmw(0x40, LSR, true); rmw(0x60, ROR, true);
        rmw(0xC0, DEC, false); rmw(0xE0, INC, false);
        const Op branches[8] = {BPL, BMI, BVC, BVS, BCC, BCS, BNE, BEQ};
        for (int i = 0; i < 8; ++i) set(0x10 + 0x20 * i, branches[i], REL, 2);
        set(0x00, BRK, IMP, 7); set(0x20, JSR, ABS, 6); set(0x40, RTI, IMP, 6); set(0x60, RTS, IMP, 6);
        set(0x4C, JMP, ABS, 3); set(0x6C, JMP, IND, 5); set(0x24, BIT, ZP, 3);  set(0x2C, BIT, ABS, 4);
        set(0xA2, LDX, IMM, 2); set(0xA6, LDX, ZP, 3);  set(0xAE, LDX, ABS, 4); set(0xB6, LDX, ZPY, 4);
        set(0xBE, LDX, ABY, 4, true);
        set(0xA0, LDY, IMM, 2); set(0xA4, LDY, ZP, 3);  set(0xAC, LDY, ABS, 4); set(0xB4, LDY, ZPX, 4);
        set(0xBC, LDY, ABX, 4, true);
        set(0x86, STX, ZP, 3);  set(0x8E, STX, ABS, 4); set(0x96, STX, ZPY, 4);
        set(0x84, STY, ZP, 3);  set(0x8C, STY, ABS, 4); set(0x94, STY, ZPX, 4);
        set(0xE0, CPX, IMM, 2); set(0xE4, CPX, ZP, 3);  set(0xEC, CPX, ABS, 4);
        set(0xC0, CPY, IMM, 2); set(0xC4, CPY, ZP, 3);  set(0xCC, CPY, ABS, 4);
        set(0x48, PHA, IMP, 3); set(0x08, PHP, IMP, 3); set(0x68, PLA, IMP, 4); set(0x28, PLP, IMP, 4);
        // clang-format on
        const std::pair<int, Op> implied[] = {{0x18, CLC}, {0x38, SEC}, {0x58, CLI}, {0x78, SEI}, {0xB8, CLV},
                                              {0xD8, CLD}, {0xF8, SED}, {0xAA, TAX}, {0x8A, TXA}, {0xA8, TAY},
                                              {0x98, TYA}, {0xBA, TSX}, {0x9A, TXS}, {0xCA, DEX}, {0x88, DEY},
                                              {0xE8, INX}, {0xC8, INY}, {0xEA, NOP}};
        for (auto [code, op] : implied) set(code, op, IMP, 2);
    }
} tableInit;

std::string hex(unsigned value, int digits) {
    static const char* const figures = "0123456789ABCDEF";
    std::string text = "$";
    for (int d = digits - 1; d >= 0; --d) text += figures[(value >> (4 * d)) & 15];
    return text;
}

}  // namespace

int DmcDma::period() const {
    // The DMC's rate table, in CPU cycles per output bit (NTSC and PAL consoles).
    static constexpr int periods[2][16] = {
        {428, 380, 340, 320, 286, 254, 226, 214, 190, 160, 142, 128, 106, 84, 72, 54},
        {398, 353, 316, 297, 266, 236, 210, 199, 177, 149, 132, 119, 98, 78, 67, 50}};
    return periods[pal_ ? 1 : 0][control_ & 15];
}

int DmcDma::fetch() {
    bufferFull_ = true;
    ++fetches_;
    if (--bytesRemaining_ == 0 && (control_ & 0x40)) bytesRemaining_ = length_ * 16 + 1;
    return kStallCycles;
}

int DmcDma::write(uint16_t address, uint8_t value) {
    switch (address) {
        case 0x4010:
            control_ = value;
            break;
        case 0x4012:
            address_ = value;
            break;
        case 0x4013:
            length_ = value;
            break;
        case 0x4015:
            if (!(value & 0x10)) {
                bytesRemaining_ = 0;
            } else if (bytesRemaining_ == 0) {
                bytesRemaining_ = length_ * 16 + 1;
                // An empty buffer is filled at once: the first fetch follows the enabling write.
                if (!bufferFull_) return fetch();
            }
            break;
        default:
            break;
    }
    return 0;
}

int DmcDma::advance(uint64_t cycles) {
    int stall = 0;
    timer_ -= int64_t(cycles);
    while (timer_ <= 0) {
        timer_ += period();
        if (--bitsRemaining_ == 0) {
            // The output unit starts a new byte: the buffer moves into its shift register, and the
            // reader refills it while bytes remain.
            bitsRemaining_ = 8;
            if (bufferFull_) {
                bufferFull_ = false;
                if (bytesRemaining_ > 0) stall += fetch();
            }
        }
    }
    return stall;
}

Cpu6502::Cpu6502(const std::vector<uint8_t>& nsf) {
    if (nsf.size() < 128) throw std::runtime_error("NSF too short");
    uint16_t load = uint16_t(nsf[8] | nsf[9] << 8);
    data_.assign(load & 0xFFF, 0);
    data_.insert(data_.end(), nsf.begin() + 128, nsf.end());
    for (int w = 0; w < 8; ++w) banks[w] = nsf[size_t(112 + w)];
}

Cpu6502 Cpu6502::nrom(const std::vector<uint8_t>& prg) {
    if (prg.size() != 0x4000 && prg.size() != 0x8000)
        throw std::runtime_error("NROM program ROM must be 16 or 32 KB");
    Cpu6502 cpu;
    cpu.nrom_ = true;
    cpu.data_ = prg;
    return cpu;
}

uint8_t Cpu6502::read(uint16_t address) {
    if (address < 0x2000) return ram_[address & 0x7FF];
    if (address >= 0x6000 && address < 0x8000) return wram_[address - 0x6000];
    if (address >= 0x8000) {
        if (nrom_) return data_[(address - 0x8000) % data_.size()];
        size_t at = size_t(banks[(address - 0x8000) >> 12]) * 4096 + (address & 0xFFF);
        return at < data_.size() ? data_[at] : 0;
    }
    if (nrom_ && address < 0x4000 && (address & 7) == 2) {
        // Reading the status ends the vertical-blank flag.
        const uint8_t status = ppuStatus_;
        ppuStatus_ &= 0x7F;
        return status;
    }
    if (address == 0x4015) return dmc.active() ? 0x10 : 0x00;
    return 0;
}

void Cpu6502::report(uint16_t address, uint8_t value) {
    const ApuWrite w{cycles + writeCycleOffset_, address, value, instructionPc_};
    if (onWrite)
        onWrite(w);
    else
        writes.push_back(w);
}

void Cpu6502::write(uint16_t address, uint8_t value) {
    if (address < 0x2000) {
        ram_[address & 0x7FF] = value;
    } else if (address >= 0x6000 && address < 0x8000) {
        wram_[address - 0x6000] = value;
    } else if (nrom_ && address < 0x4000) {
        if ((address & 7) == 0) ppuCtrl_ = value;
    } else if (address >= 0x5FF8 && address <= 0x5FFF && !nrom_) {
        // Reported first, so that whoever reads sample memory through us catches up on the old bank.
        report(address, value);
        banks[address - 0x5FF8] = value;
    } else if (address >= 0x4000 && address <= 0x4018) {
        report(address, value);
        if (modelDmcDma) pendingStall_ += dmc.write(address, value);
    }
}

void Cpu6502::addCycles(uint64_t n) {
    cycles += n;
    if (!modelDmcDma) return;
    // The DMC runs on while the CPU is halted, so a halt can run into the next fetch.
    uint64_t run = n;
    while (run > 0 || pendingStall_ > 0) {
        const int stall = dmc.advance(run) + pendingStall_;
        pendingStall_ = 0;
        cycles += uint64_t(stall);
        stallCycles += uint64_t(stall);
        run = uint64_t(stall);
    }
}

void Cpu6502::idle(uint64_t n) { addCycles(n); }

void Cpu6502::endVblank() { ppuStatus_ &= 0x7F; }

bool Cpu6502::startVblank() {
    ppuStatus_ |= 0x80;
    return (ppuCtrl_ & 0x80) != 0;
}

void Cpu6502::interrupt(uint16_t vector, uint16_t returnAddress, bool brk) {
    push(uint8_t(returnAddress >> 8));
    push(uint8_t(returnAddress));
    push(brk ? (p | 0x30) : uint8_t((p | 0x20) & ~0x10));
    p |= 4;
    pc = uint16_t(read(vector) | read(uint16_t(vector + 1)) << 8);
}

void Cpu6502::reset() {
    sp = 0xFD;
    p = 0x24;
    pc = uint16_t(read(0xFFFC) | read(0xFFFD) << 8);
    addCycles(7);
}

void Cpu6502::nmi() {
    interrupt(0xFFFA, pc, false);
    addCycles(7);
}

void Cpu6502::step() {
    uint8_t opcode = read(pc);
    const Entry& e = table[opcode];
    if (e.op == BAD) throw std::runtime_error("unofficial opcode " + hex(opcode, 2) + " at " + hex(pc, 4));
    instructionPc_ = pc++;
    int extra = 0;
    uint16_t addr = 0;
    auto fetch = [&]() { return read(pc++); };
    auto fetch16 = [&]() {
        uint16_t lo = fetch();
        return uint16_t(lo | fetch() << 8);
    };
    const auto indexed = [&](uint16_t base, uint8_t index) {
        const uint16_t eff = uint16_t(base + index);
        if (e.pagePenalty && (base & 0xFF00) != (eff & 0xFF00)) extra = 1;
        return eff;
    };
    const auto zpPointer = [&](uint8_t zp) { return uint16_t(read(zp) | read(uint8_t(zp + 1)) << 8); };
    // clang-format off
    switch (e.mode) {
        case IMP: case ACC: break;
        case IMM: addr = pc++; break;
        case ZP: case REL: addr = fetch(); break;
        case ZPX: addr = uint8_t(fetch() + x); break;
        case ZPY: addr = uint8_t(fetch() + y); break;
        case ABS: addr = fetch16(); break;
        case ABX: addr = indexed(fetch16(), x); break;
        case ABY: addr = indexed(fetch16(), y); break;
        case IZX: addr = zpPointer(uint8_t(fetch() + x)); break;
        case IZY: addr = indexed(zpPointer(fetch()), y); break;
        case IND: {
            // The 6502 does not carry into the high byte of the pointer.
            const uint16_t ptr = fetch16();
            addr = uint16_t(read(ptr) | read(uint16_t((ptr & 0xFF00) | ((ptr + 1) & 0xFF))) << 8);
            break;
        }
    }
    // clang-format on
    // Stores happen on the instruction's last cycle.
    writeCycleOffset_ = uint64_t(e.cycles + extra - 1);
    auto operand = [&]() { return e.mode == ACC ? a : read(addr); };
    auto storeResult = [&](uint8_t v) { e.mode == ACC ? void(a = v) : write(addr, v); };
    auto branch = [&](bool take) {
        if (!take) return;
        uint16_t target = uint16_t(pc + int8_t(uint8_t(addr)));
        extra += (target & 0xFF00) != (pc & 0xFF00) ? 2 : 1;
        pc = target;
    };
    auto compare = [&](uint8_t reg) {
        uint8_t m = read(addr);
        p = uint8_t((p & ~1) | (reg >= m ? 1 : 0));
        setNZ(uint8_t(reg - m));
    };
    auto adc = [&](uint8_t m) {
        int sum = a + m + (p & 1);
        p = uint8_t((p & ~0x41) | (sum > 0xFF ? 1 : 0) | ((~(a ^ m) & (a ^ sum) & 0x80) ? 0x40 : 0));
        a = uint8_t(sum);
        setNZ(a);
    };
    // ASL, LSR, ROL, ROR: the bit shifted out goes to carry; rotates shift the old carry in.
    const auto shift = [&](bool left, bool rotate) {
        uint8_t v = operand();
        const uint8_t carryIn = rotate ? (p & 1) : 0;
        p = uint8_t((p & ~1) | (left ? v >> 7 : v & 1));
        v = left ? uint8_t(v << 1 | carryIn) : uint8_t(v >> 1 | carryIn << 7);
        setNZ(v);
        storeResult(v);
    };
    const auto modify = [&](int delta) {
        const uint8_t v = uint8_t(read(addr) + delta);
        setNZ(v);
        write(addr, v);
    };
    const auto pullStatus = [&]() { p = uint8_t((pull() & ~0x10) | 0x20); };
    const auto pull16 = [&]() {
        const uint16_t lo = pull();
        return uint16_t(lo | pull() << 8);
    };
    const auto push16 = [&](uint16_t v) {
        push(uint8_t(v >> 8));
        push(uint8_t(v));
    };
    // clang-format off
    switch (e.op) {
        case ADC: adc(read(addr)); break;
        case SBC: adc(uint8_t(~read(addr))); break;
        case AND: setNZ(a &= read(addr)); break;
        case ORA: setNZ(a |= read(addr)); break;
        case EOR: setNZ(a ^= read(addr)); break;
        case LDA: setNZ(a = read(addr)); break;
        case LDX: setNZ(x = read(addr)); break;
        case LDY: setNZ(y = read(addr)); break;
        case STA: write(addr, a); break;
        case STX: write(addr, x); break;
        case STY: write(addr, y); break;
        case CMP: compare(a); break;
        case CPX: compare(x); break;
        case CPY: compare(y); break;
        case BIT: {
            const uint8_t m = read(addr);
            p = uint8_t((p & ~0xC2) | (m & 0xC0) | ((a & m) == 0 ? 2 : 0));
            break;
        }
        case ASL: shift(true, false); break;
        case LSR: shift(false, false); break;
        case ROL: shift(true, true); break;
        case ROR: shift(false, true); break;
        case INC: modify(1); break;
        case DEC: modify(-1); break;
        case INX: setNZ(++x); break;
        case INY: setNZ(++y); break;
        case DEX: setNZ(--x); break;
        case DEY: setNZ(--y); break;
        case TAX: setNZ(x = a); break;
        case TAY: setNZ(y = a); break;
        case TXA: setNZ(a = x); break;
        case TYA: setNZ(a = y); break;
        case TSX: setNZ(x = sp); break;
        case TXS: sp = x; break;
        case CLC: p &= ~1; break;
        case SEC: p |= 1; break;
        case CLI: p &= ~4; break;
        case SEI: p |= 4; break;
        case CLV: p &= ~0x40; break;
        case CLD: p &= ~8; break;
        case SED: p |= 8; break;
        case NOP: case BAD: break;
        case PHA: push(a); break;
        case PHP: push(p | 0x30); break;
        case PLA: setNZ(a = pull()); break;
        case PLP: pullStatus(); break;
        case BPL: branch(!(p & 0x80)); break;
        case BMI: branch(p & 0x80); break;
        case BVC: branch(!(p & 0x40)); break;
        case BVS: branch(p & 0x40); break;
        case BCC: branch(!(p & 1)); break;
        case BCS: branch(p & 1); break;
        case BNE: branch(!(p & 2)); break;
        case BEQ: branch(p & 2); break;
        case JMP: pc = addr; break;
        case JSR: push16(uint16_t(pc - 1)); pc = addr; break;
        case RTS: pc = uint16_t(pull16() + 1); break;
        case RTI: pullStatus(); pc = pull16(); break;
        case BRK: interrupt(0xFFFE, uint16_t(pc + 1), true); break;
    }
    // clang-format on
    addCycles(e.cycles + uint64_t(extra));
}

bool Cpu6502::call(uint16_t address, uint8_t aIn, uint8_t xIn, uint64_t maxCycles) {
    a = aIn;
    x = xIn;
    y = 0;
    startCall(address);
    uint64_t end = cycles + maxCycles;
    while (cycles < end) {
        step();
        if (returned()) return true;
    }
    return false;
}

void Cpu6502::startCall(uint16_t address) {
    // The routine returns to $FFF0 with the stack where it was before the call.
    sp = 0xFD;
    push(uint8_t((kReturnAddress - 1) >> 8));
    push(uint8_t(kReturnAddress - 1));
    pc = address;
}

void Cpu6502::poke(uint16_t address, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) write(address++, b);
}

void Cpu6502::run(uint64_t n) {
    uint64_t end = cycles + n;
    while (cycles < end) step();
}
