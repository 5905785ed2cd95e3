#include "song/InstrumentText.h"

#include <algorithm>

namespace {

bool isWaveType(InstrumentType type) { return type == INST_PCM_PULSE || type == INST_PCM_SAW; }

std::string_view trimLine(std::string_view line) {
    const char* blanks = " \t\r\n";
    size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    size_t last = line.find_last_not_of(blanks);
    return line.substr(first, last - first + 1);
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Signed decimal at `pos` (leading white space skipped). Saturates far beyond any envelope range,
// so that a long run of digits clamps like any other out-of-range number.
bool readNumber(std::string_view line, size_t& pos, long long& number) {
    size_t p = pos;
    while (p < line.size() && isSpace(line[p])) ++p;
    bool negative = false;
    if (p < line.size() && (line[p] == '-' || line[p] == '+')) negative = line[p++] == '-';
    size_t digitsStart = p;
    long long value = 0;
    constexpr long long kSaturation = 1000000000000LL;
    while (p < line.size() && line[p] >= '0' && line[p] <= '9') {
        value = std::min(kSaturation, value * 10 + (line[p] - '0'));
        ++p;
    }
    if (p == digitsStart) return false;
    number = negative ? -value : value;
    pos = p;
    return true;
}

void readEnvelopeLine(std::string_view line, EnvelopeKind kind, InstrumentType type, Envelope& envelope) {
    envelope.loopPoint = 0;
    std::fill(std::begin(envelope.values), std::end(envelope.values), 0);
    envelope.values[1] = END_MARKER;

    size_t pos = 0;
    int count = 0;
    while (count < MAX_ENVELOPE_VALUES) {
        bool loopHere = false;
        if (pos < line.size() && line[pos] == '|') {
            loopHere = true;
            ++pos;
        }
        long long number = 0;
        if (!readNumber(line, pos, number)) break;
        bool absolute = false;
        if (pos < line.size() && line[pos] == '!') {
            absolute = true;
            ++pos;
        }
        envelope.values[count] = envelopeValueFromNumber(kind, type, number, absolute);
        if (loopHere) envelope.loopPoint = count;
        ++count;
        if (pos >= line.size()) break;
        ++pos;  // the separator, whatever it is
    }
    if (count > 0) envelope.values[count] = END_MARKER;
}

}  // namespace

std::string envelopeValueText(EnvelopeKind kind, InstrumentType type, int v) {
    switch (kind) {
        case ENV_VOLUME:
            return std::to_string(isWaveType(type) ? v : v >> 4);
        case ENV_NOTE:
            if (v < 128) return std::to_string(v - 64);
            return std::to_string(v & 127) + "!";
        case ENV_DUTY:
            return std::to_string(isWaveType(type) ? v - 127 : (v >> 6) + 1);
        case ENV_FINETUNE:
            return std::to_string(v - 127);
    }
    return std::to_string(v);
}

int envelopeValueFromNumber(EnvelopeKind kind, InstrumentType type, long long n, bool absolute) {
    switch (kind) {
        case ENV_VOLUME:
            if (isWaveType(type)) return int(std::clamp(n, 0LL, 254LL));
            return int(std::clamp(n, 0LL, 15LL)) * 16;
        case ENV_NOTE:
            if (absolute) return int(std::clamp(n, 0LL, 126LL)) | 128;
            return int(std::clamp(n, -64LL, 63LL)) + 64;
        case ENV_DUTY: {
            if (isWaveType(type)) return int(std::clamp(n, -127LL, 127LL)) + 127;
            // Duty 0 is stored as 32 so that the editor never shows an empty bar for it.
            static const int kDutyValues[4] = {32, 64, 128, 192};
            return kDutyValues[std::clamp(n, 1LL, 4LL) - 1];
        }
        case ENV_FINETUNE:
            return int(std::clamp(n, -127LL, 127LL)) + 127;
    }
    return 0;
}

bool instrumentToText(const Instrument& instrument, std::string& text) {
    if (instrument.type != INST_NORMAL && !isWaveType(instrument.type)) return false;
    std::string out = "Type: ";
    out += INSTRUMENT_TYPE_NAMES[instrument.type];
    out += "\r\n";
    for (int k = 0; k < ENVELOPE_COUNT; ++k) {
        const Envelope& envelope = instrument.envelopes[k];
        int length = std::min(envelope.length(), MAX_ENVELOPE_VALUES);
        for (int i = 0; i < length; ++i) {
            if (i == envelope.loopPoint) out += '|';
            out += envelopeValueText(EnvelopeKind(k), instrument.type, envelope.values[i]);
            if (i + 1 < length) out += ' ';
        }
        out += "\r\n";
    }
    text = std::move(out);
    return true;
}

void instrumentFromText(std::string_view text, Instrument& instrument) {
    if (text.empty()) return;

    size_t pos = 0;
    auto nextLine = [&](std::string_view& line) {
        // Line-by-line like getline: a final line end does not start another (empty) line.
        if (pos >= text.size()) return false;
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        line = trimLine(text.substr(pos, end - pos));
        pos = end + 1;
        return true;
    };

    std::string_view line;
    nextLine(line);
    if (line == "Type: PCM Pulse")
        instrument.type = INST_PCM_PULSE;
    else if (line == "Type: PCM Saw")
        instrument.type = INST_PCM_SAW;
    else
        instrument.type = INST_NORMAL;

    for (int k = 0; k < ENVELOPE_COUNT && nextLine(line); ++k)
        readEnvelopeLine(line, EnvelopeKind(k), instrument.type, instrument.envelopes[k]);
}
