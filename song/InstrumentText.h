#pragma once
// The plain text through which an instrument's type and four envelopes travel on the clipboard,
// so that instruments can move between songs, between two running copies of the program, or
// through a text editor. Names, colours and samples never travel.
//
// The text, lines ended by "\r\n":
//   Type: Normal | PCM Pulse | PCM Saw
//   four lines, Volume, Note, Duty/Mode, Fine-tune: the values as the instrument editor shows them,
//   separated by one space, the value at the loop point preceded by "|". An absolute Note value is
//   followed by "!".
//
// Both functions are pure: the clipboard itself belongs to the platform layer.

#include <string>
#include <string_view>

#include "song/Song.h"

// The clipboard text of an envelope instrument. Sample instruments ("PCM", "DPCM") have no text:
// the result is false and `text` is left alone, so the clipboard stays as it was.
bool instrumentToText(const Instrument& instrument, std::string& text);

// Reads clipboard text into the instrument (type and envelopes only; samples stay).
// An empty text changes nothing. Otherwise the first line sets the type ("Type: PCM Pulse",
// "Type: PCM Saw", anything else "Normal"), and up to four further lines replace the envelopes in
// order; a missing line leaves that envelope and the following ones as they were. Each line holds
// tokens: an optional "|" (loop point), a signed decimal number, an optional "!" (absolute note),
// one separator character. Reading a line stops at the first token that is not a number, at the
// end of the line, or after 250 values. Out-of-range numbers are clamped, never rejected.
// Safe on any bytes: the text is outside input.
void instrumentFromText(std::string_view text, Instrument& instrument);

// The text of one stored envelope value v as the instrument editor shows it ("12!" for an
// absolute note), and the stored value for a number read back. Exposed for the editor's display.
std::string envelopeValueText(EnvelopeKind kind, InstrumentType type, int value);
int envelopeValueFromNumber(EnvelopeKind kind, InstrumentType type, long long number, bool absolute);
