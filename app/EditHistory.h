#pragma once
// The one edit history of the song. Every command that changes the song names what it will touch
// (cells of a rectangle, the order list, an instrument slot, the song-wide settings) and hands the
// change to apply(): the history takes the before image of just those parts, runs the change
// under the audio lock and keeps what differs, before and after, for undo and redo. It also
// remembers where the editor stood, so an undo shows the composer what came back, and which
// state was last saved or loaded.
//
// A step keeps only the bytes that differ between the before and after images (one cell edit
// costs a few bytes); the history is bounded by bytes, not by a count of steps, and drops the
// oldest steps first once the bound is passed.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

#include "app/AudioLock.h"
#include "app/EditingState.h"
#include "song/Song.h"

class Player;

// A part of the song a change touches.
struct EditTarget {
    enum Kind : uint8_t { Cells, Orders, InstrumentSlot, Settings };
    Kind kind = Cells;
    uint8_t pattern = 0;                                     // Cells: 0-63
    uint8_t channel1 = 0, channel2 = 0, row1 = 0, row2 = 0;  // Cells: inclusive, in order
    uint8_t slot = 0;                                        // InstrumentSlot: 0-255

    // Corners are brought into range and order.
    static EditTarget cells(int pattern, int channel1, int channel2, int row1, int row2);
    static EditTarget column(int pattern, int channel) { return cells(pattern, channel, channel, 0, 63); }
    static EditTarget orders();
    // Type, envelopes, both samples, name and colour of the slot.
    static EditTarget instrument(int slot);
    // TV system, speed and tempo.
    static EditTarget settings();
};

// Where the editor stood when a change was made.
struct EditPlace {
    EditorMode mode = EditorMode::Pattern;
    PatternCursor cursor;
    int32_t currentOrder = 0;
    int32_t currentInstrument = 1;
    int32_t currentEnvelope = 0;
    bool typeFieldSelected = false;
    bool nameEditing = false;
    int32_t envelopeCursor[ENVELOPE_COUNT] = {};
    int32_t nameCursor = 0;

    static EditPlace of(const EditingState& edit);
    void restore(EditingState& edit) const;
};

class EditHistory {
  public:
    static constexpr size_t DEFAULT_BYTE_LIMIT = size_t(64) << 20;

    // player may be null (then a restored TV system asks nothing of it).
    EditHistory(Song& song, EditingState& edit, AudioLock& audioLock, Player* player,
                size_t byteLimit = DEFAULT_BYTE_LIMIT);

    // Runs change under the audio lock (change must not take it itself) and records one step
    // named what (a static text such as "note") when the targets differ afterwards. Answers
    // whether a step was recorded. The change may touch only the named targets and editing
    // state; anything else it changes in the song is not undone.
    bool apply(const char* what, std::initializer_list<EditTarget> targets,
               const std::function<void()>& change);
    bool apply(const char* what, const EditTarget& target, const std::function<void()>& change) {
        return apply(what, {target}, change);
    }

    // Undoes (redoes) the newest step (the oldest undone one) under the audio lock and puts the
    // editor back where the change was made. Answers the step's name, or nullptr when there is
    // nothing to undo (redo).
    const char* undo();
    const char* redo();

    // Forgets every step; the song as it is now counts as saved (after a load or a new song).
    void clear();
    // The song as it is now has been written to its file.
    void markSaved() { savedState_ = state_; }
    // Whether the song differs from the last save or load.
    bool modified() const { return state_ != savedState_; }
    // A counter that moves whenever the song changes through the history (apply, undo, redo,
    // clear): callers compare it to tell whether anything changed since they last looked.
    uint64_t changeCount() const { return changeCount_; }

    size_t undoSteps() const { return position_; }
    size_t redoSteps() const { return steps_.size() - position_; }
    // Bytes the kept steps take (their images and bookkeeping).
    size_t bytes() const { return bytes_; }
    size_t byteLimit() const { return byteLimit_; }

  private:
    struct Piece {
        EditTarget target;
        uint32_t offset = 0;  // bytes both images share at the start
        uint32_t tail = 0;    // bytes both images share at the end
        std::vector<uint8_t> before, after;
    };
    struct Step {
        const char* what = "";
        EditPlace place;
        std::vector<Piece> pieces;
        uint64_t stateBefore = 0, stateAfter = 0;
        size_t bytes = 0;
    };

    void serialize(const EditTarget& target, std::vector<uint8_t>& out) const;
    void deserialize(const EditTarget& target, const std::vector<uint8_t>& in);
    // Replaces the differing middle of the piece's target with before (undo) or after (redo).
    void restore(const Piece& piece, bool toBefore);
    void trim();

    Song& song_;
    EditingState& edit_;
    AudioLock& audioLock_;
    Player* player_;
    size_t byteLimit_;
    std::deque<Step> steps_;
    size_t position_ = 0;  // steps_[0, position_) are done, the rest undone
    size_t bytes_ = 0;
    uint64_t state_ = 0, savedState_ = 0, nextState_ = 0, changeCount_ = 0;
};
