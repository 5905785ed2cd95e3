#pragma once
// What every editor works on: the song, the player, the editing state, the key bindings, the
// audio lock, the edit history, the clipboard and the file dialogs, plus the program's status line and note
// preview. The editors own their edits and know nothing of drawing or of the window.

#include <algorithm>
#include <functional>
#include <string>

#include "app/AudioLock.h"
#include "app/Clipboard.h"
#include "app/EditHistory.h"
#include "app/EditingState.h"
#include "app/FileDialogs.h"
#include "config/KeyBindings.h"
#include "player/Player.h"
#include "song/Song.h"

// Whether the instrument type plays a sample (its sound comes from a SampleSlot, not envelopes).
inline bool isSampleType(InstrumentType type) { return type == INST_PCM || type == INST_DPCM; }

struct EditorContext {
    Song& song;
    Player& player;
    EditingState& edit;
    KeyBindings& bindings;
    AudioLock& audioLock;
    // Every change of the song goes through it (see EditHistory::apply).
    EditHistory& history;
    // The status line (every command's way to report).
    std::function<void(std::string)> setStatus;
    // Sounds a note (1-120) for as long as its key is held; repeats are ignored.
    std::function<void(const KeyEvent&, int)> previewNote;
    // Sounds a note (1-120) at once on the cursor's channel, without the held-key bookkeeping.
    std::function<void(int)> soundNote;
    // The system clipboard and the file dialogs; either may be missing (nullptr), and then the
    // clipboard commands do nothing and every dialog answers as if cancelled.
    Clipboard* clipboard = nullptr;
    FileDialogs* fileDialogs = nullptr;

    // Whether the player is running a song or a pattern (read under the audio lock, since the
    // audio thread clears it when it serves a stop).
    bool playing() {
        AudioLockGuard guard(audioLock);
        return player.playing;
    }
    // Cursor moves are refused while the cursors follow playback.
    bool followingPlayback() { return edit.cursorFollow && playing(); }

    // The current order (0 to the song length - 1) and the pattern it names (0-63), brought into
    // range so that damaged data never indexes outside the song.
    int currentOrderIndex() const {
        const int count = std::clamp<int>(song.orders.count, 1, MAX_ORDERS);
        return std::clamp<int>(edit.currentOrder, 0, count - 1);
    }
    int currentPatternIndex() const {
        return std::clamp<int>(song.orders.entries[currentOrderIndex()], 0, MAX_PATTERNS - 1);
    }
    Pattern& currentPattern() { return song.patterns[currentPatternIndex()]; }

    // A note key of the "note input" section: previews offset + octave * 12 + 1 and answers true,
    // as every editor but the pattern editor does with note keys its own bindings leave.
    bool previewNoteKey(const KeyEvent& event) {
        int32_t offset = 0;
        if (!noteOffsetForKey(bindings.noteInput, event, offset)) return false;
        previewNote(event, std::clamp(offset + edit.octave * 12 + 1, 1, 120));
        return true;
    }

    // Runs the handler bound to the event in table; true when one ran.
    static bool runBinding(const ActionTable& table, const KeyEvent& event) {
        const ActionHandler* handler = lookupAction(table, event);
        if (!handler) return false;
        (*handler)();
        return true;
    }
};
