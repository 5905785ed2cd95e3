// Row processing, effects, envelopes, channel output, tables and damaged song data as traces
// (tests/data/player/*.txt: the register writes and changed player state of each frame); then what
// a listener gets: rendered audio, renders streamed to files, the render and trace commands.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
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

// A song, an Apu and a Player wired as the program wires them; in a trace, also the sink of the
// register writes and driver commands not printed yet.
using RegisterWrite = std::pair<uint16_t, uint8_t>;  // address, value

struct PlayerRig : RegisterTraceSink, DriverCommandSink {
    std::unique_ptr<Song> songPtr = std::make_unique<Song>();
    Song& song = *songPtr;
    Nonlinear_Buffer buffer;
    Apu apu{buffer};
    Player player{song, apu};
    AudioRenderer renderer{player, apu};
    std::vector<RegisterWrite> writes;
    std::ostringstream commands;  // " cmdCHANNEL:CODE:ARGUMENT" each, the code in hexadecimal
    std::vector<int> last;        // the watched values last printed
    int frames = 0;               // frames run

    explicit PlayerRig(bool ntsc = false) {
        song.ntsc = ntsc;
        initPlayback(player, apu, 44100);
        player.reset();
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
        ++frames;
        return writes;
    }

    void registerWritten(uint16_t address, uint8_t value) override { writes.push_back({address, value}); }
    void recordDriverCommand(int channel, int code, int argument) override {
        commands << " cmd" << channel << ":" << std::hex << code << std::dec << ":" << argument;
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

std::string run(std::istream& script) {
    std::unique_ptr<PlayerRig> rig;
    std::ostringstream out;
    std::string line;
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
            rig->player.traceSink = rig.get();
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
            for (size_t i = 0; a[2] == "ramp" && i < bytes.size(); ++i) bytes[i] = uint8_t(i % 100 + 1);
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
            std::atomic<bool>& reconfigure = p.reconfigureRequest;
            const std::map<std::string, std::variant<bool*, int*, std::atomic<bool>*>> fields = {
                {"maskchanged", &p.maskChanged}, {"loop", &p.loopRequested},    {"ntsc", &song.ntsc},
                {"pcm", &p.pcm.pcmInstrument},   {"reconfigure", &reconfigure}, {"row", &p.currentRow},
                {"metronome", &p.metronomeOn},   {"reset", &p.resetRequest},    {"tempo", &song.tempo},
                {"repeat", &p.repeatBlockOn},    {"marka", &p.repeatMarkA},     {"mask", &p.channelMask},
                {"capture", &p.captureMode},     {"markb", &p.repeatMarkB},     {"stop", &p.stopRequest}};
            if (a[0] == "pcmhalves")  // the PCM voice's read position, in half bytes
                p.pcm.position = arg(1) / 2.0;
            else
                std::visit([&](auto* field) { *field = arg(1); }, fields.at(a[0]));
        } else if (op == "commands") {
            p.commandSink = rig.get();
        } else if (op == "play") {
            rig->play(!a.empty() && a[0] == "pattern");
        } else if (op == "memory") {  // ADDRESS...: sample memory as the DMC reads it, and its level
            out << "memory:";
            for (size_t i = 0; i < a.size(); ++i)
                out << " " << int(Player::readSampleMemory(&p, uint16_t(arg(i))));
            out << " dac=" << rig->apu.dmc.dac << "\n";
        } else if (op == "skip") {  // N frames, not traced
            for (int n = arg(0); n > 0; --n) rig->frame();
        } else if (op == "frames" || op == "tick") {  // N frames, or one scanline step's requests
            for (int n = op == "tick" ? 1 : arg(0); n > 0; --n) {
                rig->writes.clear();
                if (op == "tick") p.scanlineTick();
                const std::vector<RegisterWrite> writes = op == "tick" ? rig->writes : rig->frame();
                out << (op == "tick" ? "tick" : std::to_string(rig->frames - 1)) << ":" << written(writes);
                out << rig->commands.str() << " |" << changes(observe(p), rig->last) << "\n";
                rig->commands.str("");
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
            for (int i = 0; i < 16 * 16; ++i) out << " " << vib[i / 16][i % 16] << (i % 16 == 15 ? "\n" : "");
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

// Exports that fail or are cancelled, and a WAV stream's bytes (the formats files are written in
// are checked through the render command, below).
TEST(AudioExport, FailedExportsAndStreamBytes) {
    const auto song = songScript("player/three-voices");
    AudioExportOptions options;
    options.stems = true;
    options.render.channelMask = 0;
    std::string error;
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
    EXPECT_EQ(readFile(keep), "old contents");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find("keep.wav.tmp"), std::string::npos) << entry.path();
    // A WAV stream's bytes (its sizes filled in at the end on a file); a write that fails is reported.
    const int16_t samples[] = {1, -2, 0x1234};
    const int fd = ::open((dir / "stream.wav").c_str(), O_CREAT | O_TRUNC | O_RDWR, 0644);
    WavStreamSink sink(fd, 22050);
    EXPECT_TRUE(sink.write(samples, 3) && sink.finish());
    ::close(fd);
    std::string hex;
    for (unsigned char c : readFile(dir / "stream.wav"))
        hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
    EXPECT_EQ(hex,
              "524946462A00000057415645666D742010000000010001002256000044AC00000200100064617461060000000100FE"
              "FF3412");
    const int full = ::open("/dev/full", O_WRONLY);
    EXPECT_FALSE(WavStreamSink(full, 22050).write(samples, 3));
    ::close(full);
}

// The render command's file is the whole-song render, the same however the sound callback cuts it
// (100 samples is less than a frame: frames span callbacks); the committed demo song is what
// make_demo writes.
TEST(PlayerListen, RenderedFileIsTheWholeSongAtAnyCallbackSize) {
    const ToolRun r = runTool("render '" + demoPath + "' '" + (dir / "demo.wav").string() + "'");
    ASSERT_EQ(r.status, 0) << r.output();
    SF_INFO info;
    const std::vector<int16_t> s = readAudio(dir / "demo.wav", info);
    PlayerRig offline;
    loadExample(offline.song, "demo");
    EXPECT_TRUE(s == renderSong(offline.player, offline.apu, 44100, 0.0))
        << "the file is not the whole-song render";
    for (long chunk : {100L, 4096L}) {
        PlayerRig rig;
        loadExample(rig.song, "demo");
        rig.play();
        std::vector<int16_t> out(44100);
        for (long at = 0; at < long(out.size()); at += chunk)
            rig.renderer.renderAudio(out.data() + at, std::min(chunk, long(out.size()) - at));
        EXPECT_TRUE(s.size() > out.size() && std::equal(out.begin(), out.end(), s.begin())) << chunk;
    }
    ASSERT_EQ(std::system(("'" BF_BINARY_DIR "/examples/make_demo' '" + dir.string() + "'").c_str()), 0);
    EXPECT_EQ(readFile(dir / "demo.zcm"), readFile(demoPath)) << "examples/demo.zcm differs from make_demo's";
}

// Render and trace commands: what they print (of more than five lines, their count and the last)
// and the audio files they leave (each in an empty folder), kept in tests/data/player/cases/commands.txt.
// DEMO stands for the demo song, DIR for the folder; a WAV stream on standard output reads back as "out".
TEST(PlayerListen, CommandsSayWhyOrLeaveTheirFiles) {
    const fs::path files = dir / "files";
    const auto audio = [](const fs::path& path) {
        SF_INFO info;
        const std::vector<int16_t> s = readAudio(path, info);
        char text[160];
        std::snprintf(text, sizeof text, "%s: %d Hz x%d, format %06X, %zu samples, peak-to-peak %d\n",
                      path.filename().c_str(), info.samplerate, info.channels, info.format, s.size(),
                      measurePeakToPeak(s));
        return std::string(text);
    };
    expectTable("player/cases/commands", [&](const std::string& args) {
        fs::remove_all(files);
        fs::create_directory(files);
        const ToolRun r =
            runTool(replaceAll(replaceAll(args, "DEMO", "'" + demoPath + "'"), "DIR", files.string()));
        std::string said = r.out.starts_with("RIFF") ? audio(dir / "out") : r.out;
        if (const auto lines = std::count(said.begin(), said.end(), '\n'); lines > 5)
            said = std::to_string(lines) +
                   " lines, the last: " + said.substr(said.rfind('\n', said.size() - 2) + 1);
        std::set<fs::path> left;
        for (const auto& entry : fs::directory_iterator(files)) left.insert(entry.path());
        for (const fs::path& file : left) said += audio(file);
        return replaceAll(std::to_string(r.status) + " " + said + r.err, files.string(), "DIR");
    });
}
