#include "export/AsmSongData.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace {

using EnvelopeSet = std::array<Envelope, ENVELOPE_COUNT>;

// An envelope as stored in the tables: the slots behind the marker zeroed, so stale values an
// editor left there do not make equal envelopes look different. An envelope without any value
// (only a damaged file has one) plays as the default single value, as the Player treats it.
Envelope cleanEnvelope(const Envelope& source, int kind) {
    Envelope env = source;
    int length = env.length();
    if (length >= ENVELOPE_SLOTS) {
        length = MAX_ENVELOPE_VALUES;
        env.values[length] = END_MARKER;
    }
    if (length == 0) {
        env.values[0] = DEFAULT_ENVELOPE_VALUE[kind];
        env.values[1] = END_MARKER;
        env.loopPoint = 0;
        length = 1;
    }
    for (int i = length + 1; i < ENVELOPE_SLOTS; ++i) env.values[i] = 0;
    return env;
}

bool hasEnvelopeTable(InstrumentType type) {
    return type == INST_NORMAL || type == INST_PCM_PULSE || type == INST_PCM_SAW;
}

template <typename T>
int findOrAdd(std::vector<T>& table, const T& item) {
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i] == item) return int(i);
    table.push_back(item);
    return int(table.size() - 1);
}

std::string joinLabels(LabelTable& labels, const std::vector<std::string>& keys) {
    std::string line;
    for (size_t i = 0; i < keys.size(); ++i) line += (i ? ", " : "") + labels.labelFor(keys[i]);
    return line;
}

// Samples are shared by their bytes; the loop flag lives in the play command's rate byte.
bool sameBytes(const SampleSlot& a, const SampleSlot& b) {
    const uint32_t size = a.empty() ? 0 : a.size;
    if (size != (b.empty() ? 0 : b.size)) return false;
    return size == 0 || std::memcmp(a.data.get(), b.data.get(), size) == 0;
}

struct SampleEntry {
    const SampleSlot* sample;
    std::string songPath;
    int slot;
};

struct SharedTables {
    std::vector<EnvelopeSet> instruments;
    std::vector<std::array<int, ENVELOPE_COUNT>> instrumentEnvelopes;
    std::vector<Envelope> envelopes;
    std::vector<SampleEntry> samples;
    // Per song, per slot: index into instruments / samples, -1 for none.
    std::vector<std::array<int, INSTRUMENT_SLOTS>> instrumentIndex;
    std::vector<std::array<int, INSTRUMENT_SLOTS>> sampleIndex;
};

SharedTables buildTables(const std::vector<CapturedSong>& songs) {
    SharedTables t;
    for (const CapturedSong& song : songs) {
        auto& index = t.instrumentIndex.emplace_back();
        index.fill(-1);
        if (song.instruments.size() < INSTRUMENT_SLOTS) continue;
        for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
            const Instrument& inst = song.instruments[slot];
            if (!song.usedInstruments[slot] || !hasEnvelopeTable(inst.type)) continue;
            EnvelopeSet set;
            for (int k = 0; k < ENVELOPE_COUNT; ++k) set[k] = cleanEnvelope(inst.envelopes[k], k);
            index[slot] = findOrAdd(t.instruments, set);
        }
    }
    // The driver keeps only the bits it plays: the volume nibble of Volume values and the duty
    // bits of Duty/Mode values, so envelopes differing below those bits share one entry. $FF
    // ends an envelope in the data, so a Note or Fine-tune value of 255 is written as 254 (a
    // 1/256 semitone lower, or an absolute note past the highest one either way).
    for (const EnvelopeSet& set : t.instruments) {
        auto& ids = t.instrumentEnvelopes.emplace_back();
        for (int k = 0; k < ENVELOPE_COUNT; ++k) {
            Envelope env = set[k];
            const int length = env.length();
            for (int i = 0; i < length; ++i) {
                if (k == ENV_VOLUME) env.values[i] &= 0xF0;
                if (k == ENV_DUTY) env.values[i] &= 0xC0;
                if ((env.values[i] & 0xFF) == 0xFF) env.values[i] = 0xFE;
            }
            ids[k] = findOrAdd(t.envelopes, env);
        }
    }
    for (const CapturedSong& song : songs) {
        auto& index = t.sampleIndex.emplace_back();
        index.fill(-1);
        if (song.instruments.size() < INSTRUMENT_SLOTS) continue;
        for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
            const Instrument& inst = song.instruments[slot];
            if (inst.type != INST_DPCM) continue;
            int found = -1;
            for (size_t i = 0; i < t.samples.size() && found < 0; ++i)
                if (sameBytes(*t.samples[i].sample, inst.dpcm)) found = int(i);
            if (found < 0) {
                t.samples.push_back({&inst.dpcm, song.path, slot});
                found = int(t.samples.size() - 1);
            }
            index[slot] = found;
        }
    }
    return t;
}

std::string patternLine(const DriverCommand& cmd, const std::array<int, INSTRUMENT_SLOTS>& instruments,
                        const std::array<int, INSTRUMENT_SLOTS>& samples, const std::string& songPath) {
    int32_t code = cmd.code;
    std::vector<int32_t> args = cmd.args;
    const int32_t slot = args.empty() ? -1 : args[0];
    const bool validSlot = slot >= 0 && slot < INSTRUMENT_SLOTS;
    if (code == DRV_INSTRUMENT) {
        const int index = validSlot ? instruments[slot] : -1;
        if (index < 0)
            throw std::runtime_error("Instrument " + std::to_string(slot) + " of " + songPath +
                                     " is played but has no instrument table entry");
        if (index < 64)
            code = DRV_INSTRUMENT + index, args.clear();
        else
            code = 0xD8, args = {index};
    } else if (code == DRV_DPCM_PLAY) {
        const int index = validSlot ? samples[slot] : -1;
        if (index < 0)
            throw std::runtime_error("Instrument " + std::to_string(slot) + " of " + songPath +
                                     " is played as a DPCM sample but is not a DPCM instrument");
        args = {2 * index};
    }
    if (code >= DRV_DPCM_BASE && code < DRV_DPCM_LIMIT) code -= DRV_DPCM_BASE;
    std::string line = "  .byte " + std::to_string(code);
    for (int32_t a : args) line += ", " + std::to_string(a);
    return line + "\n";
}

std::string songText(LabelTable& labels, const CapturedSong& song, const OutputNames& output,
                     const std::array<int, INSTRUMENT_SLOTS>& instruments,
                     const std::array<int, INSTRUMENT_SLOTS>& samples) {
    const std::string songKey = entryKey(output.base, song.path);
    const size_t stretches = song.channels[0].size();
    // Order entries are bytes ended by $FF, and the loop index is a byte too.
    if (stretches > 255)
        throw std::runtime_error("Song " + song.path + " has " + std::to_string(stretches) +
                                 " order entries after conversion; at most 255 are possible");

    // Patterns are shared between channels and stretches of one song, never between songs.
    std::vector<CommandList> patterns;
    std::array<std::vector<int>, CHANNEL_COUNT> pointers;  // pattern numbers per channel
    std::array<std::vector<int>, CHANNEL_COUNT> orders;    // positions in `pointers`
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        for (const CommandList& list : song.channels[c]) {
            const int number = findOrAdd(patterns, list);
            int position = -1;
            for (size_t i = 0; i < pointers[c].size() && position < 0; ++i)
                if (pointers[c][i] == number) position = int(i);
            if (position < 0) {
                pointers[c].push_back(number);
                position = int(pointers[c].size() - 1);
            }
            orders[c].push_back(position);
        }
    }

    const auto chn = [&](int c, const char* what) { return songKey + "_chn" + std::to_string(c) + what; };
    const auto patternKey = [&](int n) { return songKey + "_pattern" + std::to_string(n); };

    std::string text = "; Song data generated by Bleepforge\n\n";
    text += labels.labelFor(songKey) + ":\n";
    text += "  .byte " + std::to_string(song.loopIndex) + "\n";
    text += "  .word " + labels.labelFor(output.base + "_instrument_pointers") + "\n";
    text += "  .word " + labels.labelFor(output.base + "_dpcm_pointers") + "\n";
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        text += "  .word " + labels.labelFor(chn(c, "_orders")) + "\n";
        text += "  .word " + labels.labelFor(chn(c, "_pattern_pointers")) + "\n";
    }
    text += "\n";
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        text += labels.labelFor(chn(c, "_orders")) + ":\n  .byte ";
        for (int position : orders[c]) text += std::to_string(position) + ", ";
        text += "$FF\n\n";
    }
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        std::vector<std::string> keys;
        for (int n : pointers[c]) keys.push_back(patternKey(n));
        text += labels.labelFor(chn(c, "_pattern_pointers")) + ":\n";
        text += "  .word " + joinLabels(labels, keys) + "\n\n";
    }
    for (size_t n = 0; n < patterns.size(); ++n) {
        text += labels.labelFor(patternKey(int(n))) + ":\n";
        for (const DriverCommand& cmd : patterns[n])
            text += patternLine(cmd, instruments, samples, song.path);
        text += "\n";
    }
    return text;
}

std::string hexUpper(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", unsigned(value));
    return buffer;
}

}  // namespace

SongDataText writeSongData(LabelTable& labels, const std::string& lowOperator,
                           const std::vector<CapturedSong>& songs, const OutputNames& output) {
    const SharedTables t = buildTables(songs);
    if (t.instruments.size() > 256)
        throw std::runtime_error("The songs use " + std::to_string(t.instruments.size()) +
                                 " different instruments; at most 256 are possible");
    if (t.samples.size() > 128)
        throw std::runtime_error("The songs use " + std::to_string(t.samples.size()) +
                                 " different DPCM samples; at most 128 are possible");

    // Check the DPCM layout first, so that nothing at all is written for data that cannot play.
    std::vector<int> sampleStart;
    int64_t count = 0;
    for (const SampleEntry& s : t.samples) {
        count = (count + 63) & ~int64_t(63);
        const int64_t length = s.sample->empty() ? 0 : int64_t(s.sample->size);
        if (count + length > DPCM_DATA_LIMIT)
            throw std::runtime_error("DPCM sample of instrument " + std::to_string(s.slot) + " in " +
                                     s.songPath + " (" + std::to_string(length) +
                                     " bytes) does not fit: all DPCM samples "
                                     "together are limited to " +
                                     std::to_string(DPCM_DATA_LIMIT) + " bytes");
        sampleStart.push_back(int(count));
        count += length;
        if (dmcPlaysPastEnd(uint32_t(length)) && count < DPCM_DATA_LIMIT) ++count;  // the byte after it
    }

    SongDataText out;
    for (size_t s = 0; s < songs.size(); ++s) {
        std::string text = songText(labels, songs[s], output, t.instrumentIndex[s], t.sampleIndex[s]);
        out.files.push_back({output.songFileName(songs[s].path), std::move(text)});
    }

    std::string& main = out.mainText;
    std::vector<std::string> instrumentKeys;
    for (size_t i = 0; i < t.instruments.size(); ++i)
        instrumentKeys.push_back(output.base + "_instrument" + std::to_string(i));
    main += labels.labelFor(output.base + "_instrument_pointers") + ":\n";
    if (!instrumentKeys.empty()) main += "  .word " + joinLabels(labels, instrumentKeys) + "\n";
    main += "\n";
    for (size_t i = 0; i < t.instruments.size(); ++i) {
        main += labels.labelFor(instrumentKeys[i]) + ":\n";
        // Each pointer sits one byte before the envelope's first value.
        for (int k = 0; k < ENVELOPE_COUNT; ++k)
            main += "  .word " +
                    labels.labelFor(output.base + "_envelope" + std::to_string(t.instrumentEnvelopes[i][k])) +
                    " - 1\n";
    }
    main += "\n";
    for (size_t e = 0; e < t.envelopes.size(); ++e) {
        const Envelope& env = t.envelopes[e];
        const int length = env.length();
        main += labels.labelFor(output.base + "_envelope" + std::to_string(e)) + ":\n  .byte ";
        for (int i = 0; i < length; ++i) main += std::to_string(env.values[i] & 0xFF) + ", ";
        // Loop byte: 1-based position to continue at, 0 to hold the last value. A loop point at
        // or past the last value holds it, as the Player does.
        const bool holds = env.loopPoint < 0 || env.loopPoint >= length - 1;
        main += "$FF, " + std::to_string(holds ? 0 : env.loopPoint + 1) + "\n";
    }
    if (!t.envelopes.empty()) main += "\n";

    std::string dpcm;
    main += labels.labelFor(output.base + "_dpcm_pointers") + ":\n";
    int written = 0;
    for (size_t s = 0; s < t.samples.size(); ++s) {
        // $4012 addresses samples in 64-byte steps.
        for (; written < sampleStart[s]; ++written) dpcm += "  .byte 0\n";
        const SampleSlot& sample = *t.samples[s].sample;
        const std::string& label = labels.labelFor(output.base + "_dpcm" + std::to_string(s));
        // $4013 counts 16-byte units; the register holds at most 255 (4081 bytes played), as the
        // Player clamps it.
        const uint32_t size = sample.empty() ? 0 : sample.size;
        const int units = std::min<int>(int(size >> 4), 255);
        main += "  .byte " + lowOperator + "( " + label + " >> 6 ), $" + hexUpper(units) + "\n";
        dpcm += label + ":\n";
        for (uint32_t i = 0; i < size; ++i) dpcm += "  .byte " + std::to_string(sample.data[i]) + "\n";
        written += int(size);
        if (dmcPlaysPastEnd(size) && written < DPCM_DATA_LIMIT) {
            dpcm += "  .byte " + std::to_string(DMC_PAST_END) + "\n";
            ++written;
        }
    }
    main += "\n";
    out.files.push_back({output.dpcmFileName(), std::move(dpcm)});
    return out;
}
