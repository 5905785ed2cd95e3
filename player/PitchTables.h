#pragma once
// The period table and the vibrato table the player rebuilds on reset and on a TV-system change.

#include <cstdint>

constexpr int PERIOD_TABLE_SIZE = 96;

// Timer periods of the pulse and triangle channels for the 96 semitones from C at 32.703 Hz
// (entry 0) upward, for the given CPU clock (PAL 1662607 Hz, NTSC 1789772.67 Hz). Entries are
// capped at 0x7FF, the largest period the 11-bit timer holds.
void buildPeriodTable(bool ntsc, int32_t (&table)[PERIOD_TABLE_SIZE]);

// vibratoTable[r][c] = round(r x c x 63 / 225): the offset at shape step r (0-15) and depth c.
void buildVibratoTable(int32_t (&table)[16][16]);

// Offset of the 64-step triangle vibrato at position p (0-63) and depth d (0-15): positive over
// the first half of the cycle, negated over the second.
int32_t vibratoValue(const int32_t (&table)[16][16], int position, int depth);
