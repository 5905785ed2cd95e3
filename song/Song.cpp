#include "song/Song.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

const char* const CHANNEL_NAMES[CHANNEL_COUNT] = {"Pulse 1", "Pulse 2", "Triangle", "Noise", "DPCM"};
const char* const ENVELOPE_NAMES[ENVELOPE_COUNT] = {"Volume", "Note", "Duty/Mode", "Fine-tune"};
const char* const INSTRUMENT_TYPE_NAMES[INSTRUMENT_TYPE_COUNT] = {"Normal", "PCM", "DPCM", "PCM Pulse",
                                                                  "PCM Saw"};

bool isEmptyCell(const PatternCell& cell) {
    return cell.note == 0 && cell.instrument == 0 && cell.fx == 0 && (cell.param & 0x0F) == 0;
}

void Pattern::clear() { std::memset(cells, 0, sizeof cells); }

bool Pattern::isEmpty() const {
    // Saving asks this of every pattern, and most are all zeros: one block compare settles those.
    // Otherwise fold the musical bits of all cells together (bytes 0-2 and the low nibble of
    // byte 3, as isEmptyCell).
    static const Pattern blank{};
    if (std::memcmp(cells, blank.cells, sizeof cells) == 0) return true;
    const auto* bytes = reinterpret_cast<const uint8_t*>(cells);
    unsigned bits = 0;
    for (size_t i = 0; i < sizeof cells; i += sizeof(PatternCell))
        bits |= unsigned(bytes[i] | bytes[i + 1] | bytes[i + 2] | (bytes[i + 3] & 0x0F));
    return bits == 0;
}

int Envelope::length() const {
    for (int i = 0; i < ENVELOPE_SLOTS; ++i)
        if (values[i] == END_MARKER) return i;
    return ENVELOPE_SLOTS;
}

void Envelope::reset(EnvelopeKind kind) {
    loopPoint = 0;
    std::memset(values, 0, sizeof values);
    values[0] = DEFAULT_ENVELOPE_VALUE[kind];
    values[1] = END_MARKER;
}

SampleSlot::SampleSlot(const SampleSlot& other) { assign(other.data.get(), other.size, other.loop); }

SampleSlot& SampleSlot::operator=(const SampleSlot& other) {
    if (this != &other) assign(other.data.get(), other.size, other.loop);
    return *this;
}

bool Envelope::operator==(const Envelope& other) const {
    static_assert(sizeof(Envelope) == sizeof(int32_t) * (1 + ENVELOPE_SLOTS), "no padding to compare");
    return std::memcmp(this, &other, sizeof(Envelope)) == 0;
}

void SampleSlot::release() {
    data.reset();
    size = 0;
    loop = false;
}

void SampleSlot::assign(const uint8_t* bytes, uint32_t n, bool loopFlag) {
    if (!bytes || n == 0) {
        release();
        return;
    }
    std::unique_ptr<uint8_t[]> copy(new uint8_t[n]);
    std::memcpy(copy.get(), bytes, n);
    data = std::move(copy);
    size = n;
    loop = loopFlag;
}

bool SampleSlot::operator==(const SampleSlot& other) const {
    if (size != other.size || loop != other.loop || empty() != other.empty()) return false;
    return empty() || std::memcmp(data.get(), other.data.get(), size) == 0;
}

void Instrument::reset() {
    type = INST_NORMAL;
    // The loader resets all 256 slots on every load: clear the four envelopes in one go, then
    // put in each one's default value and marker (the same as Envelope::reset of each kind).
    static_assert(std::is_trivially_copyable_v<Envelope>);
    std::memset(static_cast<void*>(envelopes), 0, sizeof envelopes);
    for (int k = 0; k < ENVELOPE_COUNT; ++k) {
        envelopes[k].values[0] = DEFAULT_ENVELOPE_VALUE[k];
        envelopes[k].values[1] = END_MARKER;
    }
    pcm.release();
    dpcm.release();
}

bool isDefaultInstrument(const Instrument& instrument) {
    static const Instrument fresh;
    return std::memcmp(instrument.envelopes, fresh.envelopes, sizeof fresh.envelopes) == 0;
}

void Song::clear() {
    orders = OrderList{};
    for (auto& p : patterns) p.clear();
    for (int i = 0; i < INSTRUMENT_SLOTS; ++i) {
        resetInstrument(i);
        instrumentColours[i] = 0;
    }
    ntsc = false;
    speed = 6;
    tempo = 125;
}

void Song::resetInstrument(int slot) {
    instruments[slot].reset();
    instrumentNames[slot].clear();
}

int lastUsedInstrument(const Song& song) {
    bool used[INSTRUMENT_SLOTS] = {};
    int count = std::clamp<int>(song.orders.count, 0, MAX_ORDERS);
    for (int o = 0; o < count; ++o) {
        int p = song.orders.entries[o];
        if (p < 0 || p >= MAX_PATTERNS) continue;
        for (const auto& channel : song.patterns[p].cells)
            for (const auto& cell : channel) used[cell.instrument] = true;
    }
    for (int slot = INSTRUMENT_SLOTS - 1; slot >= 1; --slot) {
        if (used[slot] || !song.instrumentNames[slot].empty() || !isDefaultInstrument(song.instruments[slot]))
            return slot;
    }
    return 0;
}

int usedPatternCount(const Song& song) {
    for (int p = MAX_PATTERNS - 1; p >= 0; --p)
        if (!song.patterns[p].isEmpty()) return p + 1;
    return 0;
}
