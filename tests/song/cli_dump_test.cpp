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
    int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
}

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : ",") + p;
    return "[" + out + "]";
}

std::string list(const std::vector<int>& values) {
    std::vector<std::string> parts;
    for (int v : values) parts.push_back(std::to_string(v));
    return join(parts);
}

std::string sampleText(const SampleSlot& s) {
    uint32_t h = 2166136261u, n = s.empty() ? 0 : s.size;  // FNV-1a over the bytes
    for (uint32_t i = 0; i < n; ++i) h = (h ^ s.data[i]) * 16777619u;
    char buf[80];
    std::snprintf(buf, sizeof buf, "{\"size\":%u,\"loop\":%s,\"fnv1a32\":\"%08x\"}", n,
                  s.loop ? "true" : "false", h);
    return buf;
}

// Type, colour, envelopes and samples of one instrument as the dump must show them.
std::string instrumentText(const Song& song, int slot) {
    const Instrument& inst = song.instruments[slot];
    std::string out = ",\"type\":" + std::to_string(inst.type) +
                      ",\"colour\":" + std::to_string(song.instrumentColours[slot]) + ",\"envelopes\":[";
    for (int k = 0; k < ENVELOPE_COUNT; ++k) {
        const Envelope& e = inst.envelopes[k];
        out += std::string(k ? "," : "") + "{\"loop\":" + std::to_string(e.loopPoint) +
               ",\"values\":" + list(std::vector<int>(e.values, e.values + e.length())) + "}";
    }
    return out + "],\"pcm\":" + sampleText(inst.pcm) + ",\"dpcm\":" + sampleText(inst.dpcm) + "}";
}

size_t count(const std::string& text, const std::string& key) {
    size_t n = 0;
    for (size_t i = text.find(key); i != std::string::npos; i = text.find(key, i + 1)) ++n;
    return n;
}

// The dump's head, one entry per non-empty pattern and per instrument that differs from a fresh
// slot, and each instrument's fields as loaded.
void expectDumpOf(const std::string& dump, const Song& song, int version) {
    std::vector<int> orders(song.orders.entries, song.orders.entries + song.orders.count);
    EXPECT_TRUE(dump.starts_with("{\"kind\":\"song\",\"version\":" + std::to_string(version) +
                                 ",\"ntsc\":" + (song.ntsc ? "true" : "false") +
                                 ",\"orders\":" + list(orders) + ",\"patterns\":["))
        << dump.substr(0, 100);
    EXPECT_TRUE(dump.ends_with("}]}\n"));
    size_t patterns = 0, instruments = 0;
    for (const Pattern& p : song.patterns)
        patterns += std::any_of(&p.cells[0][0], &p.cells[0][0] + CHANNEL_COUNT * ROWS_PER_PATTERN,
                                [](const PatternCell& c) { return !(c == PatternCell{}); });
    static const Instrument fresh;
    for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
        if (song.instruments[slot] == fresh && song.instrumentNames[slot].empty() &&
            song.instrumentColours[slot] == 0)
            continue;
        ++instruments;
        EXPECT_NE(dump.find(instrumentText(song, slot)), std::string::npos) << slot;
    }
    EXPECT_EQ(count(dump, "{\"index\":"), patterns);
    EXPECT_EQ(count(dump, "{\"slot\":"), instruments);
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
    ToolRun r = runTool("dump '" + path + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    expectDumpOf(r.out, *song, 11);
    EXPECT_GE(usedPatternCount(*song), 3);
    EXPECT_GE(lastUsedInstrument(*song), 5);

    // The instrument file holds instrument 1; its colour is never read.
    r = runTool("dump '" BF_SOURCE_DIR "/examples/example.zci'");
    song->instrumentColours[1] = 0;
    EXPECT_EQ(r.out, "{\"kind\":\"instrument\",\"version\":4,\"name\":\"" + song->instrumentNames[1] + "\"" +
                         instrumentText(*song, 1) + "\n");
}

TEST(CliDump, OldSongWithOddNameAndItsUpgrade) {
    // Version 1: a name with a quote, a control byte and a high byte; a legacy sample in use.
    FileBytes f;
    f.songHeader(1, 1, 1, 1)
        .name("a\"b\\c\x01\xE9")
        .envelope(0, {15})
        .envelope(0, {0})
        .envelope(0, {2})
        .u8(0);
    for (int i = 0; i < 5 * 64; ++i)
        i == 4 * 64 ? f.raw({1, 0, 0}) : i == 0 ? f.raw({25, 0xF1, 0x00}) : f.zeros(3);
    f.name("drum").u16(4).u8(1).raw({1, 2, 3, 4}).zeros(254);
    fs::path dir = scratch();
    fs::path oldPath = dir / "old.zcm", newPath = dir / "new.zcm";
    std::ofstream(oldPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));

    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    ASSERT_TRUE(loadSongFile(*song, oldPath.string(), hooks));
    ASSERT_EQ(song->instrumentNames[2], "PCM: drum");
    std::string before = runTool("dump '" + oldPath.string() + "'").out;
    expectDumpOf(before, *song, 1);
    // Cells and the escaped name, exactly: pulse 1 row 0 plays instrument 1 with F00.
    EXPECT_NE(before.find("\"patterns\":[{\"index\":0,\"channels\":[[[25,1,15,0],[0,0,0,0],"),
              std::string::npos);
    EXPECT_NE(before.find("{\"slot\":1,\"name\":\"a\\\"b\\\\c\\u0001\\u00e9\",\"type\""), std::string::npos);

    ToolRun saved = runTool("save '" + oldPath.string() + "' '" + newPath.string() + "'");
    ASSERT_EQ(saved.status, 0) << saved.err;
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
        std::ofstream(dir / "bad", std::ios::binary)
            .write(reinterpret_cast<const char*>(f->data()), std::streamsize(f->size()));
        ToolRun r = runTool("dump '" + (dir / "bad").string() + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_TRUE(r.err.starts_with("Error: ")) << r.err;
    }
    EXPECT_EQ(runTool("dump '" + (dir / "missing.zcm").string() + "'").status, 1);
    EXPECT_EQ(runTool("save '" + (dir / "bad").string() + "' '" + (dir / "out.zcm").string() + "'").status,
              1);
    EXPECT_FALSE(fs::exists(dir / "out.zcm"));
}
