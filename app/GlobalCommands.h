#pragma once
// The commands of the "keyboard global" section: they run whenever the active editor leaves a
// key. They switch editors, start and stop playback, toggle modes and change octave, step and
// instrument, reporting through the status line.

#include "app/EditorContext.h"

class InstrumentList;

class GlobalCommands {
  public:
    // running is the main loop's flag, cleared by "quit program".
    GlobalCommands(EditorContext& context, InstrumentList& instrumentList, bool& running);

    // Puts a handler for every action of the section but the file commands (FileCommands) into
    // table; existing handlers of other names stay. "split sample" is accepted and does nothing.
    void registerHandlers(ActionTable& table);

    // Copies the block-repeat, repeat-block rows and metronome settings of the
    // editing state into the player. Takes the audio lock.
    void syncPlayer();

    void recordOnOff();
    // Stops a playing song (a stopped "play pattern" returns the player to its start row);
    // toggles record when nothing plays.
    void recordOnOffStopSong();
    void playSong();
    void playPattern();
    void goToPatternEditor();
    void goToOrderEditor();
    void goToInstrumentEditor();  // only while an instrument other than 0 is current
    void goToInstrumentSelect();
    void blockRepeatOnOff();
    void cursorFollowOnOff();
    void changeOctave(int delta);  // 0-9
    void changeStep(int delta);    // 0-32
    void switchNtscPal();
    void metronomeOnOff();
    // Toggles the loop flag of a PCM or DPCM instrument's sample; nothing for other types.
    void sampleLoopOnOff();
    // Releases the sample of a PCM or DPCM instrument and clears its name.
    void removeSample();
    // Takes back (puts back) the newest (the last undone) change of the song and reports it as
    // "Undo: <what>" ("Redo: <what>"), or "Nothing to undo." ("Nothing to redo.").
    void undo();
    void redo();

  private:
    void start(bool patternMode, int row);

    EditorContext& ctx_;
    InstrumentList& instrumentList_;
    bool& running_;
};
