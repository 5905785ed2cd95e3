#include "app/GlobalCommands.h"

#include <string>

#include "app/InstrumentList.h"

namespace {

const char* onOff(bool on) { return on ? "on" : "off"; }

}  // namespace

GlobalCommands::GlobalCommands(EditorContext& context, InstrumentList& instrumentList, bool& running)
    : ctx_(context), instrumentList_(instrumentList), running_(running) {}

void GlobalCommands::registerHandlers(ActionTable& table) {
    auto& h = table.handlers;
    h["quit program"] = [this] { running_ = false; };
    h["undo"] = [this] { undo(); };
    h["redo"] = [this] { redo(); };
    h["record on/off"] = [this] { recordOnOff(); };
    h["record on/off, stop song"] = [this] { recordOnOffStopSong(); };
    h["play song"] = [this] { playSong(); };
    h["play pattern"] = [this] { playPattern(); };
    h["go to pattern editor"] = [this] { goToPatternEditor(); };
    h["go to instr select"] = [this] { goToInstrumentSelect(); };
    h["go to order editor"] = [this] { goToOrderEditor(); };
    h["go to instr editor"] = [this] { goToInstrumentEditor(); };
    h["split sample"] = [] {};
    h["remove sample"] = [this] { removeSample(); };
    h["block repeat on/off"] = [this] { blockRepeatOnOff(); };
    h["cursor follow on/off"] = [this] { cursorFollowOnOff(); };
    h["decr octave"] = [this] { changeOctave(-1); };
    h["incr octave"] = [this] { changeOctave(1); };
    h["decr step"] = [this] { changeStep(-1); };
    h["incr step"] = [this] { changeStep(1); };
    h["strip unused samples"] = [this] { ctx_.setStatus("TODO"); };
    h["sample loop on/off"] = [this] { sampleLoopOnOff(); };
    h["switch ntsc/pal"] = [this] { switchNtscPal(); };
    h["metronome on/off"] = [this] { metronomeOnOff(); };
    h["decr instr"] = [this] { instrumentList_.moveBy(-1); };
    h["incr instr"] = [this] { instrumentList_.moveBy(1); };
    for (int n = 0; n <= 9; ++n)
        h["select instr " + std::to_string(n)] = [this, n] { instrumentList_.selectInstrument(n); };
}

void GlobalCommands::syncPlayer() {
    EditingState& e = ctx_.edit;
    AudioLockGuard guard(ctx_.audioLock);
    Player& p = ctx_.player;
    p.repeatBlockOn = e.blockRepeat;
    p.repeatMarkA = std::clamp<int>(e.repeatBlock.row1, 0, ROWS_PER_PATTERN - 1);
    p.repeatMarkB = std::clamp<int>(e.repeatBlock.row2, 0, ROWS_PER_PATTERN - 1);
    p.metronomeOn = e.metronome;
}

void GlobalCommands::recordOnOff() { ctx_.edit.record = !ctx_.edit.record; }

void GlobalCommands::recordOnOffStopSong() {
    EditingState& e = ctx_.edit;
    AudioLockGuard guard(ctx_.audioLock);
    Player& p = ctx_.player;
    if (!p.playing) {
        e.record = !e.record;
        return;
    }
    p.requestStop();
    p.playing = false;
    if (e.playPatternStartRow != -1) {
        p.currentRow = std::clamp<int>(e.playPatternStartRow, 0, ROWS_PER_PATTERN - 1);
        e.playPatternStartRow = -1;
    }
}

void GlobalCommands::start(bool patternMode, int row) {
    syncPlayer();
    AudioLockGuard guard(ctx_.audioLock);
    Player& p = ctx_.player;
    p.currentRow = std::clamp(row, 0, ROWS_PER_PATTERN - 1);
    p.currentOrder = ctx_.currentOrderIndex();
    p.start(patternMode);
}

void GlobalCommands::playSong() {
    EditingState& e = ctx_.edit;
    if (e.nameEditing) return;
    e.playPatternStartRow = -1;
    start(false, e.blockRepeat ? std::min(e.repeatBlock.row1, e.repeatBlock.row2) : 0);
}

void GlobalCommands::playPattern() {
    EditingState& e = ctx_.edit;
    if (e.nameEditing) return;
    e.playPatternStartRow = std::clamp<int>(e.cursor.row, 0, ROWS_PER_PATTERN - 1);
    start(true, e.playPatternStartRow);
}

void GlobalCommands::goToPatternEditor() {
    ctx_.edit.mode = EditorMode::Pattern;
    ctx_.edit.nameEditing = false;
}

void GlobalCommands::goToOrderEditor() {
    ctx_.edit.mode = EditorMode::Order;
    ctx_.edit.nameEditing = false;
}

void GlobalCommands::goToInstrumentEditor() {
    if (ctx_.edit.currentInstrument == 0) return;
    ctx_.edit.mode = EditorMode::InstrumentEditor;
    ctx_.edit.nameEditing = false;
}

void GlobalCommands::goToInstrumentSelect() { ctx_.edit.mode = EditorMode::InstrumentSelect; }

void GlobalCommands::blockRepeatOnOff() {
    ctx_.edit.blockRepeat = !ctx_.edit.blockRepeat;
    syncPlayer();
    ctx_.setStatus(std::string("Repeat block: ") + onOff(ctx_.edit.blockRepeat));
}

void GlobalCommands::cursorFollowOnOff() {
    ctx_.edit.cursorFollow = !ctx_.edit.cursorFollow;
    ctx_.setStatus(std::string("Cursor follow: ") + onOff(ctx_.edit.cursorFollow));
}

void GlobalCommands::changeOctave(int delta) {
    ctx_.edit.octave = std::clamp(ctx_.edit.octave + delta, 0, 9);
    ctx_.setStatus("Current octave: " + std::to_string(ctx_.edit.octave));
}

void GlobalCommands::changeStep(int delta) {
    ctx_.edit.step = std::clamp(ctx_.edit.step + delta, 0, 32);
    ctx_.setStatus("Current step: " + std::to_string(ctx_.edit.step));
}

void GlobalCommands::switchNtscPal() {
    ctx_.history.apply("TV system", EditTarget::settings(), [this] {
        ctx_.song.ntsc = !ctx_.song.ntsc;
        // The audio thread rebuilds its clocks and tables at its next scanline.
        ctx_.player.reconfigureRequest = true;
    });
    ctx_.setStatus(ctx_.song.ntsc ? "Mode: NTSC" : "Mode: PAL");
}

void GlobalCommands::metronomeOnOff() {
    ctx_.edit.metronome = !ctx_.edit.metronome;
    syncPlayer();
    ctx_.setStatus(ctx_.edit.metronome ? "Metronome on" : "Metronome off");
}

void GlobalCommands::sampleLoopOnOff() {
    const int n = ctx_.edit.currentInstrument;
    if (n <= 0 || n >= INSTRUMENT_SLOTS) return;
    ctx_.history.apply("sample loop", EditTarget::instrument(n), [&] {
        Instrument& inst = ctx_.song.instruments[n];
        if (inst.type == INST_PCM)
            inst.pcm.loop = !inst.pcm.loop;
        else if (inst.type == INST_DPCM)
            inst.dpcm.loop = !inst.dpcm.loop;
    });
}

void GlobalCommands::removeSample() {
    const int n = ctx_.edit.currentInstrument;
    if (n <= 0 || n >= INSTRUMENT_SLOTS) {
        ctx_.setStatus("No instrument selected");
        return;
    }
    Instrument& inst = ctx_.song.instruments[n];
    if (!isSampleType(inst.type)) {
        ctx_.setStatus("Instrument type is not PCM/DPCM");
        return;
    }
    // The player reads the sample slot live while it plays; the history changes it under the lock.
    ctx_.history.apply("remove sample", EditTarget::instrument(n), [&] {
        (inst.type == INST_PCM ? inst.pcm : inst.dpcm).release();
        ctx_.song.instrumentNames[n].clear();
    });
    ctx_.edit.nameCursor = 0;
}

void GlobalCommands::undo() {
    const char* what = ctx_.history.undo();
    ctx_.setStatus(what ? std::string("Undo: ") + what : std::string("Nothing to undo."));
}

void GlobalCommands::redo() {
    const char* what = ctx_.history.redo();
    ctx_.setStatus(what ? std::string("Redo: ") + what : std::string("Nothing to redo."));
}
