#pragma once
// What a song or instrument load does to the rest of the program (player and editors), reached
// through this interface so that the file readers depend on neither. Every hook defaults to doing
// nothing; the application derives from it and connects the player and the editing state.
//
// Order of calls during loadSong: stopPlayback (always, even for a refused file), then, once the
// header is accepted, requestReconfigure and resetPositions, then currentInstrument/setNameCursor
// while records are read, and songLoaded at the very end of a successful load.

struct SongLoadHooks {
    virtual ~SongLoadHooks() = default;

    // Ask the player to stop (its stop request), mark the editor as not playing and forget the
    // remembered start row of pattern play.
    virtual void stopPlayback() {}
    // The TV system may have changed: ask the audio thread to rebuild clock and pitch tables.
    virtual void requestReconfigure() {}
    // Pattern, order and instrument-editor cursors, the name-editor cursor, and the player's
    // current order and row back to 0.
    virtual void resetPositions() {}
    // The editors' current instrument slot (0 when none).
    virtual int currentInstrument() const { return 0; }
    // Place the instrument-name editor's cursor at the given character position (called after
    // the current instrument's name was read, with the name's length).
    virtual void setNameCursor(int /*position*/) {}
    // The song was loaded: current instrument 1, first shown slot of the instrument list 0.
    virtual void songLoaded() {}
};
