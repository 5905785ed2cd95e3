// Row processing, effects, envelopes and channel output, pinned as traces: each script in
// tests/data/player/ is followed by the register writes and changed player state of each frame.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "tests/TraceScripts.h"
#include "tests/player/PlayerRig.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDir = fs::path(BF_SOURCE_DIR) / "tests/data/player";

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
            rig->put(arg(0), arg(1), arg(2), arg(3), arg(4), arg(5), arg(6));
        } else if (op == "fx") {  // PATTERN CHANNEL ROW BYTE: the raw effect byte
            rig->cell(arg(0), arg(1), arg(2)).fx = uint8_t(arg(3));
        } else if (op == "tempo") {
            song.tempo = arg(0);
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
                {"repeat", [](Player& q, int v) { q.repeatBlockOn = v; }},
                {"marka", [](Player& q, int v) { q.repeatMarkA = v; }},
                {"markb", [](Player& q, int v) { q.repeatMarkB = v; }},
                {"stop", [](Player& q, int v) { q.stopRequest = v; }},
                {"maskchanged", [](Player& q, int v) { q.maskChanged = v; }},
                {"reconfigure", [](Player& q, int v) { q.reconfigureRequest = v; }},
                {"ntsc", [](Player& q, int v) { q.song.ntsc = v; }},
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
        } else if (op == "frames" || op == "tick") {  // N frames, or one scanline step's requests
            for (int n = op == "tick" ? 1 : arg(0); n > 0; --n) {
                rig->writes.clear();
                if (op == "tick") p.scanlineTick();
                const std::vector<RegisterWrite> writes = op == "tick" ? rig->writes : rig->frame();
                out << (op == "tick" ? "tick" : std::to_string(frame++)) << ":";
                // Runs of one value written to one address print once, with their count.
                for (size_t i = 0, j = 0; i < writes.size(); i = j) {
                    while (j < writes.size() && writes[j] == writes[i]) ++j;
                    char w[24];
                    std::snprintf(w, sizeof w, " %04X=%02X", writes[i].address, writes[i].value);
                    out << w;
                    if (j - i > 1) out << "*" << (j - i);
                }
                out << commands.text.str() << " |" << changes(observe(p), last) << "\n";
                commands.text.str("");
            }
        } else {
            throw std::runtime_error("unknown line: " + line);
        }
    }
    return out.str();
}

KEPT_TRACE_SUITE(PlayerTrace, kDir, run);

}  // namespace
