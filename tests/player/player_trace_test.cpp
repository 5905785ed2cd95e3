// Row processing, effects, envelopes and channel output, pinned as frame-by-frame traces.
// Each file under tests/data/player/ is a script (song set-up and frames to play) followed by
// "--- trace": per frame, the register writes and the player state that changed. Set
// BF_UPDATE_TRACES=1 to rewrite the traces after a deliberate change of behaviour.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "tests/TraceScripts.h"
#include "tests/player/PlayerRig.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDir = fs::path(BF_SOURCE_DIR) / "tests/data/player";

int num(const std::string& s) { return s == "off" ? NOTE_OFF : std::stoi(s, nullptr, 0); }

struct Field {
    std::string name;
    std::function<int(const Player&)> get;
};

std::vector<Field> fields() {
    std::vector<Field> out = {
        {"order", [](const Player& p) { return p.currentOrder; }},
        {"row", [](const Player& p) { return p.currentRow; }},
        {"speed", [](const Player& p) { return p.song.speed; }},
        {"tempo", [](const Player& p) { return p.song.tempo; }},
        {"acc", [](const Player& p) { return p.tempoAccumulator; }},
        {"end", [](const Player& p) { return int(p.endOfSongFlag); }},
        {"loop", [](const Player& p) { return int(p.loopRequested); }},
        {"playing", [](const Player& p) { return int(p.playing); }},
    };
    using C = ChannelState;
    const std::pair<const char*, int (*)(const Player&, const C&)> perChannel[] = {
        {"note", [](const Player&, const C& c) { return int(c.noteOn); }},
        {"pitch", [](const Player&, const C& c) { return c.pitch; }},
        {"sum", [](const Player& p, const C& c) { return p.pitchSum(c); }},
        {"vol", [](const Player&, const C& c) { return c.volume; }},
        {"volv", [](const Player&, const C& c) { return c.volumeValue; }},
        {"porta", [](const Player&, const C& c) { return c.portaTarget; }},
        {"vib", [](const Player&, const C& c) { return c.vibratoOffset; }},
        {"vibpos", [](const Player&, const C& c) { return c.vibPos; }},
        {"trem", [](const Player&, const C& c) { return c.tremoloOffset; }},
        {"arp", [](const Player&, const C& c) { return c.arpeggioOffset; }},
        {"noteenv", [](const Player&, const C& c) { return c.noteEnvOffset; }},
        {"period", [](const Player&, const C& c) { return c.lastPeriod; }},
    };
    for (int ch = 0; ch < CHANNEL_COUNT; ++ch)
        for (const auto& [name, get] : perChannel)
            out.push_back({"c" + std::to_string(ch) + "." + name,
                           [ch, get](const Player& p) { return get(p, p.channels[ch]); }});
    // The register image the exporters read.
    const int32_t FrameSnapshot::*snap[] = {
        &FrameSnapshot::pulse1PeriodHigh,   &FrameSnapshot::pulse1PeriodLow,
        &FrameSnapshot::pulse1DutyVolume,   &FrameSnapshot::pulse2PeriodHigh,
        &FrameSnapshot::pulse2PeriodLow,    &FrameSnapshot::pulse2DutyVolume,
        &FrameSnapshot::trianglePeriodHigh, &FrameSnapshot::trianglePeriodLow,
        &FrameSnapshot::triangleControl,    &FrameSnapshot::noisePeriod,
        &FrameSnapshot::noiseVolume,        &FrameSnapshot::dpcmKind,
        &FrameSnapshot::dpcmRate,           &FrameSnapshot::dpcmValue,
        &FrameSnapshot::pcmAmplitude,       &FrameSnapshot::pcmThreshold,
        &FrameSnapshot::dpcmTriggered,      &FrameSnapshot::sampleStarted};
    for (size_t i = 0; i < std::size(snap); ++i)
        out.push_back({"s" + std::to_string(i), [m = snap[i]](const Player& p) { return p.snapshot.*m; }});
    return out;
}

// Runs a script; returns its trace.
std::string run(std::istream& script) {
    static const std::vector<Field> all = fields();
    std::unique_ptr<PlayerRig> rig;
    CommandLog commands;
    std::vector<int> last;
    std::ostringstream out;
    std::string line;
    int frame = 0;
    while (std::getline(script, line) && line != "--- trace") {
        std::istringstream in(line);
        std::string op;
        std::vector<std::string> a;
        if (!(in >> op) || op[0] == '#') continue;
        for (std::string w; in >> w;) a.push_back(w);
        const auto arg = [&](size_t i, int otherwise = 0) { return i < a.size() ? num(a[i]) : otherwise; };
        if (op == "rig") {
            rig = std::make_unique<PlayerRig>(!a.empty() && a[0] == "ntsc");
            commands.entries.clear();
            last.clear();
            frame = 0;
            out << line << "\n";
            continue;
        }
        if (!rig) throw std::runtime_error("no rig before: " + line);
        Song& song = rig->song;
        Player& p = rig->player;
        if (op == "env") {  // env SLOT KIND VALUES... [loop N]
            static const std::map<std::string, EnvelopeKind> kinds = {
                {"volume", ENV_VOLUME}, {"note", ENV_NOTE}, {"duty", ENV_DUTY}, {"fine", ENV_FINETUNE}};
            std::vector<int> values;
            int loop = 0;
            for (size_t i = 2; i < a.size(); ++i) {
                if (a[i] == "loop")
                    loop = num(a[++i]);
                else
                    values.push_back(num(a[i]));
            }
            PlayerRig::setEnvelope(song.instruments[arg(0)].envelopes[kinds.at(a[1])], values, loop);
        } else if (op == "type") {
            static const std::map<std::string, InstrumentType> types = {{"normal", INST_NORMAL},
                                                                        {"pcm", INST_PCM},
                                                                        {"dpcm", INST_DPCM},
                                                                        {"pulse", INST_PCM_PULSE},
                                                                        {"saw", INST_PCM_SAW}};
            song.instruments[arg(0)].type = types.at(a[1]);
        } else if (op == "dpcm" || op == "pcm") {  // SLOT COUNT BYTE|ramp [loop]
            std::vector<uint8_t> bytes(size_t(arg(1)), uint8_t(a[2] == "ramp" ? 0 : arg(2)));
            if (a[2] == "ramp")  // 1, 2, ... 100, 1, 2, ...
                for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 100 + 1);
            Instrument& inst = song.instruments[arg(0)];
            (op == "dpcm" ? inst.dpcm : inst.pcm).assign(bytes.data(), uint32_t(bytes.size()), a.size() > 3);
        } else if (op == "put") {  // PATTERN CHANNEL ROW NOTE [INSTRUMENT [EFFECT PARAMETER]]
            rig->put(arg(0), arg(1), arg(2), arg(3), arg(4), arg(5), arg(6));
        } else if (op == "fx") {  // PATTERN CHANNEL ROW BYTE: the raw effect byte
            rig->cell(arg(0), arg(1), arg(2)).fx = uint8_t(arg(3));
        } else if (op == "tempo") {
            song.tempo = arg(0);
        } else if (op == "speed") {
            song.speed = arg(0);
        } else if (op == "orders") {  // ENTRIES...
            song.orders.count = int(a.size());
            for (size_t i = 0; i < a.size(); ++i) song.orders.entries[i] = uint8_t(arg(i));
        } else if (op == "set") {
            static const std::map<std::string, std::function<void(Player&, int)>> setters = {
                {"capture", [](Player& q, int v) { q.captureMode = v; }},
                {"metronome", [](Player& q, int v) { q.metronomeOn = v; }},
                {"mask", [](Player& q, int v) { q.channelMask = v; }},
                {"loop", [](Player& q, int v) { q.loopRequested = v; }},
                {"reset", [](Player& q, int v) { q.resetRequest = v; }},
                {"row", [](Player& q, int v) { q.currentRow = v; }},
            };
            setters.at(a[0])(p, arg(1));
        } else if (op == "commands") {
            p.commandSink = &commands;
        } else if (op == "play") {
            rig->play(!a.empty() && a[0] == "pattern");
        } else if (op == "frames") {
            for (int n = arg(0); n > 0; --n) {
                const std::vector<RegisterWrite> writes = rig->frame();
                std::ostringstream f;
                // Runs of one value written to one address print once, with their count.
                for (size_t i = 0; i < writes.size();) {
                    size_t j = i;
                    while (j < writes.size() && writes[j] == writes[i]) ++j;
                    char w[24];
                    std::snprintf(w, sizeof w, " %04X=%02X", writes[i].address, writes[i].value);
                    f << w;
                    if (j - i > 1) f << "*" << (j - i);
                    i = j;
                }
                for (const CommandLog::Entry& e : commands.entries)
                    f << " cmd" << e.channel << ":" << std::hex << e.code << std::dec << ":" << e.argument;
                commands.entries.clear();
                f << " |";
                for (size_t k = 0; k < all.size(); ++k) {
                    const int v = all[k].get(p);
                    if (last.size() <= k || last[k] != v) f << " " << all[k].name << "=" << v;
                    if (last.size() <= k) last.push_back(v);
                    last[k] = v;
                }
                out << frame++ << ":" << f.str() << "\n";
            }
        } else {
            throw std::runtime_error("unknown line: " + line);
        }
    }
    return out.str();
}

class PlayerTrace : public testing::TestWithParam<std::string> {};

TEST_P(PlayerTrace, MatchesTheKeptTrace) { expectKeptTrace(kDir / (GetParam() + ".txt"), run); }

INSTANTIATE_TEST_SUITE_P(Scripts, PlayerTrace, testing::ValuesIn(traceScripts(kDir)),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
