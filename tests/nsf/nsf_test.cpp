// Exports to NSF: the capture, the tables and streams read back, the driver run on the 6502 core,
// and listening (libgme or bleepforge-cli against our render). The songs in tests/data/nsf keep one
// voice at a time where pitch matters: tones (pulse envelopes, slides, vibrato, triangle, both noise
// modes; orders 0, 1, 0, 2, jumping back to 1), dmc (hardware DPCM, looping and one-shot) and pcm
// (driver-written DMC level, PCM, software waves).

#include <gme/gme.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <optional>
#include <random>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "Listening.h"
#include "SongRig.h"
#include "export/NsfCapture.h"
#include "export/NsfWriter.h"
#include "nes/Cpu6502.h"
#include "player/AudioRenderer.h"
#include "player/OfflinePlayback.h"
#include "song/Song.h"
#include "tests/AudioRead.h"
#include "tests/ExpectedText.h"
#include "tests/TraceScripts.h"

namespace {

// Mono samples of the NSF as libgme plays it (treble 0, bass 1 Hz, silence not skipped).
std::vector<double> gmeRender(const std::vector<uint8_t>& nsf, double seconds) {
    Music_Emu* emu = nullptr;
    EXPECT_EQ(gme_open_data(nsf.data(), long(nsf.size()), &emu, LISTEN_RATE), nullptr);
    if (!emu) return {};
    std::unique_ptr<Music_Emu, void (*)(Music_Emu*)> owner(emu, gme_delete);
    gme_ignore_silence(emu, 1);
    gme_equalizer_t eq = {};  // treble 0
    eq.bass = 1;
    gme_set_equalizer(emu, &eq);
    EXPECT_EQ(gme_start_track(emu, 0), nullptr);
    std::vector<short> stereo(2 * size_t(LISTEN_RATE * seconds));
    EXPECT_EQ(gme_play(emu, int(stereo.size()), stereo.data()), nullptr);
    std::vector<double> mono;
    for (size_t i = 0; i < stereo.size(); i += 2) mono.push_back(stereo[i]);
    return mono;
}

// Expects their render to sound like ours of `seconds` of the rig's song. Their frame 0 begins one
// play period later (20000 µs PAL, 16667 µs NTSC): a player first calls play that long after init.
void expectHeardAlike(SongRig& rig, double seconds, const std::vector<double>& theirs, int minClear,
                      const std::string& what, double pitchRatio = 1.0) {
    const std::vector<int16_t> ours = renderSong(rig.play(), *rig.apu, LISTEN_RATE, seconds);
    const Heard h = compareHeard({ours.begin(), ours.end()}, theirs, rig.song->ntsc ? 735 : 882, pitchRatio);
    std::printf("[ listen   ] %s: loudness envelope correlation %.4f, pitch agrees in %d of %d windows\n",
                what.c_str(), h.envelopeCorrelation, h.agreed, h.clear);
    EXPECT_GT(h.envelopeCorrelation, 0.9) << what;
    EXPECT_GE(h.clear, minClear) << what;
    EXPECT_GE(h.agreed, h.clear * 9 / 10) << what;
}

// One decoded frame of a stream: the values sent (nullopt = not sent); raw bits as 0 or 1.
using NsfSentValues = std::vector<std::optional<int>>;

// Reads an exported NSF back the way the driver does.
struct NsfReader {
    struct Entry {
        int window, bank, frames;  // window: the stream's address in $A000-$AFFF
    };
    std::vector<uint8_t> file;
    int directory[NSF_DIRECTORY_WORDS] = {};
    std::vector<int> orderLists[NSF_CHANNELS];
    std::vector<Entry> entries[NSF_CHANNELS];

    explicit NsfReader(std::vector<uint8_t> bytes) : file(std::move(bytes)) {
        const int at = NSF_DIRECTORY_OFFSET - NSF_TAG_OFFSET;
        for (int k = 0; k < NSF_DIRECTORY_WORDS; ++k) directory[k] = word(at + 2 * k);
        for (int c = 0; c < NSF_CHANNELS; ++c) {
            for (int d = directory[2 * c]; dataByte(d) != 0xFF; ++d) orderLists[c].push_back(dataByte(d));
            const int entryCount = *std::max_element(orderLists[c].begin(), orderLists[c].end()) + 1;
            for (int t = directory[2 * c + 1]; int(entries[c].size()) < entryCount; t += 8)
                entries[c].push_back({word(t), dataByte(t + 2), word(t + 3) + 1});
        }
    }

    uint8_t imageByte(size_t imageOffset) const { return file.at(imageOffset + NSF_HEADER_SIZE); }
    int dataByte(int dataOffset) const { return file.at(size_t(NSF_TAG_OFFSET + dataOffset)); }
    int word(int dataOffset) const { return dataByte(dataOffset) | dataByte(dataOffset + 1) << 8; }

    std::vector<NsfSentValues> decode(int c, int e) const {
        const Entry& entry = entries[c].at(size_t(e));
        // Follows the stream across a bank end the way the driver's pointer does.
        int bank = entry.bank, window = entry.window, bit = 0;
        const auto nextBit = [&]() {
            const int b = (imageByte(size_t(bank * 4096 + window - 0xA000)) >> bit) & 1;
            if (++bit == 8) {
                bit = 0;
                if (++window == 0xB000) window = 0xA000, ++bank;
            }
            return b;
        };
        std::vector<NsfSentValues> frames(size_t(entry.frames));
        for (NsfSentValues& sent : frames)
            for (int v = NSF_STREAM_FIRST[c]; v < NSF_STREAM_FIRST[c + 1]; ++v) {
                std::optional<int> value;
                if (NSF_VALUE_BITS[v] == 0 || nextBit()) value = NSF_VALUE_BITS[v] == 0 ? nextBit() : 0;
                for (int i = 0; value && i < NSF_VALUE_BITS[v]; ++i) value = *value << 1 | nextBit();
                sent.push_back(value);  // a raw bit, a value after its flag, or nothing
            }
        return frames;
    }
};

// Frames whose values change now and then, with −1 sprinkled in, as a player produces them; with
// `tonesOnly` the DPCM channel sends nothing.
std::vector<NsfFrame> randomStretch(std::mt19937& rng, int frames, bool tonesOnly = false) {
    std::vector<NsfFrame> out;
    NsfFrame f;
    f.values.fill(-1);
    for (int i = 0; i < frames; ++i) {
        for (int v = 0; v < (tonesOnly ? NSF_DPCM_KIND : NSF_VALUE_COUNT); ++v)
            if (rng() % 4 == 0 || i == 0)
                f.values[v] = rng() % 5 == 0 ? -1 : int(rng() % (1u << std::max(NSF_VALUE_BITS[v], 1)));
        f.values[NSF_TRIANGLE_CONTROL] = 0x80 | int(rng() & 1);
        f.sampleStart = !tonesOnly && rng() % 7 == 0;
        out.push_back(f);
    }
    return out;
}

// The values the writer must send for a sequence of frames of one stretch (previous values −1).
std::vector<NsfSentValues> expectedSent(const std::vector<NsfFrame>& frames, int c) {
    std::vector<NsfSentValues> out;
    NsfValues previous;
    previous.fill(-1);
    for (const NsfFrame& f : frames) {
        NsfSentValues& sent = out.emplace_back();
        for (int v = NSF_STREAM_FIRST[c]; v < NSF_STREAM_FIRST[c + 1]; ++v) {
            const int value = f.values[v];
            if (NSF_VALUE_BITS[v] == 0)
                sent.push_back(value > 0 ? value & 1 : 0);
            else if (value != -1 && (value != previous[v] || (v == NSF_DPCM_KIND && f.sampleStart)))
                sent.push_back(value & ((1 << NSF_VALUE_BITS[v]) - 1));
            else
                sent.emplace_back();
        }
        previous = f.values;
    }
    return out;
}

const std::vector<uint8_t> kDummyDriver(NSF_DRIVER_SIZE, 0xEA);

// Plays a scripted list of frames: each gives the position after it, and optionally a sample
// started by an instrument (kind, instrument) and the end-of-song flag.
struct ScriptedFrame {
    int order, row;
    int value = 0;  // put into pulse 1's duty/volume so stretches can be told apart
    int sampleKind = -1, instrument = 0;
    bool endOfSong = false;
};

struct ScriptedSource : NsfFrameSource {
    std::vector<ScriptedFrame> script;
    size_t framesRun = 0;
    int kind = -1, value = -1;

    explicit ScriptedSource(std::vector<ScriptedFrame> frames) : script(std::move(frames)) {}
    NsfFrameReport runFrame() override {
        // Past the script the song sits still with its flag set, as after a speed-0 row.
        const bool past = framesRun >= script.size();
        const ScriptedFrame& s = script[std::min(framesRun++, script.size() - 1)];
        NsfFrameReport r;
        r.values.fill(-1);
        r.values[NSF_PULSE1_DUTY_VOLUME] = s.value;
        if (!past && s.sampleKind >= 0) {
            kind = s.sampleKind;
            value = s.instrument;
            r.sampleStarted = true;
        }
        r.values[NSF_DPCM_KIND] = kind;
        r.values[NSF_DPCM_VALUE] = value;
        r.order = s.order;
        r.row = s.row;
        r.endOfSong = s.endOfSong || past;
        return r;
    }
    void setSampleIndex(int index) override { value = index; }
    void beginStretch() override { kind = value = -1; }
};

// Runs an exported file for `frames` frames, each level slot 213 or 214 cycles after the last. Play
// starts at slot 129: frame f's writes start at slot write 156 f, its 156 level slots 27 later (a
// PCM unit fills one group). The text: init's APU writes; every `stride`-th frame and the last with
// its writes (but bank switches) and $4011 values ("--" for $4018) or "silent"; an FNV-1a hash of all.
std::string runText(const std::vector<uint8_t>& nsf, int frames, size_t stride = 1) {
    constexpr size_t SLOTS = 156;
    // The driver's own cycle counting, as a player that does not halt the CPU for DMC fetches.
    Cpu6502 cpu(nsf);
    cpu.modelDmcDma = false;
    EXPECT_TRUE(cpu.call(NSF_INIT_ADDRESS, 0, 1, 2'000'000));
    EXPECT_LT(cpu.cycles, 20000u);  // well inside a player's first play period
    uint64_t hash = 1469598103934665603ull;
    const auto text = [&hash](const ApuWrite& r, bool hashed) {
        if (hashed) hash = (((hash ^ r.address) * 1099511628211ull) ^ r.value) * 1099511628211ull;
        char w[16];
        std::snprintf(w, sizeof w, " %04X=%02X", r.address, r.value);
        return std::string(w);
    };
    std::string out = "init:";
    for (const ApuWrite& r : std::exchange(cpu.writes, {}))
        if (r.address >= 0x4000 && r.address <= 0x4017) out += text(r, false);
    out += "\n";
    cpu.pc = NSF_PLAY_ADDRESS;
    cpu.run(uint64_t(frames + 1) * 33248 + 300);
    const size_t lead = SLOTS - 129, count = static_cast<size_t>(frames);  // lead: slots before slot 0
    std::vector<ApuWrite> slots;
    std::vector<std::vector<ApuWrite>> registerWrites(count);
    for (const ApuWrite& w : cpu.writes) {
        const size_t f = slots.empty() ? 0 : (slots.size() - 1) / SLOTS;
        if ((w.address == 0x4011 || w.address == 0x4018) && w.pc >= 0x6800 && w.pc < 0x68B0)  // a level slot
            slots.push_back(w);
        else if (f < count)
            registerWrites[f].push_back(w);
    }
    EXPECT_GE(slots.size(), lead + count * SLOTS);
    for (size_t f = 0; f < count; ++f) {
        std::string line = std::to_string(f) + ":", levels;
        for (const ApuWrite& r : registerWrites[f]) {
            const std::string w = text(r, true);
            if (r.address < 0x5FF8 || r.address > 0x5FFC) line += w;
        }
        for (size_t i = lead + f * SLOTS; i < lead + (f + 1) * SLOTS && i < slots.size(); ++i) {
            const std::string w = text(slots[i], true);
            levels += slots[i].address == 0x4011 ? w.substr(6) : "--";
            const uint64_t gap = slots[i].cycle - slots[i - 1].cycle;
            EXPECT_TRUE(gap == 213 || gap == 214) << "slot " << i - lead - f * SLOTS << " of frame " << f;
            if (i > lead && (i - lead) % (2 * SLOTS) == 0) {
                EXPECT_EQ(slots[i].cycle - slots[i - 2 * SLOTS].cycle, 66495u);  // 2 x 33247.5
            }
        }
        line += levels.find_first_not_of('-') == std::string::npos ? " | silent" : " | " + levels;
        if (f % stride == 0 || f + 1 == count) out += line + "\n";
    }
    return out + "hash " + std::to_string(hash) + "\n";
}

// A capture of one stretch for the DPCM channel, one statement a line ('#' starts a comment):
//   dpcm|pcm SIZE LOOP fill BYTE|ramp STEP     one more sample: all BYTE, or byte i (i * STEP) % 128
//   frames COUNT [kind|rate|value|amp|thr=N]... [start]     COUNT more frames sending those values
//                                              (the rest not sent), `start` starting a sample
//   play FRAMES                                the run's text (runText)
std::string runSampleChannel(std::istream& script) {
    // The DPCM channel's five values in stream order, from NSF_DPCM_KIND on.
    static const std::vector<std::string> names = {"kind", "rate", "value", "amp", "thr"};
    NsfCapture cap;
    cap.stretches.emplace_back();
    std::string out;
    for (std::string line; std::getline(script, line) && line != "--- trace";) {
        std::istringstream in(line.substr(0, line.find('#')));
        std::string op, word;
        in >> op;
        if (op == "dpcm" || op == "pcm") {
            NsfSample& sample = (op == "pcm" ? cap.pcmSamples : cap.dpcmSamples).emplace_back();
            size_t size = 0;
            int step = 0;
            in >> size >> sample.loop >> word >> std::setbase(0) >> step;  // 0x... in hexadecimal
            for (size_t i = 0; i < size; ++i)
                sample.bytes.push_back(uint8_t(word == "ramp" ? int(i) * step % 128 : step));
        } else if (op == "frames") {
            size_t count = 0;
            NsfFrame f;
            f.values.fill(-1);
            for (in >> count; in >> word;) {
                const size_t eq = word.find('=');
                const long k = std::find(names.begin(), names.end(), word.substr(0, eq)) - names.begin();
                if (k < 5) f.values[size_t(NSF_DPCM_KIND + k)] = std::stoi(word.substr(eq + 1), nullptr, 0);
                f.sampleStart = f.sampleStart || word == "start";
                EXPECT_TRUE(k < 5 || word == "start") << line;
            }
            cap.stretches[0].insert(cap.stretches[0].end(), count, f);
        } else if (op == "play") {
            int frames = 0;
            in >> frames;
            out += runText(buildNsf(cap), frames);
        } else {
            EXPECT_TRUE(op.empty()) << line;
        }
    }
    return out;
}

}  // namespace

// The editor clocks the DMC from its PAL rate row in both TV systems; an NTSC machine's periods
// at the top rates are 8 % longer (54 against 50 cycles at rate 15): the file cannot ask for more.
TEST(NsfListening, SongsSoundAlike) {
    // Song, seconds, clear windows at least, the NTSC file's pitch against ours.
    const std::tuple<std::string, double, int, double> songs[] = {
        {"tones", 30.0, 300, 1.0}, {"dmc", 5.0, 40, 50.0 / 54.0}, {"pcm", 4.5, 40, 1.0}};
    for (const auto& [name, seconds, minClear, ntscPitchRatio] : songs)
        for (bool ntsc : {false, true}) {
            SongRig rig;
            ASSERT_TRUE(rig.load(BF_SOURCE_DIR "/tests/data/nsf/" + name + ".zcm"));
            rig.song->ntsc = ntsc;
            expectHeardAlike(rig, seconds, gmeRender(rig.nsf(), seconds + 0.1), minClear,
                             name + (ntsc ? " NTSC" : " PAL"), ntsc ? ntscPitchRatio : 1.0);
        }
}

// One voice of the example song (the other channels' notes removed, their effects kept), exported
// and rendered by bleepforge-cli on the 6502 core; its trace starts with the driver's first frame.
TEST(NsfCore, ExampleSongThroughTheCliSoundsLikeOurRender) {
    std::filesystem::create_directories(BF_BINARY_DIR "/nsf-core-work");
    const std::string cli = BF_BINARY_DIR "/cli/bleepforge-cli";
    for (int voice : {CH_PULSE1, CH_TRIANGLE}) {
        SongRig rig;
        ASSERT_TRUE(rig.load(BF_SOURCE_DIR "/examples/example.zcm"));
        for (Pattern& pattern : rig.song->patterns)
            for (int c = 0; c < CHANNEL_COUNT; ++c)
                for (int r = 0; r < ROWS_PER_PATTERN; ++r)
                    if (c != voice) pattern.at(c, r).note = pattern.at(c, r).instrument = 0;
        const std::string base = BF_BINARY_DIR "/nsf-core-work/voice" + std::to_string(voice);
        ASSERT_TRUE(saveSong(*rig.song, base + ".zcm"));
        ASSERT_EQ(std::system((cli + " nsf " + base + ".zcm " + base + ".nsf").c_str()), 0);
        ASSERT_EQ(std::system((cli + " render " + base + ".nsf " + base + ".wav --seconds 12.1").c_str()), 0);
        SF_INFO info;
        const std::vector<int16_t> wav = readAudio(base + ".wav", info);
        EXPECT_EQ(info.samplerate, LISTEN_RATE);
        expectHeardAlike(rig, 12.0, {wav.begin(), wav.end()}, 20,
                         "example song through the cli, channel " + std::to_string(voice));
        if (voice != CH_PULSE1) continue;
        ASSERT_EQ(std::system((cli + " trace " + base + ".nsf --frames 5 > " + base + ".txt").c_str()), 0);
        std::string first;
        std::getline(std::ifstream(base + ".txt"), first);
        EXPECT_TRUE(first.starts_with("0: 4000=")) << first;
    }
}

// Play writes every frame's registers ($4000 first) at its start, 33247.5 cycles apart, also on a
// core that halts the CPU for DMC fetches (the demo ran 1,600 ppm late before the driver gave the
// time back), in both TV systems, whose DMC rate rows differ.
TEST(NsfCore, DemoSongKeepsTimeWhileTheDmcStealsCyclesAtTheApusRate) {
    for (const auto& [ntsc, dma] : {std::pair{false, false}, {true, true}, {false, true}}) {
        SongRig rig;
        ASSERT_TRUE(rig.load());
        rig.song->ntsc = ntsc;
        const std::vector<uint8_t> nsf = rig.nsf();
        const bool pal = nsf.at(nsf_header::TV_SYSTEM) & 1;
        Cpu6502 cpu(nsf);
        cpu.modelDmcDma = dma;
        cpu.dmc.setPal(pal);
        EXPECT_TRUE(cpu.call(NSF_INIT_ADDRESS, 0, pal, 2'000'000));
        cpu.writes.clear();
        cpu.pc = NSF_PLAY_ADDRESS;
        const uint64_t start = cpu.cycles;
        cpu.run(1500 * 33248);
        std::vector<uint64_t> starts;  // the cycle of each frame's first $4000 write (the driver's first)
        for (const ApuWrite& w : cpu.writes)
            if (w.address == 0x4000) starts.push_back(w.cycle - start);
        ASSERT_GE(starts.size(), 1499u);
        double worst = 0;
        for (size_t f = 0; f < starts.size(); ++f)
            worst = std::max(worst, std::fabs(double(starts[f] - starts[0]) - 33247.5 * double(f)));
        SCOPED_TRACE(std::string(ntsc ? "NTSC" : "PAL") + (dma ? ", DMA on" : ", DMA off"));
        EXPECT_LT(starts[0], 150u);
        EXPECT_LT(worst, dma ? 400.0 : 1.0);
        EXPECT_TRUE(dma ? cpu.stallCycles > 40000u : cpu.stallCycles == 0u) << cpu.stallCycles;
    }
    // The DMA model and the APU's DMC each keep the rate table: a looping one-byte sample is
    // fetched again every 8 of the channel's periods.
    for (bool pal : {false, true})
        for (int rate = 0; rate < 16; ++rate) {
            DmcChannel channel;
            channel.pal = pal;
            channel.writeRegister(0, rate);
            DmcDma dma;
            dma.setPal(pal);
            dma.write(0x4010, uint8_t(0x40 | rate));  // length 0: one byte, looping
            dma.write(0x4015, 0x10);
            int cycles = 0, second = -1;
            for (; dma.fetches() < 3 && cycles < 10000; ++cycles) {
                if (second < 0 && dma.fetches() == 2) second = cycles;
                dma.advance(1);
            }
            EXPECT_EQ(cycles - second, 8 * channel.period) << "pal " << pal << " rate " << rate;
        }
}

TEST(NsfWriter, StreamsTablesAndSharingDecodeBackAcrossPagesAndBanks) {
    std::mt19937 rng(7);
    NsfCapture cap;
    for (int s = 0; s < 6; ++s) cap.stretches.push_back(randomStretch(rng, 20 + 37 * s));
    // Stretch 4 repeats stretch 1 on the pulse 1 channel only; stretch 5 repeats stretch 0 whole.
    for (size_t f = 0; f < cap.stretches[4].size() && f < cap.stretches[1].size(); ++f)
        for (int v = 0; v < 3; ++v) cap.stretches[4][f].values[v] = cap.stretches[1][f].values[v];
    cap.stretches[4].resize(cap.stretches[1].size());
    cap.stretches[5] = cap.stretches[0];
    cap.loopTarget = 2;
    // Streams longer than a bank follow into the next; channel 4's first starts in a fresh bank
    // because it does not fit the current one.
    rng.seed(3);
    NsfCapture longer;
    longer.stretches = {randomStretch(rng, 3000), randomStretch(rng, 2500)};
    // 150 one-frame stretches sharing one entry: channel 1's list would cross the first page's end
    // (29 + 151 bytes, aligned 8 + 8), so it starts on the next page.
    NsfCapture many;
    many.stretches.assign(150, {NsfFrame{}});
    // 90 distinct stretches need 90 * 8 * 5 bytes of stretch tables: past the 3714-byte limit.
    rng.seed(11);
    NsfCapture distinct;
    for (int s = 0; s < 90; ++s) distinct.stretches.push_back(randomStretch(rng, 3));
    EXPECT_THROW(buildNsf(distinct, kDummyDriver), std::runtime_error);
    distinct.stretches.resize(70);
    // Per capture, kept in nsf/tables.txt: the directory, the loop target, each channel's order
    // list and where its streams went.
    std::ostringstream out;
    for (const NsfCapture* c : {&cap, &longer, &many, &distinct}) {
        const NsfReader r(buildNsf(*c, kDummyDriver));
        EXPECT_LE(r.directory[NSF_DIRECTORY_DPCM_TABLE], 3714);
        for (size_t s = 0; s < c->stretches.size(); ++s)
            for (int ch = 0; ch < NSF_CHANNELS; ++ch)  // also as many frames as the entry says
                EXPECT_EQ(r.decode(ch, r.orderLists[ch].at(s)), expectedSent(c->stretches[s], ch))
                    << "stretch " << s << " channel " << ch;
        for (int d : r.directory) out << d << " ";
        out << "loop " << r.dataByte(NSF_DIRECTORY_OFFSET - NSF_TAG_OFFSET + NSF_DIRECTORY_LOOP_TARGET);
        for (int ch = 0; ch < NSF_CHANNELS; ++ch) {
            out << "\n" << ch << ":";
            for (int o : r.orderLists[ch]) out << " " << o;
            out << " |";
            for (auto& e : r.entries[ch])
                out << " " << std::hex << e.window << std::dec << "/" << e.bank << "/" << e.frames;
        }
        out << "\n";
        for (int d = 192; c == &many && d < 256; ++d) EXPECT_EQ(r.dataByte(d), 0);
    }
    expectTestData("nsf/tables.txt", out.str());
}

// PCM units: a 128-aligned part and a 28-byte part that crosses no page, padded with the last byte
// (none for a sample without data). DPCM samples start 64-aligned within one bank (a long one cut
// to 255 * 16 + 1 bytes), loop byte bit 7 for nothing to play, each byte the DMC plays as ours.
TEST(NsfWriter, HeaderSampleTablesAndBytes) {
    NsfCapture cap;
    cap.stretches.push_back({NsfFrame{}});
    NsfSample a, b, empty, small, big, huge, emptyLoop, units;
    for (int i = 0; i < 157; ++i) a.bytes.push_back(uint8_t(i));
    for (int i = 0; i < 156 * 40; ++i) b.bytes.push_back(uint8_t(i * 7 + 3));
    small.bytes.assign(100, 0x55);
    big.bytes.assign(4000, 0xAA);
    huge.bytes.assign(5000, 0x11);
    units.bytes.assign(64, 0x22);  // the DMC plays the byte after it
    b.loop = big.loop = emptyLoop.loop = true;
    cap.pcmSamples = {a, b, empty};
    cap.dpcmSamples = {small, big, small, huge, emptyLoop, units};
    const NsfReader r(buildNsf(cap, kDummyDriver));
    std::ostringstream out;
    // A PCM entry: the parts' address/bank, units and loop; its bytes read as the driver's pointers move.
    for (int s = 0, t = r.directory[NSF_DIRECTORY_PCM_TABLE]; s < 3; ++s, t += 8) {
        const int a1 = r.word(t), b1 = r.dataByte(t + 2), a2 = r.word(t + 3), b2 = r.dataByte(t + 5);
        const int unitCount = r.word(t + 6) & 0x7FFF;
        out << std::hex << a1 << "/" << b1 << " " << a2 << "/" << b2 << std::dec << " " << unitCount
            << (r.word(t + 6) & 0x8000 ? " loop\n" : "\n");
        // In image offsets a pointer passing $D000 into the next bank's $C000 runs straight on.
        const size_t first = size_t(b1 * 4096 + a1 - 0xC000);
        EXPECT_TRUE(unitCount > 0 || r.imageByte(first) == 0x3F) << s;
        std::vector<uint8_t> pcm, want = cap.pcmSamples[size_t(s)].bytes;
        for (size_t u = 0, second = size_t(b2 * 4096 + a2 - 0xC000); u < size_t(unitCount); ++u) {
            for (size_t i = 0; i < 156; ++i)
                pcm.push_back(r.imageByte(i < 128 ? first + 128 * u + i : second + i - 128));
            second += (second + 28) % 256 == 0xFC ? 32 : 28;  // the second part skips a page's last 4
        }
        want.resize(size_t(unitCount) * 156, want.empty() ? 0 : want.back());  // the last unit padded
        EXPECT_EQ(pcm, want) << s;
    }
    for (int s = 0, t = r.directory[NSF_DIRECTORY_DPCM_TABLE]; s < 6; ++s, t += 4) {
        const int address = r.dataByte(t), bank = r.dataByte(t + 1), length = r.dataByte(t + 2);
        out << std::hex << address << " " << bank << " " << length << " " << r.dataByte(t + 3) << "\n"
            << std::dec;
        const std::vector<uint8_t>& bytes = cap.dpcmSamples[size_t(s)].bytes;
        const size_t start = size_t(bank * 4096 + address * 64 + 0xC000 - 0xD000);  // where the DMC reads
        for (size_t i = 0; !bytes.empty() && i < size_t(length) * 16 + 1; ++i)
            ASSERT_EQ(r.imageByte(start + i), i < bytes.size() ? bytes[i] : DMC_PAST_END) << s;
    }
    expectTestData("nsf/sample_tables.txt", out.str());
    // NTSC re-timing of a 200-byte ramp to 312 bytes, kept in nsf/pcm_ntsc.txt.
    NsfSample ramp;
    for (int i = 0; i < 200; ++i) ramp.bytes.push_back(uint8_t(i));
    std::ostringstream retimed;
    for (int v : nsfPcmUnits(ramp, true)) retimed << v << " ";
    expectTestData("nsf/pcm_ntsc.txt", retimed.str() + "\n");
    // The header for PAL and NTSC (names cut to 31 bytes, "<?>" for an empty one), kept in
    // nsf/header.txt as hex; the driver follows, then the tag.
    cap.names[1] = std::string(40, 'x');
    cap.names[2] = "Me";
    std::string header;
    for (bool ntsc : {false, true}) {
        cap.ntsc = ntsc;
        const std::vector<uint8_t> file = buildNsf(cap, kDummyDriver);
        EXPECT_EQ(NsfReader(file).imageByte(0), 0xEA);
        EXPECT_EQ(std::string(file.begin() + NSF_TAG_OFFSET, file.begin() + NSF_TAG_OFFSET + 4), "Q.Z.");
        for (size_t i = 0; i < NSF_HEADER_SIZE; ++i)
            header += {"0123456789ABCDEF"[file[i] >> 4], "0123456789ABCDEF"[file[i] & 15]};
        header += "\n";
    }
    expectTestData("nsf/header.txt", header);
}

// A stretch ends when the position repeats one a stretch began at (the loop target), when the
// row goes backwards, or when the song stops; samples are numbered by first use.
TEST(NsfCapture, StretchesEndAndLoopWhereThePositionRepeatsAndSamplesGetIndices) {
    const std::pair<const char*, std::vector<ScriptedFrame>> scripts[] = {
        // Orders 0, 1, 2; the last frame of order 2 jumps back to order 1 (as Bxx does).
        {"jump back", {{0, 1, 1}, {0, 2, 1}, {1, 0, 1}, {1, 1, 2}, {2, 0, 2}, {2, 1, 3}, {1, 0, 3}}},
        // A row going backwards inside one order (E6x-style loop) also ends the stretch.
        {"row back", {{0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {0, 0}}},
        // Speed 0 on row 2: the next stretch starts at row 2, lasts one frame and loops to itself.
        {"stops", {{0, 1}, {0, 2, 0, -1, 0, true}}},
        // Stopping on the row the stretch began at closes the loop at once.
        {"stops at once", {{0, 0, 0, -1, 0, true}}},
        {"samples",
         {{0, 1, 0, 1, 9},  // DPCM instrument 9 -> DPCM index 0
          {0, 2, 0, 0, 4},  // PCM instrument 4 -> PCM index 0
          {0, 3, 0, 1, 5},  // DPCM instrument 5 -> DPCM index 1
          {0, 4, 0, 1, 9},  // instrument 9 again: index 0, kind resent
          {0, 5},           // nothing started: the index stays
          {1, 0, 0, 1, 9},
          {1, 1},  // order 1 starts without a sample: its kind is left out
          {0, 0}}},
    };
    auto song = std::make_unique<Song>();
    song->instrumentNames[1] = "Title";
    song->ntsc = true;
    const uint8_t bytes[] = {1, 2, 3};
    song->instruments[9].dpcm.assign(bytes, 3, true);
    song->instruments[4].pcm.assign(bytes, 2, false);
    // Kept in nsf/capture_samples.txt: per script the frames run and the loop target; per stretch
    // and frame pulse 1's value, the DPCM kind and index ("!": a start); then the sample tables.
    std::ostringstream out;
    for (const auto& [what, script] : scripts) {
        ScriptedSource src(script);
        const NsfCapture cap = captureNsf(*song, src);
        EXPECT_TRUE(cap.names[0] == "Title" && cap.ntsc) << what;
        out << what << ": " << src.framesRun << " frames run, loop " << cap.loopTarget << "\n";
        for (const auto& stretch : cap.stretches) {
            for (const NsfFrame& f : stretch)
                out << " " << f.values[NSF_PULSE1_DUTY_VOLUME] << "/" << f.values[NSF_DPCM_KIND] << "/"
                    << f.values[NSF_DPCM_VALUE] << (f.sampleStart ? "!" : "");
            out << "\n";
        }
        for (const auto* table : {&cap.dpcmSamples, &cap.pcmSamples}) {
            for (const NsfSample& sample : *table) {
                for (uint8_t b : sample.bytes) out << int(b) << ",";
                out << (sample.loop ? " loop; " : "; ");
            }
            out << "\n";
        }
    }
    expectTestData("nsf/capture_samples.txt", out.str());
    // More stretches than the driver can index are refused.
    std::vector<ScriptedFrame> script;
    for (int k = 1; k < 300; ++k) script.push_back({k % 2, k / 2});  // a new order every frame
    ScriptedSource tooMany(script);
    EXPECT_THROW(captureNsf(*song, tooMany), std::runtime_error);
}

// Random stretches, the DPCM channel silent: five, one of them shared on every channel; and 45,
// read in place behind the tag at $917E, where an 8-byte entry may straddle a page: every channel
// has entries at each offset in a page, and the order lists cross pages. Then dense streams.
TEST(NsfDriver, RegistersFollowTheStreamsAcrossTablePagesAndBanks) {
    std::mt19937 rng(5);
    NsfCapture cap;
    for (int frames : {7, 1, 12, 5}) cap.stretches.push_back(randomStretch(rng, frames, true));
    cap.stretches.push_back(cap.stretches[1]);
    cap.loopTarget = 2;
    expectTestData("nsf/driver_tones.txt", runText(buildNsf(cap), 48));
    rng.seed(11);
    cap.stretches.clear();
    int frames = 12;  // round the loop
    for (int i = 0; i < 45; ++i)
        frames += int(cap.stretches.emplace_back(randomStretch(rng, 1 + int(rng() % 3), true)).size());
    cap.loopTarget = 40;
    expectTestData("nsf/driver_many_stretches.txt", runText(buildNsf(cap), frames));
    // Every value changes every frame: the most bits a frame can need, streams past their bank.
    cap.stretches = {std::vector<NsfFrame>(1700)};
    cap.loopTarget = 0;
    for (int i = 0; i < 1700; ++i) {
        NsfFrame& f = cap.stretches[0][size_t(i)];
        for (int v = 0; v < NSF_VALUE_COUNT; ++v)
            f.values[v] = (i + v) & ((1 << std::max(NSF_VALUE_BITS[v], 1)) - 1);
        f.values[NSF_DPCM_KIND] = 2 + (i & 1);  // software wave, so no sample starts
        f.values[NSF_TRIANGLE_CONTROL] = 0x80 | (i & 1);
    }
    expectTestData("nsf/driver_dense.txt", runText(buildNsf(cap), 1700, 37));
}

// The DPCM channel's voices: scripts in tests/data/nsf/sample-channel, each saying what it shows.
KEPT_TRACE_SUITE(NsfSampleChannel, std::filesystem::path(BF_SOURCE_DIR "/tests/data/nsf/sample-channel"),
                 runSampleChannel);

// The demo song exported from the stopped live player: the driver plays its streams; the player
// keeps its position and stays silent (though the capture ends with a triangle note sounding).
TEST(NsfDriver, ExampleSongPlaysItsStreamsAndTheStoppedPlayerStaysSilent) {
    SongRig rig;
    ASSERT_TRUE(rig.load());
    Player& p = rig.play();
    initPlayback(p, *rig.apu, 44100);
    p.reset();
    p.resetRequest = false;  // the export must raise it again
    p.currentOrder = 2;
    p.currentRow = 17;
    AudioRenderer renderer{p, *rig.apu};
    expectTestData("nsf/driver_demo.txt", runText(rig.nsf(), 900, 25));
    EXPECT_FALSE(p.captureMode);
    EXPECT_TRUE(p.resetRequest);
    std::vector<int16_t> out(22050);
    renderer.renderAudio(out.data(), long(out.size()));
    EXPECT_EQ(out, std::vector<int16_t>(out.size()));
    for (const ChannelState& ch : p.channels) EXPECT_EQ(ch.noteOn, 0);
    EXPECT_EQ(std::make_tuple(p.playing, p.currentOrder, p.currentRow), std::make_tuple(false, 2, 17));
}
