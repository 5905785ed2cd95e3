// Row processing, effects, envelopes, channel output, tables and damaged song data as traces
// (tests/data/player/*.txt: the register writes and changed player state of each frame); then what
// a listener gets: rendered audio, renders streamed to files, the render and trace commands.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "apu/Apu.h"
#include "apu/ApuHarness.h"
#include "player/AudioFile.h"
#include "player/AudioRenderer.h"
#include "player/OfflinePlayback.h"
#include "player/Player.h"
#include "song/SongFile.h"
#include "tests/AudioRead.h"
#include "tests/TraceScripts.h"
#include "tests/app/Golden.h"
#include "tests/converter/TestData.h"
#include "tests/song/FileBytes.h"

namespace fs = std::filesystem;

namespace {

// A song, an Apu and a Player wired as the program wires them, with per-frame register capture.
using RegisterWrite = std::pair<uint16_t, uint8_t>;  // address, value

struct PlayerRig : RegisterTraceSink {
    std::unique_ptr<Song> songPtr = std::make_unique<Song>();
    Song& song = *songPtr;
    Nonlinear_Buffer buffer;
    Apu apu{buffer};
    Player player{song, apu};
    AudioRenderer renderer{player, apu};
    std::vector<RegisterWrite> writes;  // the register writes traced

    explicit PlayerRig(bool ntsc = false) {
        song.ntsc = ntsc;
        initPlayback(player, apu, 44100);
        player.reset();
        player.traceSink = this;
    }

    // Starts the song from order 0, row 0 and serves the requests, as a play command does.
    void play(bool patternMode = false) {
        player.currentOrder = 0;
        player.currentRow = 0;
        player.frameInRow = 0;
        player.start(patternMode);
        player.serveRequests();
        writes.clear();
    }

    // Runs one frame (frame tick and 312 scanline steps); returns its register writes.
    std::vector<RegisterWrite> frame() {
        writes.clear();
        do renderer.runScanline();
        while (renderer.scanline() != 0);
        std::vector<int16_t> drop(size_t(buffer.samplesAvailable()));
        buffer.readSamples(drop.data(), long(drop.size()));
        return writes;
    }

    void registerWritten(uint16_t address, uint8_t value) override { writes.push_back({address, value}); }
};

// " cmdCHANNEL:CODE:ARGUMENT" for each driver command, the code in hexadecimal.
struct CommandLog : DriverCommandSink {
    std::ostringstream text;
    void recordDriverCommand(int channel, int code, int argument) override {
        text << " cmd" << channel << ":" << std::hex << code << std::dec << ":" << argument;
    }
};

int num(const std::string& s) { return s == "off" ? NOTE_OFF : std::stoi(s, nullptr, 0); }

// What the trace watches, by name.
std::vector<std::pair<std::string, int>> observe(const Player& p) {
    std::vector<std::pair<std::string, int>> out = {
        {"order", p.currentOrder}, {"row", p.currentRow},       {"speed", p.song.speed},
        {"tempo", p.song.tempo},   {"acc", p.tempoAccumulator}, {"end", p.endOfSongFlag},
        {"loop", p.loopRequested}, {"playing", p.playing},      {"table45", p.periodTable[45]}};
    // Requests waiting: reset 1, stop 2, mask 4, reconfigure 8.
    out.push_back(
        {"requests", p.resetRequest + 2 * p.stopRequest + 4 * p.maskChanged + 8 * p.reconfigureRequest});
    for (int ch = 0; ch < CHANNEL_COUNT; ++ch) {
        const ChannelState& c = p.channels[ch];
        const std::pair<const char*, int> values[] = {
            {"note", c.noteOn},        {"pitch", c.pitch},           {"sum", p.pitchSum(c)},
            {"vol", c.volume},         {"volv", c.volumeValue},      {"porta", c.portaTarget},
            {"vib", c.vibratoOffset},  {"vibpos", c.vibPos},         {"trem", c.tremoloOffset},
            {"arp", c.arpeggioOffset}, {"noteenv", c.noteEnvOffset}, {"period", c.lastPeriod}};
        for (const auto& [name, v] : values) out.push_back({"c" + std::to_string(ch) + "." + name, v});
    }
    const PcmVoice& v = p.pcm;
    out.insert(out.end(),
               {{"pcm.inst", v.pcmInstrument}, {"pcm.pos", int(v.position)}, {"pcm.step", v.step}});
    // The register image the exporters read: all of it int32_t fields, s0 to s17 in their order.
    static_assert(sizeof(FrameSnapshot) == 18 * sizeof(int32_t));
    const auto* words = reinterpret_cast<const int32_t*>(&p.snapshot);
    for (int i = 0; i < 18; ++i) out.push_back({"s" + std::to_string(i), words[i]});
    return out;
}

// Runs a script; returns its trace.
std::string run(std::istream& script) {
    std::unique_ptr<PlayerRig> rig;
    CommandLog commands;
    std::vector<int> last;
    std::ostringstream out;
    std::string line;
    int frame = 0;
    // Runs of one value written to one address print once, with their count.
    const auto written = [](const std::vector<RegisterWrite>& writes) {
        std::ostringstream text;
        for (size_t i = 0, j = 0; i < writes.size(); i = j) {
            while (j < writes.size() && writes[j] == writes[i]) ++j;
            char w[24];
            std::snprintf(w, sizeof w, " %04X=%02X", writes[i].first, writes[i].second);
            text << w;
            if (j - i > 1) text << "*" << (j - i);
        }
        return text.str();
    };
    while (std::getline(script, line) && line != "--- trace") {
        std::istringstream in(line);
        std::string op;
        std::vector<std::string> a;
        if (!(in >> op) || op[0] == '#') continue;
        for (std::string w; in >> w;) a.push_back(w);
        const auto arg = [&](size_t i, int otherwise = 0) { return i < a.size() ? num(a[i]) : otherwise; };
        if (op == "rig") {
            rig = std::make_unique<PlayerRig>(!a.empty() && a[0] == "ntsc");
            commands.text.str("");
            last.clear();
            frame = 0;
            out << line << "\n";
            continue;
        }
        if (!rig) throw std::runtime_error("no rig before: " + line);
        Song& song = rig->song;
        Player& p = rig->player;
        static const std::map<std::string, EnvelopeKind> kinds = {
            {"volume", ENV_VOLUME}, {"note", ENV_NOTE}, {"duty", ENV_DUTY}, {"fine", ENV_FINETUNE}};
        if (op == "env") {  // env SLOT KIND VALUES... [loop N]
            const auto loop = std::find(a.begin(), a.end(), "loop");
            std::vector<int> values;
            std::transform(a.begin() + 2, loop, std::back_inserter(values), num);
            setEnvelope(song.instruments[arg(0)].envelopes[kinds.at(a[1])], values,
                        loop == a.end() ? 0 : num(loop[1]));
        } else if (op == "fill") {  // SLOT KIND VALUE: every slot of an envelope, the marker's too
            std::ranges::fill(song.instruments[arg(0)].envelopes[kinds.at(a[1])].values, arg(2));
        } else if (op == "type") {
            static const std::map<std::string, InstrumentType> types = {
                {"pcm", INST_PCM}, {"dpcm", INST_DPCM}, {"pulse", INST_PCM_PULSE}, {"saw", INST_PCM_SAW}};
            song.instruments[arg(0)].type = types.at(a[1]);
        } else if (op == "dpcm" || op == "pcm") {  // SLOT COUNT BYTE|ramp [loop]
            std::vector<uint8_t> bytes(size_t(arg(1)), uint8_t(a[2] == "ramp" ? 0 : arg(2)));
            if (a[2] == "ramp")  // 1, 2, ... 100, 1, 2, ...
                for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 100 + 1);
            Instrument& inst = song.instruments[arg(0)];
            (op == "dpcm" ? inst.dpcm : inst.pcm).assign(bytes.data(), uint32_t(bytes.size()), a.size() > 3);
        } else if (op == "put") {  // PATTERN CHANNEL ROW NOTE [INSTRUMENT [EFFECT PARAMETER]]
            PatternCell& c = song.patterns[arg(0)].at(arg(1), arg(2));
            c.note = uint8_t(arg(3));
            c.instrument = uint8_t(arg(4));
            c.setEffect(arg(5), arg(6));
        } else if (op == "fx") {  // PATTERN CHANNEL ROW BYTE: the raw effect byte
            song.patterns[arg(0)].at(arg(1), arg(2)).fx = uint8_t(arg(3));
        } else if (op == "orders") {  // ENTRIES...
            song.orders.count = int(a.size());  // a damaged count may pass the list's end
            for (size_t i = 0; i < a.size() && i < std::size(song.orders.entries); ++i)
                song.orders.entries[i] = uint8_t(arg(i));
        } else if (op == "set") {
            static const std::map<std::string, std::function<void(Player&, int)>> setters = {
                {"capture", [](Player& q, int v) { q.captureMode = v; }},
                {"metronome", [](Player& q, int v) { q.metronomeOn = v; }},
                {"mask", [](Player& q, int v) { q.channelMask = v; }},
                {"loop", [](Player& q, int v) { q.loopRequested = v; }},
                {"reset", [](Player& q, int v) { q.resetRequest = v; }},
                {"row", [](Player& q, int v) { q.currentRow = v; }},
                {"repeat", [](Player& q, int v) { q.repeatBlockOn = v; }},
                {"marka", [](Player& q, int v) { q.repeatMarkA = v; }},
                {"markb", [](Player& q, int v) { q.repeatMarkB = v; }},
                {"stop", [](Player& q, int v) { q.stopRequest = v; }},
                {"maskchanged", [](Player& q, int v) { q.maskChanged = v; }},
                {"reconfigure", [](Player& q, int v) { q.reconfigureRequest = v; }},
                {"ntsc", [](Player& q, int v) { q.song.ntsc = v; }},
                {"tempo", [](Player& q, int v) { q.song.tempo = v; }},
                {"pcm", [](Player& q, int v) { q.pcm.pcmInstrument = v; }},
                {"pcmhalves", [](Player& q, int v) { q.pcm.position = v / 2.0; }},  // in half bytes
            };
            setters.at(a[0])(p, arg(1));
        } else if (op == "commands") {
            p.commandSink = &commands;
        } else if (op == "play") {
            rig->play(!a.empty() && a[0] == "pattern");
        } else if (op == "memory") {  // ADDRESS...: sample memory as the DMC reads it, and its level
            out << "memory:";
            for (size_t i = 0; i < a.size(); ++i)
                out << " " << int(Player::readSampleMemory(&p, uint16_t(arg(i))));
            out << " dac=" << rig->apu.dmc.dac << "\n";
        } else if (op == "skip") {  // N frames, not traced
            for (int n = arg(0); n > 0; --n, ++frame) rig->frame();
        } else if (op == "frames" || op == "tick") {  // N frames, or one scanline step's requests
            for (int n = op == "tick" ? 1 : arg(0); n > 0; --n) {
                rig->writes.clear();
                if (op == "tick") p.scanlineTick();
                const std::vector<RegisterWrite> writes = op == "tick" ? rig->writes : rig->frame();
                out << (op == "tick" ? "tick" : std::to_string(frame++)) << ":" << written(writes);
                out << commands.text.str() << " |" << changes(observe(p), last) << "\n";
                commands.text.str("");
            }
        } else if (op == "glide") {  // FROM TO: pulse 1 from one period (-1: none yet) to another
            ChannelState& ch = p.channels[0];
            // The hardware on the old period first, so that the glide shows on the Apu too.
            if (arg(0) >= 0) {
                rig->apu.writeRegister(0x4002, uint8_t(arg(0) & 0xFF));
                rig->apu.writeRegister(0x4003, uint8_t(arg(0) >> 8));
                rig->apu.endScanline();
            }
            ch.lastPeriod = arg(0);
            for (ch.pitch = 256; ch.pitch < 96 * 256 && p.periodForPitch(ch.pitch) != arg(1);) ++ch.pitch;
            rig->writes.clear();
            p.writeChannels();
            for (int i = 0; i < 8; ++i) rig->apu.endScanline();
            out << "glide:" << written(rig->writes) << " | period " << ch.lastPeriod << ", sounding "
                << rig->apu.pulse1.period() << "\n";
        } else if (op == "tables") {  // the period and vibrato tables, one vibrato cycle, periods by pitch
            int32_t table[PERIOD_TABLE_SIZE], vib[16][16];
            for (bool ntsc : {false, true}) {
                buildPeriodTable(ntsc, table);
                out << (ntsc ? "ntsc" : "pal");
                for (int32_t v : table) out << " " << v;
                out << "\n";
            }
            buildVibratoTable(vib);
            for (const auto& row : vib) {
                for (int32_t v : row) out << " " << v;
                out << "\n";
            }
            for (int position = 0; position < 64; ++position) out << " " << vibratoValue(vib, position, 15);
            out << "\npitch";  // every quarter semitone, past both ends
            for (int pitch = -5 * 256; pitch <= 120 * 256; pitch += 64) out << " " << p.periodForPitch(pitch);
            out << "\n";
        } else if (op == "offline") {  // a run to the loop point or the end: its frames, its last row
            const size_t frames = traceSong(p, rig->apu, 0).size();
            out << "offline: " << frames << " frames, on row " << p.currentRow << "\n";
        } else {
            throw std::runtime_error("unknown line: " + line);
        }
    }
    return out.str();
}

KEPT_TRACE_SUITE(PlayerTrace, fs::path(BF_SOURCE_DIR) / "tests/data/player", run);

const std::string demoPath = std::string(BF_SOURCE_DIR) + "/examples/demo.zcm";
const fs::path dir = scratch();

// Runs the CLI, which must succeed; returns what it printed (standard output also in dir / "out").
std::string ran(const std::string& args) {
    const ToolRun r = runTool(args);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.output();
    return r.output();
}

void loadExample(Song& song, const std::string& name) {
    SongLoadHooks hooks;
    const std::string path = std::string(BF_SOURCE_DIR) + "/examples/" + name + ".zcm";
    ASSERT_TRUE(loadSongFile(song, path, hooks)) << path;
}

struct Collect : SampleSink {
    std::vector<int16_t> samples;
    bool write(const int16_t* s, size_t n) override {
        samples.insert(samples.end(), s, s + n);
        return true;
    }
};

}  // namespace

TEST(PlayerListen, CallbackSizesDoNotChangeTheAudio) {
    auto render = [](long chunk) {
        PlayerRig rig;
        loadExample(rig.song, "demo");
        rig.player.traceSink = nullptr;
        rig.play();
        std::vector<int16_t> out(44100);
        for (long at = 0; at < long(out.size()); at += chunk)
            rig.renderer.renderAudio(out.data() + at, std::min(chunk, long(out.size()) - at));
        return out;
    };
    std::vector<int16_t> whole = render(44100);
    EXPECT_EQ(render(100), whole);  // smaller than a frame: frames span callbacks
    EXPECT_EQ(render(4096), whole);
    EXPECT_GT(measureRms(whole), 500.0);
}

// The example songs and a test song rendered in several ways, pinned in player/cases/renders.txt.
TEST(AudioExport, SongsRenderToPinnedSamples) {
    expectTable("player/cases/renders", [](const std::string& c) {
        std::string name;
        RenderOptions o;
        int ntsc = 0;
        std::istringstream(c) >> name >> o.sampleRate >> o.channelMask >> ntsc >> o.passes >> o.fadeSeconds >>
            o.seconds;
        auto song = std::make_unique<Song>();
        if (name.starts_with("player/"))
            loadSongScript(*song, name);
        else
            loadExample(*song, name);
        if (ntsc >= 0) song->ntsc = ntsc == 1;
        Nonlinear_Buffer buffer;
        Apu apu(buffer);
        Player player(*song, apu);
        Collect sink;
        EXPECT_TRUE(renderStream(player, apu, o, sink).ok);
        uint64_t print = 1469598103934665603ull;
        for (int16_t sample : sink.samples) print = (print ^ uint16_t(sample)) * 1099511628211ull;
        char text[80];
        std::snprintf(text, sizeof text, "%zu samples, the last %d, %016llx", sink.samples.size(),
                      sink.samples.back(), static_cast<unsigned long long>(print));
        return std::string(text);
    });
}

TEST(AudioExport, FilesReadBackInEveryFormatAndStreamsHoldTheirBytes) {
    const auto song = songScript("player/three-voices");
    AudioExportOptions options;
    options.render.seconds = 1.5;
    options.render.sampleRate = 32000;
    std::string error;
    SF_INFO info;
    for (const char* name : {"a.wav", "b.FLAC", "c.ogg"}) {
        ASSERT_TRUE(exportAudio(*song, (dir / name).string(), options, {}, error)) << name << error;
        const std::vector<int16_t> s = readAudio(dir / name, info);
        EXPECT_EQ(std::make_tuple(info.samplerate, info.channels, s.size()),
                  std::make_tuple(32000, 1, 48000u))
            << name;
        EXPECT_GT(measurePeakToPeak(s), 0) << name;
    }
    // Stems are files, one for each channel chosen.
    options.stems = true;
    EXPECT_FALSE(exportAudio(*song, "-", options, {}, error));
    EXPECT_EQ(error, "stems need a file name, not standard output");
    options.render.channelMask = 0;
    EXPECT_FALSE(exportAudio(*song, (dir / "none.wav").string(), options, {}, error));
    EXPECT_EQ(error, "no channel to render");
    // An export cancelled during the fade keeps the old file and leaves no temporary behind.
    const fs::path keep = dir / "keep.wav";
    std::ofstream(keep) << "old contents";
    options = {};
    options.render.seconds = 0.5;
    options.render.fadeSeconds = 2;
    int calls = 0;
    EXPECT_FALSE(exportAudio(
        *song, keep.string(), options, [&](double) { return ++calls < 2; }, error));
    EXPECT_EQ(std::tie(error, calls), std::make_tuple("cancelled", 2));
    EXPECT_EQ(slurp(keep), "old contents");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find("keep.wav.tmp"), std::string::npos) << entry.path();
    // A WAV stream's bytes (its sizes filled in at the end on a file); a write that fails is reported.
    const int16_t samples[] = {1, -2, 0x1234};
    const int fd = ::open((dir / "stream.wav").c_str(), O_CREAT | O_TRUNC | O_RDWR, 0644);
    WavStreamSink sink(fd, 22050);
    EXPECT_TRUE(sink.write(samples, 3) && sink.finish());
    ::close(fd);
    std::string hex;
    for (unsigned char c : slurp(dir / "stream.wav"))
        hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
    EXPECT_EQ(hex,
              "524946462A00000057415645666D742010000000010001002256000044AC00000200100064617461060000000100FE"
              "FF3412");
    const int full = ::open("/dev/full", O_WRONLY);
    EXPECT_FALSE(WavStreamSink(full, 22050).write(samples, 3));
    ::close(full);
}

// The render command's file is the whole-song render; the committed demo song is what make_demo
// writes. Standard output carries a WAV stream; stems are files, one for each channel chosen.
TEST(PlayerListen, RenderAndTraceCommands) {
    ran("render '" + demoPath + "' '" + (dir / "demo.wav").string() + "'");
    SF_INFO info;
    std::vector<int16_t> s = readAudio(dir / "demo.wav", info);
    EXPECT_EQ(std::make_tuple(info.samplerate, info.channels, info.format),
              std::make_tuple(44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    PlayerRig rig;
    loadExample(rig.song, "demo");
    rig.player.traceSink = nullptr;
    EXPECT_TRUE(s == renderSong(rig.player, rig.apu, 44100, 0.0)) << "the file is not the whole-song render";
    ASSERT_EQ(std::system(("'" BF_BINARY_DIR "/examples/make_demo' '" + dir.string() + "'").c_str()), 0);
    EXPECT_EQ(slurp(dir / "demo.zcm"), slurp(demoPath)) << "examples/demo.zcm differs from make_demo's";

    ran("render '" + demoPath + "' - --seconds 1");
    EXPECT_EQ(readAudio(dir / "out", info).size(), 44100u);
    ran("render '" + demoPath + "' '" + (dir / "a.wav").string() + "' --seconds 2 --rate 22050 --ntsc");
    EXPECT_EQ(readAudio(dir / "a.wav", info).size(), 44100u);
    EXPECT_EQ(info.samplerate, 22050);
    ran("render '" + demoPath + "' '" + (dir / "st.wav").string() +
        "' --seconds 1 --fade 0.5 --channels 1,triangle --stems --rate 22050");
    EXPECT_EQ(readAudio(dir / "st-Pulse1.wav", info).size(), 33075u);
    EXPECT_EQ(readAudio(dir / "st-Triangle.wav", info).size(), 33075u);
    EXPECT_FALSE(fs::exists(dir / "st-Noise.wav"));
    // The first five frames and the frame reaching order 1, kept in tests/data/player/trace_demo.out:
    // frame 0 starts with the song's first row.
    const std::string out = ran("trace '" + demoPath + "' --frames " + std::to_string(64 * 6 + 1));
    size_t fifth = 0;
    for (int n = 0; n < 5; ++n) fifth = out.find('\n', fifth) + 1;
    expectTestData("player/trace_demo.out",
                   out.substr(0, fifth) + out.substr(out.rfind('\n', out.size() - 2) + 1));
    // Without --frames the trace ends at the loop point: six patterns of 64 rows of 6 frames.
    const std::string whole = ran("trace '" + demoPath + "'");
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 6 * 64 * 6);
}

// Refused render and trace commands and what they say, kept in tests/data/player/cases/refused.txt
// (DEMO stands for the demo song, DIR for a scratch folder).
TEST(PlayerListen, RefusedCommandsSayWhy) {
    const auto replaced = [](std::string s, const std::string& from, const std::string& to) {
        for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
            s.replace(at, from.size(), to);
        return s;
    };
    expectTable("player/cases/refused", [&](const std::string& args) {
        const ToolRun r =
            runTool(replaced(replaced(args, "DEMO", "'" + demoPath + "'"), "DIR", dir.string()));
        return replaced(std::to_string(r.status) + " " + r.output(), dir.string(), "DIR");
    });
}
