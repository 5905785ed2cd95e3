#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <iterator>
#include <random>
#include <sstream>
#include <tuple>
#include <utility>

#include "NsfReader.h"
#include "SongRig.h"
#include "export/NsfWriter.h"
#include "nes/Cpu6502.h"
#include "player/AudioRenderer.h"
#include "tests/ExpectedText.h"
#include "tests/TraceScripts.h"

namespace {

constexpr int SLOTS = 156;

bool isSlotWrite(const ApuWrite& w) {
    return (w.address == 0x4011 || w.address == 0x4018) && w.pc >= 0x6800 && w.pc < 0x68B0;
}

// Runs an exported file: init, then play for `frames` frames; the writes split by frame.
// Play starts at slot 129 of the frame init decoded, so a frame's register writes come first in
// it; the level slots are grouped by the driver's own slot count (slot 0 to 155), which runs 27
// slots behind: a PCM unit fills one such group.
struct DriverRun {
    static constexpr size_t LEAD = SLOTS - 129;  // level writes before the first slot 0

    std::vector<ApuWrite> initWrites;
    std::vector<std::vector<ApuWrite>> slotWrites;      // per slot-0 frame, 156 each
    std::vector<std::vector<ApuWrite>> registerWrites;  // per frame, everything else
    uint64_t initCycles = 0;

    DriverRun(const std::vector<uint8_t>& nsf, int frames)
        : slotWrites(size_t(frames)), registerWrites(size_t(frames)) {
        // The driver's own cycle counting, as a player that does not halt the CPU for DMC
        // fetches runs it.
        Cpu6502 cpu(nsf);
        cpu.modelDmcDma = false;
        EXPECT_TRUE(cpu.call(NSF_INIT_ADDRESS, 0, 1, 2'000'000));
        initCycles = cpu.cycles;
        initWrites = std::exchange(cpu.writes, {});
        cpu.pc = NSF_PLAY_ADDRESS;
        cpu.run(uint64_t(frames + 1) * 33248 + 300);
        std::vector<ApuWrite> slots;
        std::copy_if(cpu.writes.begin(), cpu.writes.end(), std::back_inserter(slots), isSlotWrite);
        EXPECT_GE(slots.size(), LEAD + size_t(frames) * SLOTS);
        for (size_t i = 0; i < size_t(frames) * SLOTS && LEAD + i < slots.size(); ++i)
            slotWrites[i / SLOTS].push_back(slots[LEAD + i]);
        // Frame f runs from slot write 156 f (slot 129) to the next.
        auto frameStart = [&](size_t f) { return slots[std::min(slots.size() - 1, f * SLOTS)].cycle; };
        size_t frame = 0;
        for (const ApuWrite& w : cpu.writes) {
            while (frame < size_t(frames) && w.cycle >= frameStart(frame + 1)) ++frame;
            if (!isSlotWrite(w) && frame < size_t(frames)) registerWrites[frame].push_back(w);
        }
    }

    // True when every level slot of the frame went to $4018, the register without function.
    bool silent(size_t frame) const {
        return std::all_of(slotWrites[frame].begin(), slotWrites[frame].end(),
                           [](const ApuWrite& w) { return w.address == 0x4018; });
    }
};

void expectEvenSlots(const DriverRun& run) {
    std::vector<uint64_t> cycles;
    for (auto& frame : run.slotWrites)
        for (auto& w : frame) cycles.push_back(w.cycle);
    for (size_t i = 1; i < cycles.size(); ++i) {
        const uint64_t gap = cycles[i] - cycles[i - 1];
        ASSERT_TRUE(gap == 213 || gap == 214)
            << "slot " << i % SLOTS << " of frame " << i / SLOTS << ": " << gap;
    }
    for (size_t i = 2 * SLOTS; i < cycles.size(); i += 2 * SLOTS)
        EXPECT_EQ(cycles[i] - cycles[i - 2 * SLOTS], 66495u);  // 2 x 33247.5 cycles
}

// A run as kept text: the APU registers init writes; every `stride`-th frame and the last with
// its register writes (but the stream bank switches), then its 156 level slots ($4011 values,
// "--" for $4018) or "silent"; last an FNV-1a hash of every write of every frame.
std::string runText(const DriverRun& run, size_t stride = 1) {
    uint64_t hash = 1469598103934665603ull;
    const auto text = [&hash](const ApuWrite& r, bool hashed) {
        if (hashed) hash = (((hash ^ r.address) * 1099511628211ull) ^ r.value) * 1099511628211ull;
        char w[16];
        std::snprintf(w, sizeof w, " %04X=%02X", r.address, r.value);
        return std::string(w);
    };
    std::string out = "init:";
    for (const ApuWrite& r : run.initWrites)
        if (r.address >= 0x4000 && r.address <= 0x4017) out += text(r, false);
    out += "\n";
    for (size_t f = 0; f < run.registerWrites.size(); ++f) {
        std::string frame = std::to_string(f) + ":";
        for (const ApuWrite& r : run.registerWrites[f]) {
            const std::string w = text(r, true);
            if (r.address < 0x5FF8 || r.address > 0x5FFC) frame += w;
        }
        frame += run.silent(f) ? " | silent" : " | ";
        for (const ApuWrite& r : run.slotWrites[f]) {
            const std::string w = text(r, true);
            frame += run.silent(f) ? "" : r.address == 0x4011 ? w.substr(6) : "--";
        }
        if (f % stride == 0 || f + 1 == run.registerWrites.size()) out += frame + "\n";
    }
    return out + "hash " + std::to_string(hash) + "\n";
}

// Runs the file for `frames` frames, expects even level slots and the run kept in `keptFile`.
DriverRun expectKeptRun(const std::vector<uint8_t>& nsf, int frames, const std::string& keptFile,
                        size_t stride = 1) {
    DriverRun run(nsf, frames);
    expectEvenSlots(run);
    expectTestData(keptFile, runText(run, stride));
    return run;
}

// A capture of one stretch for the DPCM channel, one statement a line ('#' starts a comment):
//   dpcm|pcm SIZE LOOP fill BYTE|ramp STEP     one more sample: all BYTE, or byte i (i * STEP) % 128
//   frames COUNT [kind|rate|value|amp|thr=N]... [start]     COUNT more frames sending those values
//                                              (the rest not sent), `start` starting a sample
//   play FRAMES                                the run's text (runText)
std::string runSampleChannel(std::istream& script) {
    // The DPCM channel's values in stream order, from NSF_DPCM_KIND on.
    static const std::vector<std::string> names = {"kind", "rate", "value", "amp", "thr"};
    NsfCapture cap;
    cap.stretches.emplace_back();
    std::string out;
    for (std::string line; std::getline(script, line) && line != "--- trace";) {
        std::istringstream in(line.substr(0, line.find('#')));
        std::string op, word;
        in >> op;
        if (op == "dpcm" || op == "pcm") {
            size_t size = 0;
            int step = 0;
            NsfSample sample;
            in >> size >> sample.loop >> word >> std::setbase(0) >> step;  // 0x... in hexadecimal
            sample.bytes.assign(size, uint8_t(step));
            for (size_t i = 0; word == "ramp" && i < size; ++i)
                sample.bytes[i] = uint8_t(int(i) * step % 128);
            (op == "pcm" ? cap.pcmSamples : cap.dpcmSamples).push_back(sample);
        } else if (op == "frames") {
            size_t count = 0;
            NsfFrame f;
            f.values.fill(-1);
            for (in >> count; in >> word;) {
                const size_t eq = word.find('=');
                const auto name = std::find(names.begin(), names.end(), word.substr(0, eq));
                if (name != names.end())
                    f.values[size_t(NSF_DPCM_KIND + (name - names.begin()))] =
                        std::stoi(word.substr(eq + 1), nullptr, 0);
                f.sampleStart = f.sampleStart || word == "start";
                EXPECT_TRUE(name != names.end() || word == "start") << line;
            }
            cap.stretches[0].insert(cap.stretches[0].end(), count, f);
        } else if (op == "play") {
            int frames = 0;
            in >> frames;
            out += runText(DriverRun(buildNsf(cap), frames));
        } else {
            EXPECT_TRUE(op.empty()) << line;
        }
    }
    return out;
}

}  // namespace

TEST(Cpu6502, CycleCountsAndFlags) {
    Cpu6502 cpu;
    // ldx #$FF; lda $02F0,x (page crossed: 5); adc #1; bcs +0 (taken: 3); sta $4000; rts
    cpu.poke(0x0400, {0xA2, 0xFF, 0xBD, 0xF0, 0x02, 0x69, 0x01, 0xB0, 0x00, 0x8D, 0x00, 0x40, 0x60});
    cpu.poke(0x03EF, {0xFF});
    ASSERT_TRUE(cpu.call(0x0400, 0, 0, 100));
    ASSERT_EQ(cpu.writes.size(), 1u);
    EXPECT_EQ(cpu.writes[0].value, 0x00);
    EXPECT_EQ(cpu.writes[0].cycle, 2u + 5 + 2 + 3 + 3);  // the store's last cycle
    EXPECT_EQ(cpu.p & 0x03, 0x03);                       // carry and zero
    EXPECT_EQ(cpu.cycles, 2u + 5 + 2 + 3 + 4 + 6);
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

TEST(NsfDriver, InitWritesAndEvenSlotsAndToneRegistersFollowTheStreams) {
    std::mt19937 rng(5);
    NsfCapture cap;
    for (int frames : {7, 1, 12, 5}) cap.stretches.push_back(randomStretch(rng, frames, true));
    cap.stretches.push_back(cap.stretches[1]);  // shared on every channel
    cap.loopTarget = 2;
    expectKeptRun(buildNsf(cap), 48, "nsf/driver_tones.txt");  // the DPCM channel silent throughout
}

// The tables are read in place behind the tag at $917E, where an 8-byte entry may straddle a
// page: with 45 stretches every channel has entries at each offset in a page, and the order lists
// cross pages; every value still arrives and every slot keeps its length.
TEST(NsfDriver, ManyStretchesReadAcrossTablePages) {
    std::mt19937 rng(11);
    NsfCapture cap;
    for (int i = 0; i < 45; ++i) cap.stretches.push_back(randomStretch(rng, 1 + int(rng() % 3), true));
    cap.loopTarget = 40;
    int frames = 0;
    for (auto& st : cap.stretches) frames += int(st.size());
    expectKeptRun(buildNsf(cap), frames + 12, "nsf/driver_many_stretches.txt");  // round the loop
}

TEST(NsfDriver, DenseStreamsAcrossBanksKeepTheirTiming) {
    // Every value changes every frame: the most bits and fetches a frame can need, and streams
    // long enough to run past the end of their bank.
    NsfCapture cap;
    std::vector<NsfFrame> frames;
    for (int i = 0; i < 1700; ++i) {
        NsfFrame f;
        for (int v = 0; v < NSF_VALUE_COUNT; ++v)
            f.values[v] = (i + v) & ((1 << std::max(NSF_VALUE_BITS[v], 1)) - 1);
        f.values[NSF_DPCM_KIND] = 2 + (i & 1);  // software wave, so no sample starts
        f.values[NSF_TRIANGLE_CONTROL] = 0x80 | (i & 1);
        frames.push_back(f);
    }
    cap.stretches = {frames};
    expectKeptRun(buildNsf(cap), 1700, "nsf/driver_dense.txt", 37);
}

// The DPCM channel's voices, each a capture whose run is kept in tests/data/nsf/sample-channel
// (runText); each script says what its run shows.
KEPT_TRACE_SUITE(NsfSampleChannel, std::filesystem::path(BF_SOURCE_DIR "/tests/data/nsf/sample-channel"),
                 runSampleChannel);

// The example song, exported from the player, plays its streams past the loop back; init ends
// well inside an NSF player's first play period (the frame timing is checked in nsf_core_test).
TEST(NsfDriver, ExampleSongPlaysItsStreams) {
    SongRig rig;
    ASSERT_TRUE(rig.load());
    const std::vector<uint8_t> nsf = rig.nsf();
    EXPECT_FALSE(rig.player->captureMode);
    EXPECT_TRUE(rig.player->resetRequest);

    const NsfReader file(nsf);
    size_t total = 0;
    for (int e : file.orderLists[0]) total += size_t(file.entries[0].at(size_t(e)).frames);
    const int frames = int(std::clamp<size_t>(total + 40, 200, 900));
    EXPECT_LT(expectKeptRun(nsf, frames, "nsf/driver_demo.txt", 25).initCycles, 20000u);
}

// The export borrows the live player: once it is done, a stopped player stays silent (the demo
// song's capture ends with a triangle note sounding, which the idle frames went on playing) and
// its position is the one it had.
TEST(NsfDriver, ExportLeavesAStoppedPlayerSilent) {
    SongRig rig;
    ASSERT_TRUE(rig.load());
    Player& p = rig.play();
    initPlayback(p, *rig.apu, 44100);
    p.reset();
    p.currentOrder = 2;
    p.currentRow = 17;
    AudioRenderer renderer{p, *rig.apu};
    rig.nsf();
    std::vector<int16_t> out(22050);
    renderer.renderAudio(out.data(), long(out.size()));
    EXPECT_EQ(out, std::vector<int16_t>(out.size()));
    for (const ChannelState& ch : p.channels) EXPECT_EQ(ch.noteOn, 0);
    EXPECT_EQ(std::make_tuple(p.playing, p.currentOrder, p.currentRow), std::make_tuple(false, 2, 17));
}
