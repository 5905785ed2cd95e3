// The game driver (driver/game_driver.s) assembled with the converter's output into an NROM
// cartridge and run on the 6502 core: frame by frame, the sounding state it writes equals the
// Player's snapshot of the same song.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "TestFiles.h"
#include "apu/Apu.h"
#include "export/ConverterEntry.h"
#include "nes/ConsolePlayer.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"

namespace {

void setEnvelope(Instrument& inst, EnvelopeKind kind, std::vector<int> values, int loop) {
    Envelope& e = inst.envelopes[kind];
    for (size_t i = 0; i < values.size(); ++i) e.values[i] = values[i];
    e.values[values.size()] = END_MARKER;
    e.loopPoint = loop;
}

void note(Song& s, int pattern, int channel, int row, int n, int instrument) {
    s.patterns[pattern].at(channel, row).note = uint8_t(n);
    s.patterns[pattern].at(channel, row).instrument = uint8_t(instrument);
}

// Plain notes on the pulses, the triangle and the noise with looping and held envelopes, duty
// envelopes, instrument changes and note offs, over two orders that loop.
void plainSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240, 208, 176, 144, 112}, 4);
    setEnvelope(s.instruments[1], ENV_DUTY, {0, 64, 128, 192}, 1);
    setEnvelope(s.instruments[2], ENV_VOLUME, {160, 240, 96}, 0);
    setEnvelope(s.instruments[2], ENV_NOTE, {64, 76, 71}, 0);
    setEnvelope(s.instruments[3], ENV_VOLUME, {240, 128, 0}, 2);
    setEnvelope(s.instruments[3], ENV_DUTY, {64}, 0);
    for (int r = 0; r < 64; r += 4) {
        note(s, 0, CH_PULSE1, r, 30 + r / 2, r % 8 ? 1 : 2);
        note(s, 1, CH_PULSE2, r, 60 - r / 4, 1);
        note(s, r % 16 ? 1 : 0, CH_TRIANGLE, r, 20 + r / 4, 1);
        note(s, 0, CH_NOISE, r + 2, 1 + r / 4, 3);
    }
    note(s, 0, CH_PULSE1, 62, NOTE_OFF, 0);
    note(s, 1, CH_PULSE2, 30, NOTE_OFF, 0);
    s.orders.count = 2;
    s.orders.entries[1] = 1;
}

void effect(Song& s, int pattern, int channel, int row, int command, int parameter) {
    s.patterns[pattern].at(channel, row).setEffect(command, parameter);
}

// The sounding state of one frame: per channel the volume nibble with the duty (pulses; the duty
// only while the volume is not 0), the period (-1 while silent), the triangle control, the noise
// period and mode; a DPCM sample started in the frame: its rate and loop byte, its length byte
// with a checksum of the bytes it plays (-1 when none started).
using State = std::array<int, 10>;

State fromSnapshot(const FrameSnapshot& f) {
    const auto period = [](int hi, int lo) { return hi < 0 ? -1 : hi << 8 | lo; };
    const bool triangleOn = f.triangleControl == 0x81;
    const auto dutyVolume = [](int v) { return v & 15 ? v : 0; };
    return {dutyVolume(f.pulse1DutyVolume),
            period(f.pulse1PeriodHigh, f.pulse1PeriodLow),
            dutyVolume(f.pulse2DutyVolume),
            period(f.pulse2PeriodHigh, f.pulse2PeriodLow),
            f.triangleControl,
            triangleOn ? period(f.trianglePeriodHigh, f.trianglePeriodLow) : -1,
            f.noiseVolume,
            f.noiseVolume ? f.noisePeriod : -1,
            -1,
            -1};
}

// Sum of the bytes a DMC length byte plays: 16 per unit and one more.
int checksum(const uint8_t* bytes, int length) {
    int sum = 0;
    for (int i = 0; i < length * 16 + 1; ++i) sum += bytes[i];
    return length << 20 | sum;
}

State fromRegisters(const std::array<int, 20>& r) {
    const int v1 = r[0] & 15, v2 = r[4] & 15, n = r[12] & 15;
    return {v1 ? (r[0] >> 2 & 0x30) | v1 : 0,
            v1 ? (r[3] & 7) << 8 | r[2] : -1,
            v2 ? (r[4] >> 2 & 0x30) | v2 : 0,
            v2 ? (r[7] & 7) << 8 | r[6] : -1,
            r[8],
            r[8] == 0x81 ? (r[11] & 7) << 8 | r[10] : -1,
            n,
            n ? (r[14] >> 3 & 0x10) | (r[14] & 15) : -1,
            -1,
            -1};
}

// The song converted, the driver and a shell assembled into an NROM cartridge: reset starts song
// 0 and enables the NMI, whose handler is `nmi` (ending in rti). Empty when a step failed.
// With an effect song, it is converted as the first sound effect.
std::vector<uint8_t> buildCartridge(const ScratchDir& w, const Song& song, const std::string& nmi,
                                    const Song* effectSong = nullptr) {
    EXPECT_TRUE(saveSong(song, w.path("plain.zcm")));
    std::vector<std::string> args = {"bleepforge", "-s", w.path("plain.zcm"), "-o", w.path("music.s")};
    if (effectSong) {
        EXPECT_TRUE(saveSong(*effectSong, w.path("fx.zcm")));
        args.insert(args.end(), {"-e", w.path("fx.zcm")});
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    const std::optional<int> converted = runConverterFromCommandLine(int(argv.size()), argv.data());
    testing::internal::GetCapturedStdout();
    if (converted != 0) return {};
    std::ofstream(w.path("rom.s")) << "TV = " << (song.ntsc ? 0 : 1)
                                   << "\nBLEEP_ZP = $10\nBLEEP_RAM = $0300\n.segment \"CODE\"\n"
                                      ".include \"music.s\"\n.include \"music-plain.s\"\n"
                                   << (effectSong ? ".include \"music-fx.s\"\n" : "")
                                   << ".include \"game_driver.s\"\n"
                                      "reset: sei\n ldx #$FF\n txs\n lda #TV\n ldx #<music\n ldy #>music\n"
                                      " jsr bleep_init\n lda #0\n jsr bleep_play\n lda #$80\n sta $2000\n"
                                      "idle: jmp idle\nnmi:\n"
                                   << nmi
                                   << "\n.segment \"DPCM\"\n.include \"music-dpcm.s\"\n"
                                      ".segment \"VECTORS\"\n.word nmi, reset, reset\n";
    std::ofstream(w.path("rom.cfg"))
        << "MEMORY { PRG: start = $8000, size = $8000, fill = yes; }\n"
           "SEGMENTS { CODE: load = PRG, start = $8000; DPCM: load = PRG, start = $C000;\n"
           "  VECTORS: load = PRG, start = $FFFA; }\n";
    const std::string cd = "cd '" + w.dir.string() + "' && ";
    if (std::system(
            (cd + "ca65 -I " BF_SOURCE_DIR "/driver -o rom.o rom.s && ld65 -C rom.cfg -o rom.bin rom.o")
                .c_str()) != 0)
        return {};
    const std::string prg = w.read("rom.bin");
    EXPECT_EQ(prg.size(), 0x8000u);
    std::vector<uint8_t> rom = {'N', 'E', 'S', 0x1A, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    rom.insert(rom.end(), prg.begin(), prg.end());
    return rom;
}

// Per frame of the cartridge from its first NMI on, the sounding state its writes leave.
std::vector<State> cartridgeStates(const std::vector<uint8_t>& rom, int frames) {
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    ConsolePlayer cart(rom, ConsoleFileKind::Nes, *apu);
    std::array<int, 20> registers = {};
    std::vector<ApuWrite> writes;
    cart.runFrame(nullptr, &writes);  // the NMI is enabled during this frame
    std::vector<State> states;
    for (int f = 0; f < frames; ++f) {
        writes.clear();
        cart.runFrame(nullptr, &writes);
        bool started = false;
        for (const ApuWrite& wr : writes) {
            if (wr.address < 0x4014) registers[wr.address - 0x4000] = wr.value;
            if (wr.address == 0x4015 && (wr.value & 0x10)) started = true;
        }
        states.push_back(fromRegisters(registers));
        if (started) {
            states.back()[8] = registers[0x10];
            const size_t at = 16 + 0xC000 - 0x8000 + size_t(registers[0x12]) * 64;
            states.back()[9] = at + size_t(registers[0x13]) * 16 + 1 <= rom.size()
                                   ? checksum(rom.data() + at, registers[0x13])
                                   : -2;
        }
    }
    return states;
}

std::vector<State> playerStates(Song& song, int frames) {
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    auto player = std::make_unique<Player>(song, *apu);
    OfflinePlayback playback(*player, *apu);
    playback.startSong();
    std::vector<State> states;
    for (int f = 0; f < frames; ++f) {
        playback.runFrame();
        states.push_back(fromSnapshot(player->snapshot));
        if (player->snapshot.sampleStarted && player->snapshot.dpcmKind == 1) {
            const DpcmSample& sample = song.instruments[player->snapshot.dpcmValue].dpcm;
            const int length = std::min(int(sample.size >> 4), 255);
            states.back()[8] = (sample.loop ? 0x40 : 0) | player->snapshot.dpcmRate;
            states.back()[9] = checksum(sample.data.get(), length);
        }
        player->snapshot.sampleStarted = 0;
    }
    return states;
}

// Counts the frames whose states differ, reporting the first few.
int differences(const std::vector<State>& ours, const std::vector<State>& theirs, size_t offset,
                const char* what) {
    int differing = 0;
    for (size_t f = 0; f < ours.size() && f + offset < theirs.size(); ++f) {
        if (ours[f] == theirs[f + offset] || differing++ >= 5) continue;
        for (size_t i = 0; i < ours[f].size(); ++i)
            if (ours[f][i] != theirs[f + offset][i])
                ADD_FAILURE() << what << " frame " << f << " value " << i << ": " << ours[f][i] << " vs "
                              << theirs[f + offset][i];
    }
    return differing;
}

}  // namespace

// Two passes through the song's loop.
TEST(GameDriver, PlainSongPlaysAsThePlayerDoes) {
    for (bool ntsc : {false, true}) {
        ScratchDir w(ntsc ? "game-driver-ntsc" : "game-driver-pal");
        auto song = std::make_unique<Song>();
        plainSong(*song);
        song->ntsc = ntsc;
        const std::vector<uint8_t> rom = buildCartridge(w, *song, " jsr bleep_update\n rti");
        ASSERT_FALSE(rom.empty());
        const int frames = 2 * 2 * 64 * 6;
        EXPECT_EQ(
            differences(cartridgeStates(rom, frames), playerStates(*song, frames), 0, ntsc ? "NTSC" : "PAL"),
            0);
    }
}

// Paused for frames 40-69 the channels are silent and the song holds; after it, it goes on where
// it was. Stopped at frame 150, it stays silent.
TEST(GameDriver, PauseHoldsTheSongAndStopSilencesIt) {
    ScratchDir w("game-driver-pause");
    auto song = std::make_unique<Song>();
    plainSong(*song);
    const std::vector<uint8_t> rom = buildCartridge(w, *song,
                                                    " inc $20\n bne :+\n inc $21\n"
                                                    ":lda $20\n cmp #41\n bne :+\n lda #1\n jsr bleep_pause\n"
                                                    ":lda $20\n cmp #71\n bne :+\n lda #0\n jsr bleep_pause\n"
                                                    ":lda $20\n cmp #151\n bne :+\n jsr bleep_stop\n"
                                                    ": jsr bleep_update\n rti");
    ASSERT_FALSE(rom.empty());
    const std::vector<State> ours = cartridgeStates(rom, 200), theirs = playerStates(*song, 200);
    const State silent = {0, -1, 0, -1, 0x80, -1, 0, -1, -1, -1};
    EXPECT_EQ(differences({ours.begin(), ours.begin() + 39}, theirs, 0, "before the pause"), 0);
    for (int f = 40; f < 70; ++f) EXPECT_EQ(ours[size_t(f)], silent) << f;
    EXPECT_EQ(differences({ours.begin() + 70, ours.begin() + 149}, theirs, 40, "after the pause"), 0);
    for (int f = 150; f < 200; ++f) EXPECT_EQ(ours[size_t(f)], silent) << f;
}

// The song plays as the Player plays it (or as it plays the song `heard` builds, where the data
// cannot hold the song exactly), PAL and NTSC, for `frames` frames.
void expectSamePlay(void (*build)(Song&), const char* name, int frames, void (*heard)(Song&) = nullptr) {
    for (bool ntsc : {false, true}) {
        ScratchDir w(std::string("game-driver-") + name + (ntsc ? "-ntsc" : "-pal"));
        auto song = std::make_unique<Song>(), played = std::make_unique<Song>();
        build(*song);
        (heard ? heard : build)(*played);
        song->ntsc = played->ntsc = ntsc;
        const std::vector<uint8_t> rom = buildCartridge(w, *song, " jsr bleep_update\n rti");
        ASSERT_FALSE(rom.empty()) << name;
        EXPECT_EQ(differences(cartridgeStates(rom, frames), playerStates(*played, frames), 0,
                              (std::string(name) + (ntsc ? " NTSC" : " PAL")).c_str()),
                  0);
    }
}

// A Fine-tune envelope sweeping a fraction of a semitone each way, Note envelopes with absolute
// notes ($80 plays the entered note) and offsets, on the pulses, the triangle and the noise.
void fineTuneSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240, 176}, 1);
    setEnvelope(s.instruments[1], ENV_FINETUNE, {127, 160, 200, 254, 90, 0, 30}, 1);
    setEnvelope(s.instruments[2], ENV_VOLUME, {240}, 0);
    setEnvelope(s.instruments[2], ENV_NOTE, {0x80, 0x8C, 67, 61, 0x80}, 0);
    setEnvelope(s.instruments[2], ENV_FINETUNE, {254, 0}, 0);
    for (int r = 0; r < 64; r += 4) {
        note(s, 0, CH_PULSE1, r, 1 + r * 3 / 2, 1);
        note(s, 0, CH_PULSE2, r + 2, 96 - r, 2);
        note(s, 0, CH_TRIANGLE, r, 12 + r, r % 8 ? 1 : 2);
        note(s, 0, CH_NOISE, r, 1 + r / 2, 1);
    }
}

// Arpeggios with and without notes, changed and switched off, across a pattern end.
void arpeggioSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    for (int r = 0; r < 64; r += 8) {
        note(s, 0, CH_PULSE1, r, 30 + r / 4, 1);
        note(s, 0, CH_TRIANGLE, r, 40, 1);
        note(s, 0, CH_NOISE, r, 5, 1);
    }
    for (int r = 0; r < 64; ++r) {
        if (r % 16 < 12) effect(s, 0, CH_PULSE1, r, 0x0, r < 32 ? 0x47 : 0x3C);
        if (r % 8 != 7) effect(s, 0, CH_TRIANGLE, r, 0x0, 0x0C);
        if (r >= 40) effect(s, 0, CH_NOISE, r, 0x0, 0x37);
    }
    note(s, 1, CH_PULSE1, 0, 50, 1);
    note(s, 1, CH_TRIANGLE, 0, 45, 1);
    note(s, 1, CH_NOISE, 0, 9, 1);
    effect(s, 1, CH_PULSE1, 0, 0x0, 0x47);
    effect(s, 1, CH_PULSE1, 1, 0x0, 0x47);
    s.orders.count = 2;
    s.orders.entries[1] = 1;
}

// Slides up and down, slow and fast, across the period table's high bytes and past its ends,
// interrupted by notes and switched off; glissando rounding a slide to semitones.
void slideSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    note(s, 0, CH_PULSE1, 0, 20, 1);
    for (int r = 0; r < 24; ++r) effect(s, 0, CH_PULSE1, r, 0x1, r == 0 ? 0x30 : r == 12 ? 0x05 : 0);
    note(s, 0, CH_PULSE1, 8, 33, 0);
    for (int r = 28; r < 50; ++r) effect(s, 0, CH_PULSE1, r, 0x2, r == 28 ? 0x50 : 0);
    note(s, 0, CH_PULSE1, 56, 2, 1);
    for (int r = 56; r < 64; ++r) effect(s, 0, CH_PULSE1, r, 0x2, 0xFF);
    note(s, 0, CH_PULSE2, 0, 90, 1);
    for (int r = 0; r < 40; ++r) effect(s, 0, CH_PULSE2, r, 0x1, 0x40);
    note(s, 0, CH_TRIANGLE, 0, 30, 1);
    effect(s, 0, CH_TRIANGLE, 0, 0xE, 0x31);
    for (int r = 1; r < 30; ++r) effect(s, 0, CH_TRIANGLE, r, 0x2, 0x11);
    effect(s, 0, CH_TRIANGLE, 30, 0xE, 0x30);
    for (int r = 31; r < 60; ++r) effect(s, 0, CH_TRIANGLE, r, 0x1, 0x11);
    note(s, 0, CH_NOISE, 0, 10, 1);
    for (int r = 0; r < 32; ++r) effect(s, 0, CH_NOISE, r, 0x1, 0x20);
}

// Vibrato and tremolo of several speeds and depths (remembered by a 400), volume slides up and
// down, with notes starting under them.
void vibratoSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    note(s, 0, CH_PULSE1, 0, 40, 1);
    for (int r = 0; r < 40; ++r) effect(s, 0, CH_PULSE1, r, 0x4, r == 0 ? 0x4F : r == 20 ? 0xA3 : 0);
    note(s, 0, CH_PULSE1, 10, 45, 0);
    for (int r = 44; r < 60; ++r) effect(s, 0, CH_PULSE1, r, 0xA, r == 44 ? 0x02 : 0);
    note(s, 0, CH_PULSE1, 60, 47, 1);
    effect(s, 0, CH_PULSE1, 60, 0x4, 0x00);
    note(s, 0, CH_PULSE2, 0, 50, 1);
    for (int r = 0; r < 30; ++r) effect(s, 0, CH_PULSE2, r, 0x7, r == 0 ? 0x6F : 0);
    for (int r = 34; r < 48; ++r) effect(s, 0, CH_PULSE2, r, 0xA, r == 34 ? 0x03 : 0);
    for (int r = 48; r < 64; ++r) effect(s, 0, CH_PULSE2, r, 0xA, r == 48 ? 0x20 : 0);
    note(s, 0, CH_PULSE2, 52, 55, 0);
    effect(s, 0, CH_PULSE2, 52, 0xA, 0x10);
    note(s, 0, CH_TRIANGLE, 0, 36, 1);
    for (int r = 0; r < 64; ++r) effect(s, 0, CH_TRIANGLE, r, 0x4, r == 0 ? 0x28 : 0);
    note(s, 0, CH_NOISE, 0, 20, 1);
    for (int r = 0; r < 64; ++r) effect(s, 0, CH_NOISE, r, 0x7, r == 0 ? 0x3C : 0);
}

// Tone portamento up and down, each arriving (at 50 frames a second) within the last row of its
// effect.
void portamentoSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    note(s, 0, CH_PULSE1, 0, 30, 1);
    note(s, 0, CH_PULSE1, 8, 34, 0);
    for (int r = 8; r < 14; ++r) effect(s, 0, CH_PULSE1, r, 0x3, r == 8 ? 0x20 : 0);
    note(s, 0, CH_PULSE1, 24, 22, 0);
    for (int r = 24; r < 30; ++r) effect(s, 0, CH_PULSE1, r, 0x3, r == 24 ? 0x58 : 0);
    note(s, 0, CH_PULSE1, 30, 60, 1);
    note(s, 0, CH_TRIANGLE, 0, 40, 1);
    note(s, 0, CH_TRIANGLE, 16, 28, 0);
    for (int r = 16; r < 36; ++r) effect(s, 0, CH_TRIANGLE, r, 0x3, r == 16 ? 0x18 : 0);
}

void dpcm(Song& s, int slot, int size, bool loop) {
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) bytes[size_t(i)] = uint8_t(i * 37 + slot);
    s.instruments[slot].type = INST_DPCM;
    s.instruments[slot].dpcm.assign(bytes.data(), uint32_t(size), loop);
}

// Samples started at rates from the notes' low nibbles, looping and not, repeated with the same
// rate, under a note without instrument (which starts nothing), over two orders that loop.
void samplesSong(Song& s) {
    plainSong(s);
    dpcm(s, 4, 33, false);
    dpcm(s, 5, 1000 * 16 + 1, true);
    dpcm(s, 6, 17, false);
    const int notes[] = {37, 53, 15, 16, 1, 47, 47, 96};
    for (int r = 0; r < 64; r += 8) note(s, 0, CH_DPCM, r + 1, notes[r / 8], 4 + r / 8 % 3);
    note(s, 0, CH_DPCM, 30, 40, 0);
    note(s, 1, CH_DPCM, 0, 44, 5);
    note(s, 1, CH_DPCM, 5, 44, 5);
    note(s, 1, CH_DPCM, 63, 20, 4);
}

// Notes above 63, volume and duty commands, note cuts at once and after frames, an instrument
// alone retriggering its note, a row break, an order jump back to the second order (the loop
// index), a speed change and channels left without commands for whole patterns (waits of 256
// frames and more).
void structureSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240, 208, 176}, 2);
    setEnvelope(s.instruments[1], ENV_DUTY, {0, 128}, 0);
    setEnvelope(s.instruments[2], ENV_VOLUME, {240, 160}, 0);
    note(s, 0, CH_PULSE1, 0, 70, 1);
    note(s, 0, CH_PULSE1, 4, 96, 2);
    effect(s, 0, CH_PULSE1, 6, 0xC, 0x3A);
    effect(s, 0, CH_PULSE1, 8, 0xC, 0x05);
    effect(s, 0, CH_PULSE1, 10, 0xC, 0x0F);
    note(s, 0, CH_PULSE1, 12, 64, 1);
    effect(s, 0, CH_PULSE1, 12, 0xE, 0xC3);
    note(s, 0, CH_PULSE1, 14, 0, 1);
    note(s, 0, CH_PULSE1, 16, 63, 2);
    effect(s, 0, CH_PULSE1, 18, 0xE, 0xC0);
    note(s, 0, CH_TRIANGLE, 0, 80, 2);
    note(s, 0, CH_NOISE, 2, 40, 2);
    effect(s, 0, CH_NOISE, 20, 0xD, 0x10);
    effect(s, 0, CH_NOISE, 3, 0xC, 0x00);
    effect(s, 0, CH_NOISE, 5, 0xC, 0x0A);
    note(s, 1, CH_PULSE2, 12, 30, 1);
    note(s, 1, CH_PULSE2, 20, 75, 1);
    effect(s, 1, CH_PULSE2, 20, 0xF, 0x03);
    note(s, 2, CH_TRIANGLE, 60, 50, 1);
    effect(s, 2, CH_TRIANGLE, 63, 0xB, 0x01);
    // notes end before each pattern does: the data cuts a note held into the next pattern
    note(s, 0, CH_TRIANGLE, 19, NOTE_OFF, 0);
    note(s, 0, CH_NOISE, 19, NOTE_OFF, 0);
    note(s, 1, CH_PULSE2, 60, NOTE_OFF, 0);
    note(s, 2, CH_TRIANGLE, 63, NOTE_OFF, 0);
    s.orders.count = 3;
    s.orders.entries[1] = 1;
    s.orders.entries[2] = 2;
}

TEST(GameDriver, PitchEffectsPlayAsThePlayerDoes) {
    expectSamePlay(fineTuneSong, "fine-tune", 2 * 64 * 6);
    expectSamePlay(arpeggioSong, "arpeggio", 2 * 2 * 64 * 6);
    expectSamePlay(slideSong, "slide", 2 * 64 * 6);
    expectSamePlay(vibratoSong, "vibrato", 2 * 64 * 6);
}

TEST(GameDriver, SongStructurePlaysAsThePlayerDoes) {
    expectSamePlay(structureSong, "structure", 4000);
}

TEST(GameDriver, SamplesStartAsThePlayerStartsThem) {
    const int frames = 2 * 2 * 64 * 6;
    expectSamePlay(samplesSong, "samples", frames);
    auto song = std::make_unique<Song>();
    samplesSong(*song);
    const std::vector<State> theirs = playerStates(*song, frames);
    EXPECT_EQ(std::count_if(theirs.begin(), theirs.end(), [](const State& s) { return s[8] >= 0; }), 2 * 11);
}

// A portamento row after the arrival has no target left: the Player does not slide, nor must the
// song data.
void portamentoAfterArrivalSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    note(s, 0, CH_PULSE1, 0, 30, 1);
    note(s, 0, CH_PULSE1, 1, 31, 0);
    for (int r = 1; r < 8; ++r) effect(s, 0, CH_PULSE1, r, 0x3, r == 1 ? 0x80 : 0);
}

// The data names a tone portamento's slide as it does a plain slide, which moves on the row
// itself, so the driver's pitch runs up to one frame ahead of the Player's until the arrival,
// where both snap to the target. Every other value is the Player's. Returns the frames it leads.
int portamentoLead(void (*build)(Song&), const char* name, int frames) {
    ScratchDir w(std::string("game-driver-") + name);
    auto song = std::make_unique<Song>();
    build(*song);
    const std::vector<uint8_t> rom = buildCartridge(w, *song, " jsr bleep_update\n rti");
    EXPECT_FALSE(rom.empty());
    if (rom.empty()) return 0;
    const std::vector<State> ours = cartridgeStates(rom, frames), theirs = playerStates(*song, frames + 1);
    int leading = 0;
    for (size_t f = 0; f < ours.size(); ++f) {
        if (ours[f] == theirs[f]) continue;
        ++leading;
        for (size_t i = 0; i < ours[f].size(); ++i) {
            const int now = theirs[f][i], next = theirs[f + 1][i];
            if (i == 1 || i == 5)
                EXPECT_TRUE(std::min(now, next) <= ours[f][i] && ours[f][i] <= std::max(now, next))
                    << name << " frame " << f << " value " << i << ": " << ours[f][i] << " vs " << now << ", " << next;
            else
                EXPECT_EQ(ours[f][i], now) << name << " frame " << f << " value " << i;
        }
    }
    EXPECT_EQ(ours.back(), theirs[ours.size() - 1]) << name;
    return leading;
}

TEST(GameDriver, PortamentoLeadsByOneFrameAndArrivesWithThePlayer) {
    EXPECT_GT(portamentoLead(portamentoSong, "porta", 2 * 64 * 6), 100);  // all three slides lead
    // Rows of portamento after the arrival have no target left: nothing slides on.
    EXPECT_LE(portamentoLead(portamentoAfterArrivalSong, "porta-after-arrival", 64 * 6), 3);
}

// A short effect: a pulse note sliding down across a period high byte while its volume fades out,
// a second note, and a noise hit.
void effectSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240, 240, 224, 208, 192, 176, 160, 144, 128, 112, 96, 80, 64, 48, 32, 16, 0},
                16);
    setEnvelope(s.instruments[1], ENV_DUTY, {128, 64}, 0);
    setEnvelope(s.instruments[2], ENV_VOLUME, {240, 160, 80, 0}, 3);
    note(s, 0, CH_PULSE1, 0, 33, 1);
    effect(s, 0, CH_PULSE1, 0, 0x2, 0x60);
    effect(s, 0, CH_PULSE1, 1, 0x2, 0x00);
    note(s, 0, CH_PULSE1, 2, 45, 1);
    note(s, 0, CH_NOISE, 1, 12, 2);
}

// Effect 0 started at frame `start` on the pulse `pulse`: while it plays, the effect's pulse and
// noise are heard there and the song everywhere else; when it ends the song takes them back, in
// time, the frame after.
void expectEffectOverSong(int pulse, int start) {
    ScratchDir w(pulse ? "game-driver-sfx-2" : "game-driver-sfx-1");
    auto song = std::make_unique<Song>(), fx = std::make_unique<Song>();
    plainSong(*song);
    effectSong(*fx);
    const std::string trigger = std::to_string(start + 1);
    const std::vector<uint8_t> rom = buildCartridge(w, *song,
                                                    " inc $20\n lda $20\n cmp #" + trigger +
                                                        "\n bne :+\n lda #0\n ldx #" + std::to_string(pulse) +
                                                        "\n jsr bleep_sfx\n: jsr bleep_update\n rti",
                                                    fx.get());
    ASSERT_FALSE(rom.empty());
    const int frames = 200;
    const std::vector<State> ours = cartridgeStates(rom, frames), music = playerStates(*song, frames),
                             theirs = playerStates(*fx, frames);
    // the effect's last frame: the one before both its channels are silent
    int last = 1;
    while (theirs[size_t(last + 1)][0] % 16 != 0 || theirs[size_t(last + 1)][6] != 0) ++last;
    ASSERT_GT(last, 10);
    for (int f = 0; f < frames; ++f) {
        State expected = music[size_t(f)];
        if (f >= start && f <= start + last + 1) {
            const State& e = theirs[size_t(std::min(f - start, last))];
            expected[size_t(2 * pulse)] = e[0];
            expected[size_t(2 * pulse + 1)] = e[1];
            expected[6] = e[6];
            expected[7] = e[7];
        }
        EXPECT_EQ(ours[size_t(f)], expected) << "frame " << f;
        if (ours[size_t(f)] != expected) break;
    }
}

TEST(GameDriver, EffectTakesItsChannelsFromTheSongWhileItPlays) {
    expectEffectOverSong(0, 30);
    expectEffectOverSong(1, 91);
}

// An effect that asks to loop (EE0) and jumps back to its start: it plays on and on, over a
// song that stops under it.
TEST(GameDriver, LoopingEffectPlaysOn) {
    ScratchDir w("game-driver-sfx-loop");
    auto song = std::make_unique<Song>(), fx = std::make_unique<Song>();
    plainSong(*song);
    setEnvelope(fx->instruments[1], ENV_VOLUME, {240, 192, 144, 128}, 3);
    setEnvelope(fx->instruments[1], ENV_NOTE, {64, 67, 71}, 0);
    note(*fx, 0, CH_PULSE1, 0, 40, 1);
    note(*fx, 0, CH_TRIANGLE, 2, 30, 1);
    note(*fx, 0, CH_TRIANGLE, 4, NOTE_OFF, 0);  // the loop restates only what its start wrote
    effect(*fx, 0, CH_PULSE1, 2, 0xE, 0xE0);
    effect(*fx, 0, CH_PULSE1, 4, 0xB, 0x00);
    const std::vector<uint8_t> rom = buildCartridge(
        w, *song, " inc $20\n lda $20\n cmp #11\n bne :+\n lda #0\n ldx #0\n jsr bleep_sfx\n"
                  ":lda $20\n cmp #61\n bne :+\n jsr bleep_stop\n: jsr bleep_update\n rti",
        fx.get());
    ASSERT_FALSE(rom.empty());
    EXPECT_NE(w.read("music-fx.s").find(".word"), std::string::npos);
    const int frames = 250;  // before the frame counter comes round
    const std::vector<State> ours = cartridgeStates(rom, frames), music = playerStates(*song, frames),
                             theirs = playerStates(*fx, frames);
    const State silent = {0, -1, 0, -1, 0x80, -1, 0, -1, -1, -1};
    for (int f = 10; f < frames; ++f) {
        State expected = f < 60 ? music[size_t(f)] : silent;
        for (size_t i : {0u, 1u, 4u, 5u}) expected[i] = theirs[size_t(f - 10)][i];
        EXPECT_EQ(ours[size_t(f)], expected) << "frame " << f;
        if (ours[size_t(f)] != expected) break;
    }
}

// A note held into the next pattern: the Player keeps playing it with its instrument, and so
// must the data.
void heldNoteSong(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    note(s, 0, CH_TRIANGLE, 60, 40, 1);
    s.orders.count = 2;
    s.orders.entries[1] = 1;
}

// A Fine-tune value of 255 must not read as the byte that ends an envelope: the data holds 254
// in its place, a 1/256 semitone lower, and the envelope goes on after it.
void fineTuneSong(Song& s, int high) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    setEnvelope(s.instruments[1], ENV_FINETUNE, {127, high, 200}, 0);
    note(s, 0, CH_PULSE1, 0, 30, 1);
}
void fineTune255Song(Song& s) { fineTuneSong(s, 255); }
void fineTune254Song(Song& s) { fineTuneSong(s, 254); }

TEST(GameDriver, SongDataCarriesWhatThePlayerPlays) {
    expectSamePlay(heldNoteSong, "held-note", 2 * 64 * 6);
    expectSamePlay(fineTune255Song, "fine-tune-255", 64 * 6, fineTune254Song);
}

// A fault of the song data that no driver can make up for, shown by the comparison: enable it
// when the song data carries what the Player plays. It comes from what the Player reports in
// capture mode: the volume level as volume x 15 / 63.

// C08 sounds at level 8 (volume 33 / 4), but the data's level is 33 x 15 / 63 = 7.
void volume8Song(Song& s) {
    setEnvelope(s.instruments[1], ENV_VOLUME, {240}, 0);
    note(s, 0, CH_PULSE1, 0, 30, 1);
    effect(s, 0, CH_PULSE1, 0, 0xC, 0x08);
}

TEST(GameDriver, DISABLED_SongDataCarriesWhatThePlayerPlaysInVolume) {
    expectSamePlay(volume8Song, "volume-8", 64 * 6);
}
