#include "app/EditHistory.h"

#include <algorithm>
#include <cstring>

#include "app/InstrumentList.h"
#include "player/Player.h"

namespace {

uint8_t fit(int v, int hi) { return uint8_t(std::clamp(v, 0, hi)); }

// Images are plain bytes in memory order; they never leave the running program.
template <typename T>
void put(std::vector<uint8_t>& out, const T& value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), p, p + sizeof(T));
}

struct Reader {
    const std::vector<uint8_t>& in;
    size_t at = 0;
    template <typename T>
    T get() {
        T value{};
        if (at + sizeof(T) <= in.size()) std::memcpy(&value, in.data() + at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    const uint8_t* bytes(size_t n) {
        const uint8_t* p = at + n <= in.size() ? in.data() + at : nullptr;
        at += n;
        return p;
    }
};

void putSample(std::vector<uint8_t>& out, const SampleSlot& s) {
    const uint32_t size = s.empty() ? 0 : s.size;
    put(out, size);
    put(out, uint8_t(s.loop));
    if (size) out.insert(out.end(), s.data.get(), s.data.get() + size);
}

void getSample(Reader& in, SampleSlot& s) {
    const auto size = in.get<uint32_t>();
    const bool loop = in.get<uint8_t>() != 0;
    const uint8_t* bytes = in.bytes(size);
    // An unchanged sample keeps its buffer: the player may hold on to it between callbacks.
    if (size == (s.empty() ? 0 : s.size) &&
        (size == 0 || (bytes && std::memcmp(bytes, s.data.get(), size) == 0))) {
        s.loop = loop;
        return;
    }
    s.assign(bytes, bytes ? size : 0, loop);
}

}  // namespace

EditTarget EditTarget::cells(int pattern, int channel1, int channel2, int row1, int row2) {
    EditTarget t;
    t.kind = Cells;
    t.pattern = fit(pattern, MAX_PATTERNS - 1);
    t.channel1 = fit(std::min(channel1, channel2), CHANNEL_COUNT - 1);
    t.channel2 = fit(std::max(channel1, channel2), CHANNEL_COUNT - 1);
    t.row1 = fit(std::min(row1, row2), ROWS_PER_PATTERN - 1);
    t.row2 = fit(std::max(row1, row2), ROWS_PER_PATTERN - 1);
    return t;
}

EditTarget EditTarget::orders() {
    EditTarget t;
    t.kind = Orders;
    return t;
}

EditTarget EditTarget::instrument(int slot) {
    EditTarget t;
    t.kind = InstrumentSlot;
    t.slot = fit(slot, INSTRUMENT_SLOTS - 1);
    return t;
}

EditTarget EditTarget::settings() {
    EditTarget t;
    t.kind = Settings;
    return t;
}

EditPlace EditPlace::of(const EditingState& e) {
    EditPlace p;
    p.mode = e.mode;
    p.cursor = e.cursor;
    p.currentOrder = e.currentOrder;
    p.currentInstrument = e.currentInstrument;
    p.currentEnvelope = e.currentEnvelope;
    p.typeFieldSelected = e.typeFieldSelected;
    p.nameEditing = e.nameEditing;
    std::copy(std::begin(e.envelopeCursor), std::end(e.envelopeCursor), p.envelopeCursor);
    p.nameCursor = e.nameCursor;
    return p;
}

void EditPlace::restore(EditingState& e) const {
    e.mode = mode;
    e.cursor = cursor;
    e.currentOrder = currentOrder;
    e.currentInstrument = currentInstrument;
    e.currentEnvelope = currentEnvelope;
    e.typeFieldSelected = typeFieldSelected;
    e.nameEditing = nameEditing;
    std::copy(std::begin(envelopeCursor), std::end(envelopeCursor), e.envelopeCursor);
    e.nameCursor = nameCursor;
    // The instrument list shows the current instrument.
    const int n = std::clamp<int>(currentInstrument, 0, INSTRUMENT_SLOTS - 1);
    if (n < e.firstShownInstrument || n >= e.firstShownInstrument + INSTRUMENT_LIST_LINES)
        e.firstShownInstrument =
            std::clamp(n - INSTRUMENT_LIST_LINES / 2, 0, INSTRUMENT_SLOTS - INSTRUMENT_LIST_LINES);
}

EditHistory::EditHistory(Song& song, EditingState& edit, AudioLock& audioLock, Player* player,
                         size_t byteLimit)
    : song_(song), edit_(edit), audioLock_(audioLock), player_(player), byteLimit_(byteLimit) {}

void EditHistory::serialize(const EditTarget& t, std::vector<uint8_t>& out) const {
    out.clear();
    switch (t.kind) {
        case EditTarget::Cells: {
            const Pattern& p = song_.patterns[t.pattern];
            for (int ch = t.channel1; ch <= t.channel2; ++ch)
                for (int row = t.row1; row <= t.row2; ++row) put(out, p.at(ch, row));
            break;
        }
        case EditTarget::Orders:
            put(out, song_.orders);
            break;
        case EditTarget::InstrumentSlot: {
            const Instrument& inst = song_.instruments[t.slot];
            put(out, inst.type);
            for (const Envelope& env : inst.envelopes) put(out, env);
            put(out, song_.instrumentColours[t.slot]);
            const std::string& name = song_.instrumentNames[t.slot];
            put(out, uint32_t(name.size()));
            out.insert(out.end(), name.begin(), name.end());
            // The samples last: an envelope or name edit then shares them as the common tail.
            putSample(out, inst.pcm);
            putSample(out, inst.dpcm);
            break;
        }
        case EditTarget::Settings:
            put(out, uint8_t(song_.ntsc));
            put(out, song_.speed);
            put(out, song_.tempo);
            break;
    }
}

void EditHistory::deserialize(const EditTarget& t, const std::vector<uint8_t>& in) {
    Reader r{in};
    switch (t.kind) {
        case EditTarget::Cells: {
            Pattern& p = song_.patterns[t.pattern];
            for (int ch = t.channel1; ch <= t.channel2; ++ch)
                for (int row = t.row1; row <= t.row2; ++row) p.at(ch, row) = r.get<PatternCell>();
            break;
        }
        case EditTarget::Orders:
            song_.orders = r.get<OrderList>();
            break;
        case EditTarget::InstrumentSlot: {
            Instrument& inst = song_.instruments[t.slot];
            inst.type = r.get<InstrumentType>();
            for (Envelope& env : inst.envelopes) env = r.get<Envelope>();
            song_.instrumentColours[t.slot] = r.get<int32_t>();
            const auto length = r.get<uint32_t>();
            const uint8_t* name = r.bytes(length);
            song_.instrumentNames[t.slot] =
                name ? std::string(reinterpret_cast<const char*>(name), length) : "";
            getSample(r, inst.pcm);
            getSample(r, inst.dpcm);
            break;
        }
        case EditTarget::Settings:
            song_.ntsc = r.get<uint8_t>() != 0;
            song_.speed = r.get<int32_t>();
            song_.tempo = r.get<int32_t>();
            // The audio thread rebuilds its clocks and tables for the TV system.
            if (player_) player_->reconfigureRequest = true;
            break;
    }
}

bool EditHistory::apply(const char* what, std::initializer_list<EditTarget> targets,
                        const std::function<void()>& change) {
    Step step;
    step.what = what;
    step.place = EditPlace::of(edit_);
    std::vector<std::vector<uint8_t>> before(targets.size());
    std::vector<uint8_t> after;
    {
        AudioLockGuard guard(audioLock_);
        size_t i = 0;
        for (const EditTarget& t : targets) serialize(t, before[i++]);
        change();
        i = 0;
        for (const EditTarget& t : targets) {
            const std::vector<uint8_t>& b = before[i++];
            serialize(t, after);
            if (after == b) continue;
            Piece piece;
            piece.target = t;
            const size_t shorter = std::min(b.size(), after.size());
            size_t head = 0;
            while (head < shorter && b[head] == after[head]) ++head;
            size_t tail = 0;
            while (tail < shorter - head && b[b.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
            piece.offset = uint32_t(head);
            piece.tail = uint32_t(tail);
            piece.before.assign(b.begin() + long(head), b.end() - long(tail));
            piece.after.assign(after.begin() + long(head), after.end() - long(tail));
            step.bytes += sizeof(Piece) + piece.before.capacity() + piece.after.capacity();
            step.pieces.push_back(std::move(piece));
        }
    }
    if (step.pieces.empty()) return false;
    step.bytes += sizeof(Step);
    // A new change ends the steps that were undone.
    while (steps_.size() > position_) {
        bytes_ -= steps_.back().bytes;
        steps_.pop_back();
    }
    step.stateBefore = state_;
    step.stateAfter = state_ = ++nextState_;
    bytes_ += step.bytes;
    steps_.push_back(std::move(step));
    position_ = steps_.size();
    ++changeCount_;
    trim();
    return true;
}

void EditHistory::trim() {
    // The newest step stays even when it alone is over the limit, so the last command can
    // always be taken back.
    while (bytes_ > byteLimit_ && steps_.size() > 1 && position_ > 0) {
        bytes_ -= steps_.front().bytes;
        steps_.pop_front();
        --position_;
    }
}

void EditHistory::restore(const Piece& piece, bool toBefore) {
    std::vector<uint8_t> now;
    serialize(piece.target, now);
    const std::vector<uint8_t>& middle = toBefore ? piece.before : piece.after;
    const size_t current = (toBefore ? piece.after : piece.before).size();
    std::vector<uint8_t> image(now.begin(), now.begin() + long(std::min<size_t>(piece.offset, now.size())));
    image.insert(image.end(), middle.begin(), middle.end());
    const size_t tailStart = std::min(now.size(), size_t(piece.offset) + current);
    image.insert(image.end(), now.begin() + long(tailStart), now.end());
    deserialize(piece.target, image);
}

const char* EditHistory::undo() {
    if (position_ == 0) return nullptr;
    const Step& step = steps_[--position_];
    {
        AudioLockGuard guard(audioLock_);
        for (auto it = step.pieces.rbegin(); it != step.pieces.rend(); ++it) restore(*it, true);
    }
    state_ = step.stateBefore;
    step.place.restore(edit_);
    ++changeCount_;
    return step.what;
}

const char* EditHistory::redo() {
    if (position_ == steps_.size()) return nullptr;
    const Step& step = steps_[position_++];
    {
        AudioLockGuard guard(audioLock_);
        for (const Piece& piece : step.pieces) restore(piece, false);
    }
    state_ = step.stateAfter;
    step.place.restore(edit_);
    ++changeCount_;
    return step.what;
}

void EditHistory::clear() {
    steps_.clear();
    position_ = 0;
    bytes_ = 0;
    state_ = savedState_ = ++nextState_;
    ++changeCount_;
}
