#pragma once
// The instrument (envelope) editor: the current instrument's type and, for the envelope types
// (Normal, PCM Pulse, PCM Saw), its four envelopes and their loop points. Values are kept in the
// raw form the player reads:
//   Volume:    Normal 0, 16, ..., 240 (level x 16); PCM Pulse/Saw 0-254.
//   Note:      0-127 relative (value - 64 semitones) or 128-254 absolute (note = value & 127).
//   Duty/Mode: Normal 32, 64, 128, 192 (duty (value >> 6) + 1); PCM Pulse/Saw 0-254.
//   Fine-tune: 0-254 (value - 127).

#include "app/EditorContext.h"

class InstrumentEditor {
  public:
    explicit InstrumentEditor(EditorContext& context);

    void registerHandlers(ActionTable& table);

    // The editor's bindings first, then note keys (previewed and taken).
    bool instrumentEditorKey(const KeyEvent& event);

    // After a change of instrument: every envelope cursor at or past its envelope's length goes
    // to its last value (-1 for an envelope without values), and a sample instrument selects
    // the type field. Nothing without an instrument.
    void fitEnvelopeCursors();

    // The value under the cursor one step up or down by the rules of its envelope and type; on
    // the type field or a sample instrument the type steps instead (wrapping over the five).
    void changeValue(int delta);
    void switchAbsRel();  // Note envelope only: relative <-> absolute (bit 7)
    void addValue();      // duplicates the value under the cursor
    void deleteValue();   // an envelope keeps at least one value
    void deletePrecedingValue();
    void moveCursor(int delta);
    void moveCursorTo(bool end);
    void moveLoopPoint(int delta);
    void moveLoopPointTo(bool end);
    // type field -> Volume -> Note -> Duty/Mode -> Fine-tune -> type field (prev: the reverse).
    void nextEnvelope();
    void prevEnvelope();

    // The current instrument's type and envelopes as clipboard text. Nothing happens without an
    // instrument, for a sample instrument (PCM, DPCM: the clipboard keeps what it had) or
    // without a clipboard; nothing is reported.
    void copyInstrumentToClipboard();
    // Reads the clipboard's text into the current instrument's type and envelopes (samples,
    // name and colour stay) and fits the envelope cursors. Nothing happens without an
    // instrument, a clipboard or clipboard text; nothing is reported.
    void pasteInstrumentFromClipboard();

  private:
    Instrument* instrument();                  // the current instrument, or nullptr for none
    // One step of the history on the current instrument; nothing without one.
    void changeInstrument(const char* what, const std::function<void()>& change);
    void stepValue(int delta);
    Envelope* editableEnvelope();              // the envelope under the cursor when envelopes are editable
    int32_t& cursor();                         // the current envelope's value cursor
    static int lengthOf(const Envelope& env);  // 0-250

    EditorContext& ctx_;
};
