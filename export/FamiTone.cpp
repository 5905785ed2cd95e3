#include "export/FamiTone.h"

#include <algorithm>

#include "song/AtomicFile.h"

namespace {

// The converter's DPCM table has 96 entries, one per note; sample s sits at note 37 + s (entry
// 36 + s), so that the twelve samples are the notes C-3 to B-3.
constexpr int DMC_TABLE_ENTRIES = 96;
constexpr int FIRST_SAMPLE_NOTE = 37;

const char* const NOTE_NAMES[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

void appendHex2(std::string& out, unsigned value) {
    static const char digits[] = "0123456789abcdef";
    out += digits[(value >> 4) & 0x0F];
    out += digits[value & 0x0F];
}

struct SampleAssignment {
    int slot = 0;
    int rate = 0;
};

// Pairs (instrument slot, rate) in order of first appearance; the index is the sample number.
struct SampleTable {
    SampleAssignment pairs[FAMITONE_MAX_SAMPLES];
    int count = 0;

    // Sample number of the pair: the one it already has, a new one while the table has room, or
    // -1 when the table is full.
    int numberFor(int slot, int rate) {
        for (int s = 0; s < count; ++s)
            if (pairs[s].slot == slot && pairs[s].rate == rate) return s;
        if (count == FAMITONE_MAX_SAMPLES) return -1;
        pairs[count] = {slot, rate};
        return count++;
    }
};

void appendSequenceLine(std::string& out, const char* key, int number, const Envelope& envelope,
                        EnvelopeKind kind) {
    out += key;
    out += std::to_string(number);
    out += '=';
    int length = std::min(envelope.length(), MAX_ENVELOPE_VALUES);
    int previous = 127;  // the fine-tune's change is counted from the neutral value
    for (int i = 0; i < length; ++i) {
        int v = envelope.values[i];
        if (i > 0) out += ',';
        // A loop on the last value just holds it, which is what the converter does anyway.
        if (i == envelope.loopPoint && i != length - 1) out += '|';
        int written = 0;
        switch (kind) {
            case ENV_VOLUME:
                written = v >> 4;
                break;
            case ENV_NOTE:
                written = v < 128 ? v - 64 : 0;
                break;  // absolute notes have no equivalent
            case ENV_DUTY:
                written = v >> 6;
                break;
            case ENV_FINETUNE:
                written = v - previous;
                previous = v;
                break;
        }
        out += std::to_string(written);
    }
    out += '\n';
}

void appendSequenceSection(std::string& out, const Song& song, int count, const char* heading,
                           const char* key, EnvelopeKind kind) {
    out += heading;
    out += '\n';
    for (int i = 0; i < count; ++i)
        appendSequenceLine(out, key, i, song.instruments[i + 1].envelopes[kind], kind);
    out += '\n';
}

void appendDmcLine(std::string& out, const char* key, const SampleTable& table, const Song& song, int field) {
    out += key;
    out += '=';
    for (int entry = 0; entry < DMC_TABLE_ENTRIES; ++entry) {
        if (entry > 0) out += ',';
        int s = entry - (FIRST_SAMPLE_NOTE - 1);
        int value = 0;
        if (s >= 0 && s < table.count) {
            const SampleAssignment& pair = table.pairs[s];
            if (field == 0) value = s + 1;
            if (field == 1) value = pair.rate;
            if (field == 2) value = song.instruments[pair.slot].dpcm.loop ? 1 : 0;
        }
        out += std::to_string(value);
    }
    out += '\n';
}

// A name read from a damaged song file could hold a line break, which would forge a key of its own.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

std::string famiToneCellText(const PatternCell& cell) {
    std::string out;
    if (cell.note == 0) {
        out += "... ";
    } else if (cell.note == NOTE_OFF) {
        out += "--- ";
    } else {
        int n = cell.note - 1;
        out += NOTE_NAMES[n % 12];
        out += std::to_string(n / 12);
        out += ' ';
    }
    if (cell.instrument == 0) {
        out += ".. ";
    } else {
        appendHex2(out, cell.instrument - 1u);
        out += ' ';
    }
    out += ". ";
    if (cell.fx == 0 && (cell.param & 0x0F) == 0) {
        out += "...";
    } else {
        static const char digits[] = "0123456789ABCDEF";
        out += digits[cell.effect()];
        out += digits[cell.fx >> 4];
        out += digits[cell.param & 0x0F];
    }
    return out;
}

std::string exportFamiTone(const Song& song) {
    const int n = lastUsedInstrument(song);
    const int frames = std::clamp<int>(song.orders.count, 0, MAX_ORDERS);
    const std::string count = std::to_string(n);
    std::string out;
    out.reserve(size_t(frames) * ROWS_PER_PATTERN * 64 + 4096);

    out += "[Module]\nSpeed=6\nFramesCount=" + std::to_string(frames) +
           "\nPatternLength=64\nInstrumentsCount=" + count +
           "\nSamplesCount=0\nSequencesVolumeCount=" + count + "\nSequencesArpeggioCount=" + count +
           "\nSequencesPitchCount=" + count + "\nSequencesHiPitchCount=0\nSequencesDutyCount=" + count +
           "\n\n";

    for (int i = 0; i < n; ++i) {
        const std::string id = std::to_string(i);
        out += "[Instrument" + id + "]\nSequenceVolume=" + id + "\nSequenceArpeggio=" + id +
               "\nSequencePitch=" + id + "\nSequenceDuty=" + id + "\n\n";
    }

    appendSequenceSection(out, song, n, "[SequencesVolume]", "SequenceVolume", ENV_VOLUME);
    appendSequenceSection(out, song, n, "[SequencesArpeggio]", "SequenceArpeggio", ENV_NOTE);
    appendSequenceSection(out, song, n, "[SequencesPitch]", "SequencePitch", ENV_FINETUNE);
    appendSequenceSection(out, song, n, "[SequencesDuty]", "SequenceDuty", ENV_DUTY);

    SampleTable samples;
    static const Pattern emptyPattern = [] {
        Pattern p;
        p.clear();
        return p;
    }();
    for (int f = 0; f < frames; ++f) {
        int p = song.orders.entries[f];
        const Pattern& pattern = (p >= 0 && p < MAX_PATTERNS) ? song.patterns[p] : emptyPattern;
        out += "[Frame" + std::to_string(f) + "]\n";
        for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
            appendHex2(out, unsigned(row));
            for (int ch = 0; ch < CHANNEL_COUNT; ++ch) {
                PatternCell cell = pattern.at(ch, row);
                if (ch == CH_NOISE && cell.note != 0 && cell.note != NOTE_OFF) {
                    // The converter counts noise notes one semitone higher than our period index.
                    cell.note = uint8_t(cell.note + 1);
                } else if (ch == CH_DPCM && cell.instrument != 0) {
                    int s = -1;
                    if (song.instruments[cell.instrument].type == INST_DPCM)
                        s = samples.numberFor(cell.instrument, cell.note & 0x0F);
                    if (s >= 0) {
                        cell.note = uint8_t(FIRST_SAMPLE_NOTE + s);
                        cell.instrument = 1;
                    } else {
                        // Software-played instruments and samples beyond the table have no
                        // equivalent in the converter's DPCM channel.
                        cell.note = 0;
                        cell.instrument = 0;
                    }
                }
                out += '|';
                out += famiToneCellText(cell);
            }
            out += '\n';
        }
        out += '\n';
    }

    out += "[DMC0]\n";
    appendDmcLine(out, "SamplesAssigned", samples, song, 0);
    appendDmcLine(out, "SamplesPitch", samples, song, 1);
    appendDmcLine(out, "SamplesLoop", samples, song, 2);
    out += '\n';

    for (int s = 0; s < samples.count; ++s) {
        const int slot = samples.pairs[s].slot;
        const DpcmSample& sample = song.instruments[slot].dpcm;
        const uint32_t size = sample.data ? sample.size : 0;
        out += "[Sample" + std::to_string(s + 1) + "]\nSampleName=" + oneLine(song.instrumentNames[slot]) +
               "\nSampleSize=" + std::to_string(size) + "\nSampleData=";
        for (uint32_t i = 0; i < size; ++i) appendHex2(out, sample.data[i]);
        out += "\n\n";
    }
    return out;
}

bool exportFamiTone(const Song& song, const std::string& path) {
    return writeFileAtomically(path, exportFamiTone(song));
}
