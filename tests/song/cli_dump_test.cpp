// Runs the built bleepforge-cli and make_example and checks what they write.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "song/SongFile.h"
#include "tests/song/FileBytes.h"

namespace fs = std::filesystem;

namespace {

// Just enough JSON to check the dump: objects, arrays, strings, integers, booleans.
struct Json {
    enum Kind { NUMBER, BOOL, STRING, ARRAY, OBJECT } kind = NUMBER;
    long long number = 0;
    bool boolean = false;
    std::string text;  // \u00XX escapes decode to the byte XX
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const std::string& key) const {
        for (const auto& [k, v] : members)
            if (k == key) return v;
        throw std::runtime_error("no key " + key);
    }
    const Json& operator[](size_t i) const { return items.at(i); }
    std::vector<std::string> keys() const {
        std::vector<std::string> out;
        for (const auto& m : members) out.push_back(m.first);
        return out;
    }
};

class JsonParser {
  public:
    explicit JsonParser(const std::string& s) : s_(s) {}
    Json parseDocument() {
        Json v = parseValue();
        skipSpace();
        if (pos_ != s_.size()) fail("trailing text");
        return v;
    }

  private:
    [[noreturn]] void fail(const char* what) {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(pos_));
    }
    void skipSpace() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    char peek() {
        skipSpace();
        return pos_ < s_.size() ? s_[pos_] : '\0';
    }
    void expect(char c) {
        if (peek() != c) fail("unexpected character");
        ++pos_;
    }
    Json parseValue() {
        Json v;
        char c = peek();
        if (c == '{') {
            v.kind = Json::OBJECT;
            ++pos_;
            if (peek() == '}') return ++pos_, v;
            do {
                std::string key = parseString();
                expect(':');
                v.members.emplace_back(key, parseValue());
            } while (peek() == ',' && ++pos_);
            expect('}');
        } else if (c == '[') {
            v.kind = Json::ARRAY;
            ++pos_;
            if (peek() == ']') return ++pos_, v;
            do v.items.push_back(parseValue());
            while (peek() == ',' && ++pos_);
            expect(']');
        } else if (c == '"') {
            v.kind = Json::STRING;
            v.text = parseString();
        } else if (s_.compare(pos_, 4, "true") == 0 || s_.compare(pos_, 5, "false") == 0) {
            v.kind = Json::BOOL;
            v.boolean = s_[pos_] == 't';
            pos_ += v.boolean ? 4 : 5;
        } else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            size_t used = 0;
            v.number = std::stoll(s_.substr(pos_), &used);
            pos_ += used;
        } else {
            fail("bad value");
        }
        return v;
    }
    std::string parseString() {
        expect('"');
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            unsigned char c = static_cast<unsigned char>(s_[pos_++]);
            if (c < 0x20 || c >= 0x80) fail("raw control or non-ASCII byte in string");
            if (c != '\\') {
                out += char(c);
                continue;
            }
            char e = s_.at(pos_++);
            static const std::string escapes = "\"\\/nrt", meanings = "\"\\/\n\r\t";
            if (e == 'u') {
                unsigned code = std::stoul(s_.substr(pos_, 4), nullptr, 16);
                if (code > 0xFF) fail("unexpected code point");
                out += char(code);
                pos_ += 4;
            } else if (escapes.find(e) != std::string::npos) {
                out += meanings[escapes.find(e)];
            } else {
                fail("bad escape");
            }
        }
        expect('"');
        return out;
    }
    const std::string& s_;
    size_t pos_ = 0;
};

struct ToolRun {
    int status = -1;
    std::string out, err;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path scratch() {
    fs::path dir = fs::path(testing::TempDir()) / ("songcli" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

ToolRun runTool(const std::string& args) {
    fs::path dir = scratch();
    std::string cmd = std::string("'") + BF_BINARY_DIR + "/cli/bleepforge-cli' " + args + " >'" +
                      (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
    ToolRun r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(dir / "out");
    r.err = slurp(dir / "err");
    return r;
}

Json dump(const std::string& path) {
    ToolRun r = runTool("dump '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    return JsonParser(r.out).parseDocument();
}

uint32_t fnv1a(const uint8_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

// Checks one dumped instrument (the fields common to both kinds) against the loaded model.
void expectInstrument(const Json& j, const Song& song, int slot) {
    const Instrument& inst = song.instruments[slot];
    EXPECT_EQ(j["name"].text, song.instrumentNames[slot]);
    EXPECT_EQ(j["type"].number, inst.type);
    ASSERT_EQ(j["envelopes"].items.size(), 4u);
    for (int k = 0; k < ENVELOPE_COUNT; ++k) {
        const Json& env = j["envelopes"][k];
        EXPECT_EQ(env.keys(), (std::vector<std::string>{"loop", "values"}));
        EXPECT_EQ(env["loop"].number, inst.envelopes[k].loopPoint);
        ASSERT_EQ(env["values"].items.size(), size_t(inst.envelopes[k].length()));
        for (int i = 0; i < inst.envelopes[k].length(); ++i)
            EXPECT_EQ(env["values"][i].number, inst.envelopes[k].values[i]);
    }
    const SampleSlot* samples[2] = {&inst.pcm, &inst.dpcm};
    const char* names[2] = {"pcm", "dpcm"};
    for (int s = 0; s < 2; ++s) {
        const Json& js = j[names[s]];
        EXPECT_EQ(js.keys(), (std::vector<std::string>{"size", "loop", "fnv1a32"}));
        EXPECT_EQ(js["size"].number, samples[s]->size);
        EXPECT_EQ(js["loop"].boolean, samples[s]->loop);
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", fnv1a(samples[s]->data.get(), samples[s]->size));
        EXPECT_EQ(js["fnv1a32"].text, hex);
    }
}

// Checks a dumped song against the song loaded from the same file.
void expectSong(const Json& j, const Song& song) {
    EXPECT_EQ(j.keys(),
              (std::vector<std::string>{"kind", "version", "ntsc", "orders", "patterns", "instruments"}));
    EXPECT_EQ(j["kind"].text, "song");
    EXPECT_EQ(j["ntsc"].boolean, song.ntsc);
    ASSERT_EQ(j["orders"].items.size(), size_t(song.orders.count));
    for (int o = 0; o < song.orders.count; ++o) EXPECT_EQ(j["orders"][o].number, song.orders.entries[o]);

    size_t next = 0;
    for (int p = 0; p < MAX_PATTERNS; ++p) {
        auto bytes = reinterpret_cast<const uint8_t*>(song.patterns[p].cells);
        if (std::all_of(bytes, bytes + PATTERN_BYTES, [](uint8_t b) { return b == 0; })) continue;
        ASSERT_LT(next, j["patterns"].items.size());
        const Json& jp = j["patterns"][next++];
        EXPECT_EQ(jp["index"].number, p);
        ASSERT_EQ(jp["channels"].items.size(), 5u);
        for (int ch = 0; ch < CHANNEL_COUNT; ++ch) {
            ASSERT_EQ(jp["channels"][ch].items.size(), 64u);
            for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
                const Json& cell = jp["channels"][ch][row];
                const PatternCell& c = song.patterns[p].at(ch, row);
                ASSERT_EQ(cell.items.size(), 4u);
                EXPECT_EQ(cell[0].number, c.note);
                EXPECT_EQ(cell[1].number, c.instrument);
                EXPECT_EQ(cell[2].number, c.fx);
                EXPECT_EQ(cell[3].number, c.param);
            }
        }
    }
    EXPECT_EQ(next, j["patterns"].items.size());

    static const Instrument fresh;
    next = 0;
    for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
        if (song.instruments[slot] == fresh && song.instrumentNames[slot].empty() &&
            song.instrumentColours[slot] == 0)
            continue;
        ASSERT_LT(next, j["instruments"].items.size());
        const Json& ji = j["instruments"][next++];
        EXPECT_EQ(ji.keys(),
                  (std::vector<std::string>{"slot", "name", "type", "colour", "envelopes", "pcm", "dpcm"}));
        EXPECT_EQ(ji["slot"].number, slot);
        EXPECT_EQ(ji["colour"].number, song.instrumentColours[slot]);
        expectInstrument(ji, song, slot);
    }
    EXPECT_EQ(next, j["instruments"].items.size());
}

}  // namespace

TEST(ExampleSong, CommittedFilesAreWhatMakeExampleWrites) {
    fs::path dir = scratch() / "example";
    fs::create_directories(dir);
    std::string cmd = std::string("'") + BF_BINARY_DIR + "/examples/make_example' '" + dir.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* name : {"example.zcm", "example.zci"}) {
        std::string written = slurp(dir / name);
        EXPECT_FALSE(written.empty()) << name;
        EXPECT_EQ(written, slurp(fs::path(BF_SOURCE_DIR) / "examples" / name))
            << name << " differs from make_example's";
    }
}

TEST(CliDump, ExampleSongAndInstrument) {
    std::string path = std::string(BF_SOURCE_DIR) + "/examples/example.zcm";
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    ASSERT_TRUE(loadSongFile(*song, path, hooks));
    Json j = dump(path);
    expectSong(j, *song);
    EXPECT_EQ(j["version"].number, 11);
    EXPECT_GE(j["patterns"].items.size(), 3u);
    EXPECT_GE(j["instruments"].items.size(), 5u);

    Json inst = dump(std::string(BF_SOURCE_DIR) + "/examples/example.zci");
    EXPECT_EQ(inst.keys(), (std::vector<std::string>{"kind", "version", "name", "type", "colour", "envelopes",
                                                     "pcm", "dpcm"}));
    EXPECT_EQ(inst["kind"].text, "instrument");
    EXPECT_EQ(inst["version"].number, 4);
    EXPECT_EQ(inst["colour"].number, 0);  // an instrument file's colour is never read
    expectInstrument(inst, *song, 1);
    EXPECT_EQ(inst["pcm"]["fnv1a32"].text, "811c9dc5");
}

TEST(CliDump, OldSongWithOddNameAndItsUpgrade) {
    // Version 1: a name with a quote, a control byte and a high byte; a legacy sample in use.
    const std::string oddName = std::string("a\"b\\c\x01") + char(0xE9);
    FileBytes f;
    f.songHeader(1, 1, 1, 1).name(oddName).envelope(0, {15}).envelope(0, {0}).envelope(0, {2}).u8(0);
    for (int ch = 0; ch < 5; ++ch)
        for (int row = 0; row < 64; ++row) {
            if (ch == 4 && row == 0)
                f.raw({1, 0, 0});
            else if (ch == 0 && row == 0)
                f.raw({25, 0xF1, 0x00});
            else
                f.zeros(3);
        }
    f.name("drum").u16(4).u8(1).raw({1, 2, 3, 4}).zeros(254);
    fs::path dir = scratch();
    fs::path oldPath = dir / "old.zcm", newPath = dir / "new.zcm";
    std::ofstream(oldPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));

    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    ASSERT_TRUE(loadSongFile(*song, oldPath.string(), hooks));
    Json j = dump(oldPath.string());
    expectSong(j, *song);
    EXPECT_EQ(j["version"].number, 1);
    EXPECT_EQ(j["instruments"][0]["name"].text, oddName);
    EXPECT_EQ(j["instruments"][0]["envelopes"][1]["values"][0].number, 64);
    EXPECT_EQ(j["instruments"][1]["name"].text, "PCM: drum");
    EXPECT_EQ(j["instruments"][1]["pcm"]["size"].number, 4);
    EXPECT_EQ(j["patterns"][0]["channels"][4][0][0].number, 37);
    EXPECT_EQ(j["patterns"][0]["channels"][0][0][2].number, 0x0F);

    ToolRun saved = runTool("save '" + oldPath.string() + "' '" + newPath.string() + "'");
    ASSERT_EQ(saved.status, 0) << saved.err;
    Json upgraded = dump(newPath.string());
    EXPECT_EQ(upgraded["version"].number, 11);
    std::string before = runTool("dump '" + oldPath.string() + "'").out;
    std::string after = runTool("dump '" + newPath.string() + "'").out;
    EXPECT_EQ(after, before.replace(before.find("\"version\":1,"), 12, "\"version\":11,"));
}

TEST(CliDump, RefusedFilesFailWithAMessage) {
    fs::path dir = scratch();
    FileBytes v12, inst5, other;
    v12.songHeader(12, 0, 1, 0).u8(0);
    inst5.instrumentHeader(5).zeros(20);
    other.text("not a bleepforge file at all");
    for (auto* f : {&v12, &inst5, &other}) {
        fs::path p = dir / "bad";
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(f->data()), std::streamsize(f->size()));
        ToolRun r = runTool("dump '" + p.string() + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.rfind("Error: ", 0), 0u) << r.err;
    }
    ToolRun missing = runTool("dump '" + (dir / "missing.zcm").string() + "'");
    EXPECT_EQ(missing.status, 1);
    ToolRun badSave = runTool("save '" + (dir / "bad").string() + "' '" + (dir / "out.zcm").string() + "'");
    EXPECT_EQ(badSave.status, 1);
    EXPECT_FALSE(fs::exists(dir / "out.zcm"));
}
