#include "app/CellFormat.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* const NOTE_NAMES[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

bool hasNote(const PatternCell& cell) { return cell.note != 0 && cell.note != NOTE_OFF; }

std::string noiseText(int value) {
    char digit[4];
    std::snprintf(digit, sizeof digit, "%X", value & 15);
    return std::string(1, NOISE_MARK) + digit + NOISE_MARK;
}

}  // namespace

int sameSoundingNote(int note, int from, int to, int lowest, int highest) {
    const auto tonal = [](int channel) {
        return channel == CH_PULSE1 || channel == CH_PULSE2 || channel == CH_DPCM;
    };
    if (from == CH_TRIANGLE && tonal(to)) return std::max(note - 12, lowest);
    if (tonal(from) && to == CH_TRIANGLE) return std::min(note + 12, highest);
    return note;
}

bool noteEnvelopeIsAbsolute(const Instrument& instrument) {
    const Envelope& env = instrument.envelopes[ENV_NOTE];
    const int n = env.length();
    for (int i = 0; i < n && i < MAX_ENVELOPE_VALUES; ++i)
        if (!(env.values[i] & 0x80)) return false;
    return true;
}

CellText formatCell(const PatternCell& cell, int channel, const Song& song) {
    CellText out;
    char buf[16];

    if (cell.note == NOTE_OFF) {
        out.note = "OFF";
    } else if (cell.note == 0) {
        out.note = std::string(3, EMPTY_FIELD);
    } else {
        // Notes are named by the pitch they sound at, so the triangle's show an octave lower.
        const int shown = sameSoundingNote(cell.note, channel, CH_PULSE1, 1, NOTE_OFF - 1) - 1;
        std::snprintf(buf, sizeof buf, "%s%d", NOTE_NAMES[shown % 12], shown / 12);
        out.note = buf;
    }

    const Instrument* instrument = cell.instrument != 0 ? &song.instruments[cell.instrument] : nullptr;
    if (hasNote(cell)) {
        if (channel == CH_NOISE) out.note = noiseText(cell.note);
        if (channel <= CH_NOISE && instrument && noteEnvelopeIsAbsolute(*instrument)) out.note = "ABS";
        if (channel == CH_DPCM && instrument) {
            if (instrument->type == INST_PCM)
                out.note = "PCM";
            else if (instrument->type == INST_DPCM)
                out.note = noiseText(cell.note);  // the note's low nibble is the DMC rate
        }
    }

    if (cell.instrument == 0) {
        out.instrument = std::string(2, EMPTY_FIELD);
    } else {
        std::snprintf(buf, sizeof buf, "%02X", cell.instrument);
        out.instrument = buf;
    }

    // An effect shows as dots only when command and both parameter digits are all zero; a zero
    // command with a non-zero parameter (an arpeggio) is shown.
    if (cell.effect() == 0 && cell.parameter() == 0) {
        out.effect = std::string(1, EMPTY_FIELD);
        out.parameter = std::string(2, EMPTY_FIELD);
    } else {
        std::snprintf(buf, sizeof buf, "%X", cell.effect());
        out.effect = buf;
        std::snprintf(buf, sizeof buf, "%X%X", cell.fx >> 4, cell.param & 15);
        out.parameter = buf;
    }
    return out;
}
