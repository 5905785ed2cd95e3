#include "export/FamiTone.h"

#include <algorithm>

#include "song/AtomicFile.h"

namespace {

// The converter's DPCM table has 96 entries, one per note; sample s sits at entry 36 + s.
constexpr int DMC_TABLE_ENTRIES = 96;

const char* const NOTE_NAMES[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

void appendHex2(std::string& out, unsigned value) {
    static const char digits[] = "0123456789abcdef";
    out += digits[(value >> 4) & 0x0F];
    out += digits[value & 0x0F];
}

void appendSequenceLine(std::string& out, const char* key, int number, const Envelope& envelope,
                        EnvelopeKind kind) {
    out += key;
    out += std::to_string(number);
    out += '=';
    const std::vector<int> values = famiToneSequence(envelope, kind);
    const int length = int(values.size());
    for (int i = 0; i < length; ++i) {
        if (i > 0) out += ',';
        // A loop on the last value just holds it, which is what the converter does anyway.
        if (i == envelope.loopPoint && i != length - 1) out += '|';
        out += std::to_string(values[i]);
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

void appendDmcLine(std::string& out, const char* key, const FamiToneFrames& table, const Song& song,
                   int field) {
    out += key;
    out += '=';
    for (int entry = 0; entry < DMC_TABLE_ENTRIES; ++entry) {
        if (entry > 0) out += ',';
        int s = entry - (FAMITONE_FIRST_SAMPLE_NOTE - 1);
        int value = 0;
        if (s >= 0 && s < table.sampleCount()) {
            if (field == 0) value = s + 1;
            if (field == 1) value = table.sampleRate(s);
            if (field == 2) value = song.instruments[table.sampleSlot(s)].dpcm.loop ? 1 : 0;
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
    const int frames = FamiToneFrames(song).count();
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

    FamiToneFrames table(song);
    for (int f = 0; f < table.count(); ++f) {
        out += "[Frame" + std::to_string(f) + "]\n";
        for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
            appendHex2(out, unsigned(row));
            for (int ch = 0; ch < CHANNEL_COUNT; ++ch) {
                out += '|';
                out += famiToneCellText(table.cell(f, row, ch).written);
            }
            out += '\n';
        }
        out += '\n';
    }

    out += "[DMC0]\n";
    appendDmcLine(out, "SamplesAssigned", table, song, 0);
    appendDmcLine(out, "SamplesPitch", table, song, 1);
    appendDmcLine(out, "SamplesLoop", table, song, 2);
    out += '\n';

    for (int s = 0; s < table.sampleCount(); ++s) {
        const int slot = table.sampleSlot(s);
        const DpcmSample& sample = song.instruments[slot].dpcm;
        const uint32_t size = sample.data ? sample.size : 0;
        // The converter reads the bytes as one hexadecimal number and wants its "$" in front.
        out += "[Sample" + std::to_string(s + 1) + "]\nSampleName=" + oneLine(song.instrumentNames[slot]) +
               "\nSampleSize=" + std::to_string(size) + "\nSampleData=$";
        for (uint32_t i = 0; i < size; ++i) appendHex2(out, sample.data[i]);
        out += "\n\n";
    }
    return out;
}

bool exportFamiTone(const Song& song, const std::string& path) {
    return writeFileAtomically(path, exportFamiTone(song));
}

std::vector<int> famiToneSequence(const Envelope& envelope, EnvelopeKind kind) {
    const int length = std::clamp(envelope.length(), 0, MAX_ENVELOPE_VALUES);
    std::vector<int> out;
    out.reserve(size_t(length));
    int previous = 127;  // the fine-tune's change is counted from the neutral value
    for (int i = 0; i < length; ++i) {
        const int v = envelope.values[i];
        switch (kind) {
            case ENV_VOLUME:
                out.push_back(v >> 4);
                break;
            case ENV_NOTE:
                out.push_back(v < 128 ? v - 64 : 0);  // absolute notes have no equivalent
                break;
            case ENV_DUTY:
                out.push_back(v >> 6);
                break;
            case ENV_FINETUNE:
                out.push_back(v - previous);
                previous = v;
                break;
        }
    }
    return out;
}

FamiToneFrames::FamiToneFrames(const Song& song)
    : song_(song), frames_(std::clamp<int>(song.orders.count, 0, MAX_ORDERS)) {}

const Pattern& FamiToneFrames::pattern(int frame) const {
    static const Pattern emptyPattern = [] {
        Pattern p;
        p.clear();
        return p;
    }();
    const int p = song_.orders.entries[frame];
    return (p >= 0 && p < MAX_PATTERNS) ? song_.patterns[p] : emptyPattern;
}

FamiToneCell FamiToneFrames::cell(int frame, int row, int channel) {
    FamiToneCell out;
    PatternCell& cell = out.written;
    cell = pattern(frame).at(channel, row);
    if (channel == CH_NOISE && cell.note != 0 && cell.note != NOTE_OFF) {
        // The converter counts noise notes one semitone higher than our period index.
        cell.note = uint8_t(cell.note + 1);
    } else if (channel == CH_DPCM && cell.instrument != 0) {
        if (song_.instruments[cell.instrument].type != INST_DPCM) {
            // Software-played instruments have no equivalent on the converter's DPCM channel.
            out.drop = FamiToneDrop::NotASample;
        } else {
            const int slot = cell.instrument, rate = cell.note & 0x0F;
            int s = 0;
            while (s < samples_ && !(pairs_[s].slot == slot && pairs_[s].rate == rate)) ++s;
            // A pair keeps the sample it was given; a new pair once the table is full has none.
            if (s == FAMITONE_MAX_SAMPLES) {
                out.drop = FamiToneDrop::TableFull;
            } else {
                if (s == samples_) pairs_[samples_++] = {slot, rate};
                cell.note = uint8_t(FAMITONE_FIRST_SAMPLE_NOTE + s);
                cell.instrument = 1;
            }
        }
        if (out.drop != FamiToneDrop::None) {
            cell.note = 0;
            cell.instrument = 0;
        }
    }
    return out;
}
