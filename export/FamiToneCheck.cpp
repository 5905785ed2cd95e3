#include "export/FamiToneCheck.h"

#include <cstdio>
#include <set>
#include <tuple>

#include "export/FamiTone.h"

namespace {

// Notes as the text numbers them (1 = C-0): the converter plays C-1 to D-6.
constexpr int LOWEST_NOTE = 13;
constexpr int HIGHEST_NOTE = 75;
constexpr int LAST_SAMPLE_NOTE = FAMITONE_FIRST_SAMPLE_NOTE + FAMITONE_MAX_SAMPLES - 1;  // B-3
constexpr int MAX_INSTRUMENTS = 64;
constexpr int LOWEST_SEQUENCE_VALUE = -64;
constexpr int HIGHEST_SEQUENCE_VALUE = 63;

const char* const EFFECT_NAMES[16] = {"arpeggio",
                                      "slide up",
                                      "slide down",
                                      "portamento",
                                      "vibrato",
                                      "portamento and volume slide",
                                      "vibrato and volume slide",
                                      "tremolo",
                                      "echo",
                                      nullptr,
                                      "volume slide",
                                      "order jump",
                                      "volume and duty",
                                      "row break",
                                      "extended",
                                      "speed or tempo"};

std::string format(const char* pattern, int a = 0, int b = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, pattern, a, b);
    return buf;
}

bool hasNote(const PatternCell& cell) { return cell.note != 0 && cell.note != NOTE_OFF; }

class Checker {
  public:
    explicit Checker(const Song& song) : song_(song) {}

    std::vector<FamiToneFinding> run() {
        checkInstruments();
        FamiToneFrames frames(song_);
        for (int f = 0; f < frames.count(); ++f)
            for (int row = 0; row < ROWS_PER_PATTERN; ++row)
                for (int ch = 0; ch < CHANNEL_COUNT; ++ch)
                    checkCell(f, row, ch, frames.pattern(f).at(ch, row), frames.cell(f, row, ch));
        return std::move(findings_);
    }

  private:
    void addInstrument(FamiToneProblem problem, int slot, std::string what) {
        findings_.push_back({problem, -1, -1, -1, -1, slot, std::move(what)});
    }

    void checkInstruments() {
        const int n = lastUsedInstrument(song_);
        for (int slot = 1; slot <= n; ++slot) {
            const Instrument& instrument = song_.instruments[slot];
            for (int kind = 0; kind < ENVELOPE_COUNT; ++kind) {
                for (int value : famiToneSequence(instrument.envelopes[kind], EnvelopeKind(kind))) {
                    if (value >= LOWEST_SEQUENCE_VALUE && value <= HIGHEST_SEQUENCE_VALUE) continue;
                    // The fine-tune is written as its change from one step to the next.
                    const char* shape = kind == ENV_FINETUNE ? "%s envelope changes by %+d, outside -64..63"
                                                             : "%s envelope value %d is outside -64..63";
                    char buf[96];
                    std::snprintf(buf, sizeof buf, shape, ENVELOPE_NAMES[kind], value);
                    addInstrument(FamiToneProblem::SequenceRange, slot, buf);
                    break;
                }
            }
            const Envelope& notes = instrument.envelopes[ENV_NOTE];
            for (int i = 0; i < notes.length() && i < MAX_ENVELOPE_VALUES; ++i) {
                if (notes.values[i] < 128) continue;
                addInstrument(FamiToneProblem::AbsoluteNote, slot,
                              "absolute notes of the Note envelope are played as offset 0");
                break;
            }
        }
        if (n > MAX_INSTRUMENTS)
            addInstrument(
                FamiToneProblem::TooManyInstruments, MAX_INSTRUMENTS + 1,
                format("instruments %02X-%02X are beyond the 64 the library holds", MAX_INSTRUMENTS + 1, n));
    }

    void add(FamiToneProblem problem, int order, int row, int channel, std::string what) {
        const int pattern = song_.orders.entries[order];
        // A pattern played by several order entries is one cell to mend.
        if (!reported_.insert({pattern, channel, row, problem}).second) return;
        findings_.push_back({problem, order, pattern, row, channel, 0, std::move(what)});
    }

    void checkCell(int order, int row, int ch, const PatternCell& cell, const FamiToneCell& out) {
        const PatternCell& written = out.written;
        if (out.drop == FamiToneDrop::NotASample) {
            const int type = song_.instruments[cell.instrument].type;
            char buf[96];
            std::snprintf(
                buf, sizeof buf, "instrument %02X (%s) is left out: only DPCM samples play here",
                cell.instrument,
                type >= 0 && type < INSTRUMENT_TYPE_COUNT ? INSTRUMENT_TYPE_NAMES[type] : "unknown type");
            add(FamiToneProblem::NotASample, order, row, ch, buf);
        } else if (out.drop == FamiToneDrop::TableFull) {
            add(FamiToneProblem::TableFull, order, row, ch,
                format("sample of instrument %02X at rate %X is left out: the table holds twelve",
                       cell.instrument, cell.note & 0x0F));
        }

        if (ch == CH_DPCM) {
            if (hasNote(written) && written.instrument == 0) {
                const bool sampleNote =
                    written.note >= FAMITONE_FIRST_SAMPLE_NOTE && written.note <= LAST_SAMPLE_NOTE;
                if (sampleNote)
                    add(FamiToneProblem::SampleNote, order, row, ch,
                        "note without instrument plays the table's sample of that note");
                else
                    add(FamiToneProblem::SampleNoteRange, order, row, ch,
                        "note without instrument is not one of the sample notes");
            }
        } else if (ch == CH_NOISE && cell.note == NOTE_OFF - 1) {
            // Noise notes are written one semitone up, and this one becomes the note-off code.
            add(FamiToneProblem::NoiseNoteOff, order, row, ch, "note is written as a note off");
        } else if (hasNote(cell)) {
            const int note = cell.note + (ch == CH_NOISE ? 1 : 0);
            if (note < LOWEST_NOTE || note > HIGHEST_NOTE)
                add(FamiToneProblem::NoteRange, order, row, ch,
                    note < LOWEST_NOTE ? "note is too low for the library"
                                       : "note is too high for the library");
        }

        if (written.instrument > MAX_INSTRUMENTS)
            add(FamiToneProblem::InstrumentRange, order, row, ch,
                format("instrument %02X is beyond the 64 the library holds", written.instrument));

        if (written.fx == 0 && (written.param & 0x0F) == 0) return;  // written as no effect
        const int effect = written.effect();
        if (effect == 0xB) {
            const int target = written.parameter();
            if (target > order)
                add(FamiToneProblem::ForwardJump, order, row, ch,
                    format("effect B jumps forward to order %02X; only loops back are played", target));
        } else if (effect != 0xD && effect != 0xF) {
            std::string what = format("effect %X", effect);
            if (EFFECT_NAMES[effect]) what += std::string(" (") + EFFECT_NAMES[effect] + ")";
            add(FamiToneProblem::Effect, order, row, ch, what + " is not played");
        }
    }

    const Song& song_;
    std::vector<FamiToneFinding> findings_;
    std::set<std::tuple<int, int, int, FamiToneProblem>> reported_;
};

}  // namespace

std::string FamiToneFinding::text() const {
    char buf[64];
    if (isCell())
        std::snprintf(buf, sizeof buf, "order %02X row %02X %s: ", order, row, CHANNEL_NAMES[channel]);
    else
        std::snprintf(buf, sizeof buf, "instrument %02X: ", instrument);
    return buf + what;
}

std::vector<FamiToneFinding> checkFamiTone(const Song& song) { return Checker(song).run(); }

int famiToneCellCount(const std::vector<FamiToneFinding>& findings) {
    std::set<std::tuple<int, int, int>> cells;
    for (const FamiToneFinding& f : findings)
        if (f.isCell()) cells.insert({f.pattern, f.channel, f.row});
    return int(cells.size());
}

int famiToneInstrumentCount(const std::vector<FamiToneFinding>& findings) {
    std::set<int> slots;
    for (const FamiToneFinding& f : findings)
        if (!f.isCell()) slots.insert(f.instrument);
    return int(slots.size());
}

std::string famiToneSummary(const std::vector<FamiToneFinding>& findings) {
    const int cells = famiToneCellCount(findings), instruments = famiToneInstrumentCount(findings);
    auto count = [](int n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string parts;
    if (cells) parts = count(cells, "cell", "cells");
    if (cells && instruments) parts += " and ";
    if (instruments) parts += count(instruments, "instrument", "instruments");
    if (parts.empty()) return parts;
    return parts + " will not play as written";
}
