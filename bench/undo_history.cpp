// The edit history's speed and size: undo and redo of a transpose of a whole pattern (64 rows,
// 5 channels, every cell a note), and the bytes one step keeps for cell edits, block commands
// and envelope edits. Prints the best of several runs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "app/EditHistory.h"

namespace {

using Steady = std::chrono::steady_clock;

void fillPattern(Song& song) {
    for (int ch = 0; ch < CHANNEL_COUNT; ++ch)
        for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
            PatternCell& c = song.patterns[0].at(ch, row);
            c.note = uint8_t(20 + (row * 7 + ch) % 80);
            c.instrument = 1;
            c.setEffect(row % 16, row);
        }
}

void transposeAll(Song& song) {
    for (int ch = 0; ch < CHANNEL_COUNT; ++ch)
        for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
            uint8_t& n = song.patterns[0].at(ch, row).note;
            n = uint8_t(std::min(n + 1, 120));
        }
}

// Bytes per step over `steps` applications of the change i.
template <typename Change>
double bytesPerStep(int steps, EditTarget (*target)(int), Change change) {
    auto song = std::make_unique<Song>();
    fillPattern(*song);
    EditingState edit;
    NullAudioLock lock;
    EditHistory history(*song, edit, lock, nullptr);
    for (int i = 0; i < steps; ++i) history.apply("step", target(i), [&] { change(*song, i); });
    return double(history.bytes()) / double(std::max<size_t>(history.undoSteps(), 1));
}

}  // namespace

int main() {
    auto song = std::make_unique<Song>();
    fillPattern(*song);
    EditingState edit;
    NullAudioLock lock;
    EditHistory history(*song, edit, lock, nullptr);
    const EditTarget whole = EditTarget::cells(0, 0, CHANNEL_COUNT - 1, 0, ROWS_PER_PATTERN - 1);
    history.apply("transpose", whole, [&] { transposeAll(*song); });
    const size_t transposeBytes = history.bytes();

    constexpr int PAIRS = 20000;
    double bestUndo = 1e30, bestRedo = 1e30;
    for (int run = 0; run < 5; ++run) {
        double undoNs = 0, redoNs = 0;
        for (int i = 0; i < PAIRS; ++i) {
            auto t0 = Steady::now();
            history.undo();
            auto t1 = Steady::now();
            history.redo();
            auto t2 = Steady::now();
            undoNs += double(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
            redoNs += double(std::chrono::duration_cast<std::chrono::nanoseconds>(t2 - t1).count());
        }
        bestUndo = std::min(bestUndo, undoNs / PAIRS);
        bestRedo = std::min(bestRedo, redoNs / PAIRS);
    }
    std::printf("transpose of 64 rows x 5 channels: undo %.2f us, redo %.2f us, %zu bytes kept\n",
                bestUndo / 1000, bestRedo / 1000, transposeBytes);

    const double cell = bytesPerStep(
        10000, [](int i) { return EditTarget::cells(i / 64 % 64, i % 5, i % 5, i % 64, i % 64); },
        [](Song& s, int i) { s.patterns[i / 64 % 64].at(i % 5, i % 64).note = uint8_t(1 + i % 119); });
    const double cut = bytesPerStep(
        1000, [](int i) { return EditTarget::cells(i % 64, 0, 4, 0, 15); },
        [](Song& s, int i) {
            for (int ch = 0; ch < 5; ++ch)
                for (int row = 0; row < 16; ++row) s.patterns[i % 64].at(ch, row) = PatternCell{1, 1, 0, 0};
        });
    const double paste = bytesPerStep(
        1000, [](int i) { return EditTarget::cells(i % 64, 0, 4, 0, 63); },
        [](Song& s, int i) {
            for (int ch = 0; ch < 5; ++ch)
                for (int row = 0; row < 64; ++row)
                    s.patterns[i % 64].at(ch, row) = PatternCell{uint8_t(1 + (row + i) % 100), 2, 3, 4};
        });
    const double envelope = bytesPerStep(
        10000, [](int) { return EditTarget::instrument(1); },
        [](Song& s, int i) { s.instruments[1].envelopes[0].values[0] = i % 2 ? 240 : 16; });
    std::printf(
        "bytes per step: cell edit %.0f, 16 x 5 block cut %.0f, 64 x 5 block paste %.0f, envelope value "
        "%.0f\n",
        cell, cut, paste, envelope);
    std::printf("cell edits within the 64 MiB limit: %.0f\n", double(EditHistory::DEFAULT_BYTE_LIMIT) / cell);
    return 0;
}
