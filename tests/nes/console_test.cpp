// The 6502 core and the console runner: DMC DMA halts, NSF files that misbehave, and an NROM
// cartridge driven by its NMI.

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

#include "apu/Apu.h"
#include "nes/ConsolePlayer.h"
#include "tests/converter/TestFiles.h"

namespace {

// An NSF whose code (at $8000) holds init at $8000 and play at `play`.
std::vector<uint8_t> nsfFile(const std::vector<uint8_t>& code, uint16_t play = 0x8000, bool pal = false) {
    std::vector<uint8_t> f = {
        'N', 'E', 'S', 'M', 0x1A, 1, 1, 1, 0, 0x80, 0, 0x80, uint8_t(play), uint8_t(play >> 8)};
    f.resize(128);
    f[110] = 0x1B, f[111] = 0x41, f[120] = 0x20, f[121] = 0x4E;
    f[122] = pal;
    f.insert(f.end(), code.begin(), code.end());
    return f;
}

// A 16 KB NROM cartridge from code at $C000 with the NMI and reset vectors given.
std::vector<uint8_t> nesFile(const std::vector<uint8_t>& code, uint16_t nmi, uint16_t reset, int mapper = 0) {
    std::vector<uint8_t> f = {'N', 'E', 'S', 0x1A, 1, 0, uint8_t(mapper << 4), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    f.insert(f.end(), code.begin(), code.end());
    f.resize(16 + 0x4000);
    f[16 + 0x3FFA] = uint8_t(nmi), f[16 + 0x3FFB] = uint8_t(nmi >> 8);
    f[16 + 0x3FFC] = uint8_t(reset), f[16 + 0x3FFD] = uint8_t(reset >> 8);
    return f;
}

}  // namespace

// A sample of 17 bytes costs 17 fetches of 4 cycles each; a looping one refetches once per 8 output
// bits, at the rate row of the console's TV system. (Without the DMA model nothing is stolen.)
TEST(Cpu6502, DmcFetchesHaltTheCpu) {
    // lda #$4F/$0F, sta $4010; lda #1, sta $4013; lda #$10, sta $4015; then a loop that counts.
    for (const auto& [pal, loop] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        Cpu6502 cpu;
        cpu.dmc.setPal(pal);
        cpu.poke(0x0400, {0xA9, uint8_t(loop ? 0x4F : 0x0F), 0x8D, 0x10, 0x40, 0xA9, 0x01, 0x8D, 0x13, 0x40,
                          0xA9, 0x10, 0x8D, 0x15, 0x40, 0x4C, 0x0F, 0x04});
        cpu.pc = 0x0400;
        cpu.run(200'000);
        if (loop) {
            EXPECT_NEAR(double(cpu.dmc.fetches()), double(cpu.cycles) / (8.0 * (pal ? 50 : 54)), 2.0) << pal;
            EXPECT_TRUE(cpu.dmc.active());
        } else {
            EXPECT_EQ(cpu.dmc.fetches(), 17u) << pal;
            EXPECT_FALSE(cpu.dmc.active());
        }
        EXPECT_EQ(cpu.stallCycles, cpu.dmc.fetches() * DmcDma::kStallCycles);
    }
}

// Whatever the code does, a render ends with the length asked for, or with an error naming the
// fault; nothing hangs.
TEST(ConsolePlayer, MisbehavingFilesEndWithinTheirBudget) {
    const std::vector<std::vector<uint8_t>> playing = {
        {0x60, 0x4C, 0x01, 0x80},  // play loops forever
        {0x60, 0x4C, 0x20, 0x40},  // play jumps into I/O (reads as BRK, then RAM)
        {0x60, 0xA9, 0xAB, 0x91, 0x00, 0xC8, 0xD0, 0xFB, 0xE6, 0x01, 0x4C, 0x03, 0x80},  // writes everywhere
        {0x60, 0x8D, 0x15, 0x40, 0x60},                                                  // returns at once
    };
    for (const std::vector<uint8_t>& code : playing)
        for (bool pal : {false, true})
            EXPECT_EQ(renderConsoleFile(nsfFile(code, 0x8001, pal), ConsoleFileKind::Nsf, 0.5).size(),
                      22050u);
    std::vector<uint8_t> fast = nsfFile({0x60}), low = nsfFile({0x60}), cut = nesFile({}, 0xC000, 0xC000);
    fast[110] = 50, fast[111] = 0;
    low[9] = 0x60;
    cut.resize(5000);
    const std::tuple<std::vector<uint8_t>, ConsoleFileKind, std::string> bad[] = {
        {nsfFile({0x4C, 0x00, 0x80}), ConsoleFileKind::Nsf, "init routine did not return"},
        {nsfFile({0x60, 0xEA, 0x02}, 0x8001), ConsoleFileKind::Nsf, "unofficial opcode $02 at $8002"},
        {{'N', 'E', 'S', 'M', 0x1A}, ConsoleFileKind::Nsf, "not an NSF file"},
        {fast, ConsoleFileKind::Nsf, "NSF play speed below 100 µs"},
        {low, ConsoleFileKind::Nsf, "$8000 or above"},
        {nesFile({}, 0xC000, 0xC000, 1), ConsoleFileKind::Nes, "mapper 1 is not supported (NROM only)"},
        {cut, ConsoleFileKind::Nes, "iNES file shorter than its program ROM"},
        {{1, 2, 3}, ConsoleFileKind::Nes, "not an iNES file"},
    };
    for (const auto& [file, kind, message] : bad) {
        const std::string error = errorOf([&] { renderConsoleFile(file, kind, 0.5); });
        EXPECT_NE(error.find(message), std::string::npos) << message;
    }
}

// A cartridge's NMI handler writes a counter to $4000 once per frame, from the first vertical blank
// after its reset enabled the NMI. An NSF that sets no banks is mapped from its load address: past
// its data the windows read as zeros, not the first bank again (its play reads $9000 into $4000).
TEST(ConsolePlayer, CartridgeMusicRunsFromItsNmiAndUnbankedFilesReadZerosPastTheirData) {
    const std::vector<uint8_t> code = {
        0xA9, 0x80, 0x8D, 0x00, 0x20, 0x4C, 0x05, 0xC0,  // $C000 reset: lda #$80, sta $2000, jmp *
        0xE6, 0x10, 0xA5, 0x10, 0x8D, 0x00, 0x40, 0x40,  // $C008 nmi: inc $10, lda $10, sta $4000, rti
    };
    EXPECT_EQ(traceConsoleFile(nesFile(code, 0xC008, 0xC000), ConsoleFileKind::Nes, 4),
              (std::vector<std::string>{"0:", "1: 4000=01", "2: 4000=02", "3: 4000=03"}));
    const std::vector<uint8_t> nsf = nsfFile({0x60, 0xAD, 0x00, 0x90, 0x8D, 0x00, 0x40, 0x60}, 0x8001, true);
    EXPECT_EQ(traceConsoleFile(nsf, ConsoleFileKind::Nsf, 1), std::vector<std::string>{"0: 4000=00"});
    EXPECT_EQ(consoleFileKind("dir/Song.NSF"), ConsoleFileKind::Nsf);
    EXPECT_EQ(consoleFileKind("game.nes"), ConsoleFileKind::Nes);
    EXPECT_EQ(consoleFileKind("song.zcm"), std::nullopt);
}

// Each official opcode's cycles from the data sheet, without page crossings ("." is an unofficial
// opcode, refused); a branch run with every flag clear, then set, costs 2 + 3 (taken once).
TEST(Cpu6502, EveryOfficialOpcodeTakesItsCyclesAndProgramsComputeRight) {
    const char* sheet[16] = {"76...35.322..46.", "25...46.24...47.", "66..335.422.446.", "25...46.24...47.",
                             "66...35.322.346.", "25...46.24...47.", "66...35.422.546.", "25...46.24...47.",
                             ".6..333.2.2.444.", "26..444.252..5..", "262.333.222.444.", "25..444.242.444.",
                             "26..335.222.446.", "25...46.24...47.", "26..335.222.446.", "25...46.24...47."};
    auto cost = [](std::vector<uint8_t> code, uint8_t flags, uint8_t x = 0) {
        Cpu6502 cpu;
        cpu.poke(0x0400, code);
        cpu.pc = 0x0400, cpu.p = flags, cpu.x = cpu.y = x;
        cpu.step();
        return int(cpu.cycles);
    };
    for (int code = 0; code < 256; ++code) {
        const char want = sheet[code >> 4][code & 15];
        SCOPED_TRACE(code);
        if (want == '.') {
            EXPECT_THROW(cost({uint8_t(code)}, 0), std::runtime_error);
        } else if ((code & 0x1F) == 0x10) {
            EXPECT_EQ(cost({uint8_t(code), 0}, 0) + cost({uint8_t(code), 0}, 0xFF), 5);
        } else {
            EXPECT_EQ(cost({uint8_t(code), 0x10, 0x02}, 0x24), want - '0');
        }
    }
    // Crossing a page: one more for indexed loads, none for stores, two more for a taken branch.
    EXPECT_EQ(cost({0xBD, 0xFF, 0x02}, 0x24, 1), 5);
    EXPECT_EQ(cost({0x9D, 0xFF, 0x02}, 0x24, 1), 5);
    EXPECT_EQ(cost({0xD0, 0x80}, 0x24), 4);
    Cpu6502 cpu;
    cpu.nmi();
    EXPECT_EQ(cpu.cycles, 7u);
    // ldx #$FF; lda $02F0,x (page crossed: 5); adc #1; bcs +0 (taken: 3); sta $4000; rts
    Cpu6502 a;
    a.poke(0x0400, {0xA2, 0xFF, 0xBD, 0xF0, 0x02, 0x69, 0x01, 0xB0, 0x00, 0x8D, 0x00, 0x40, 0x60});
    a.poke(0x03EF, {0xFF});
    ASSERT_TRUE(a.call(0x0400, 0, 0, 100));
    ASSERT_EQ(a.writes.size(), 1u);
    EXPECT_EQ(a.writes[0].value, 0x00);
    EXPECT_EQ(a.writes[0].cycle, 2u + 5 + 2 + 3 + 3);  // the store's last cycle
    EXPECT_EQ(a.p & 0x03, 0x03);                       // carry and zero
    EXPECT_EQ(a.cycles, 2u + 5 + 2 + 3 + 4 + 6);
    // sbc with borrow, ror through carry, indirect jmp quirk at a page end
    Cpu6502 b;
    b.poke(0x0400, {0x38, 0xA9, 0x10, 0xE9, 0x20, 0x6A, 0x8D, 0x01, 0x40, 0x6C, 0xFF, 0x02});
    b.poke(0x02FF, {0x20});
    b.poke(0x0200, {0x05});
    b.poke(0x0520, {0x60});
    ASSERT_TRUE(b.call(0x0400, 0, 0, 100));
    ASSERT_EQ(b.writes.size(), 1u);
    EXPECT_EQ(b.writes[0].value, 0x78);  // $10 - $20 = $F0, borrow -> C=0, ror -> $78
}
