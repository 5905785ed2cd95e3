// bleepforge-cli dump FILE: a song (.zcm) or instrument (.zci) file as one JSON object, with the
// values as they are held after loading. The kind of file is decided by its magic.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/Cli.h"
#include "cli/JsonOut.h"
#include "song/InstrumentFile.h"
#include "song/SongFile.h"

namespace {

uint32_t fnv1a32(const uint8_t* bytes, size_t n) {
    uint32_t h = 0x811c9dc5u;
    for (size_t i = 0; i < n; ++i) {
        h ^= bytes[i];
        h *= 0x01000193u;
    }
    return h;
}

std::string sampleJson(const SampleSlot& s) {
    uint32_t size = s.empty() ? 0 : s.size;
    char buf[96];
    std::snprintf(buf, sizeof buf, "{\"size\":%u,\"loop\":%s,\"fnv1a32\":\"%08x\"}", unsigned(size),
                  jsonBool(s.loop), unsigned(fnv1a32(s.data.get(), size)));
    return buf;
}

// Name, type, colour, envelopes (values before the marker) and both samples, without braces.
std::string instrumentFields(const Song& song, int slot) {
    const Instrument& inst = song.instruments[slot];
    std::string out = "\"name\":" + jsonString(song.instrumentNames[slot]);
    out += ",\"type\":" + std::to_string(int(inst.type));
    out += ",\"colour\":" + std::to_string(song.instrumentColours[slot]);
    out += ",\"envelopes\":[";
    for (int k = 0; k < ENVELOPE_COUNT; ++k) {
        const Envelope& env = inst.envelopes[k];
        if (k) out += ",";
        out += "{\"loop\":" + std::to_string(env.loopPoint) + ",\"values\":[";
        int length = std::min(env.length(), MAX_ENVELOPE_VALUES);
        for (int i = 0; i < length; ++i) {
            if (i) out += ",";
            out += std::to_string(env.values[i]);
        }
        out += "]}";
    }
    out += "],\"pcm\":" + sampleJson(inst.pcm) + ",\"dpcm\":" + sampleJson(inst.dpcm);
    return out;
}

bool isFreshInstrument(const Song& song, int slot) {
    static const Instrument fresh;
    return song.instruments[slot] == fresh && song.instrumentNames[slot].empty() &&
           song.instrumentColours[slot] == 0;
}

std::string patternJson(const Pattern& pattern, int index) {
    std::string out = "{\"index\":" + std::to_string(index) + ",\"channels\":[";
    for (int ch = 0; ch < CHANNEL_COUNT; ++ch) {
        out += ch ? ",[" : "[";
        for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
            const PatternCell& c = pattern.at(ch, row);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%s[%u,%u,%u,%u]", row ? "," : "", c.note, c.instrument, c.fx,
                          c.param);
            out += buf;
        }
        out += "]";
    }
    return out + "]}";
}

bool allZero(const Pattern& pattern) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(pattern.cells);
    for (int i = 0; i < PATTERN_BYTES; ++i)
        if (bytes[i]) return false;
    return true;
}

std::string songJson(const Song& song, int version) {
    std::string out = "{\"kind\":\"song\",\"version\":" + std::to_string(version);
    out += ",\"ntsc\":" + std::string(jsonBool(song.ntsc)) + ",\"orders\":[";
    for (int o = 0; o < song.orders.count; ++o)
        out += (o ? "," : "") + std::to_string(song.orders.entries[o]);
    out += "],\"patterns\":[";
    bool first = true;
    for (int p = 0; p < MAX_PATTERNS; ++p) {
        if (allZero(song.patterns[p])) continue;
        out += (first ? "" : ",") + patternJson(song.patterns[p], p);
        first = false;
    }
    out += "],\"instruments\":[";
    first = true;
    for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
        if (isFreshInstrument(song, slot)) continue;
        out += (first ? "{\"slot\":" : ",{\"slot\":") + std::to_string(slot) + "," +
               instrumentFields(song, slot) + "}";
        first = false;
    }
    return out + "]}";
}

int runDump(const std::vector<std::string>& args) {
    if (args.size() != 2) throw std::runtime_error("usage: dump FILE");
    const std::string& path = args[1];
    std::vector<unsigned char> bytes = cliReadFile(path);
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    int version = 0;
    std::string json;
    auto startsWith = [&](const char* magic) {
        return bytes.size() >= 16 && std::memcmp(bytes.data(), magic, 16) == 0;
    };
    if (startsWith(SONG_MAGIC)) {
        if (!loadSong(*song, bytes.data(), bytes.size(), hooks, &version))
            throw std::runtime_error(path + ": not a song file this program can read");
        json = songJson(*song, version);
    } else if (startsWith(INSTRUMENT_MAGIC)) {
        if (!loadInstrument(*song, 1, bytes.data(), bytes.size(), hooks, &version))
            throw std::runtime_error(path + ": not an instrument file this program can read");
        json = "{\"kind\":\"instrument\",\"version\":" + std::to_string(version) + "," +
               instrumentFields(*song, 1) + "}";
    } else {
        throw std::runtime_error(path + ": neither a song nor an instrument file");
    }
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the output");
    return 0;
}

CliVerbRegistrar registerDump({"dump", "dump FILE              song (.zcm) or instrument (.zci) file as JSON",
                               runDump});

}  // namespace
