#include "player/PitchTables.h"

#include <cmath>

#include "apu/CpuClock.h"

void buildPeriodTable(bool ntsc, int32_t (&table)[PERIOD_TABLE_SIZE]) {
    const double clock = ntsc ? NTSC_CPU_CLOCK_EXACT : double(PAL_CPU_CLOCK);
    const double base = 55.0 / std::pow(2.0, 0.75);  // C, nine semitones below A at 55 Hz
    for (int i = 0; i < PERIOD_TABLE_SIZE; ++i) {
        double f = std::pow(2.0, i / 12.0) * base;
        // The pulse timer divides the clock by 16 x (period + 1).
        double period = std::trunc(clock * 0.0625 / f - 1.0 + 0.5);
        table[i] = period > 0x7FF ? 0x7FF : int32_t(period);
    }
}

void buildVibratoTable(int32_t (&table)[16][16]) {
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) table[r][c] = int32_t(std::trunc(r * c * 63.0 / 225.0 + 0.5));
}

int32_t vibratoValue(const int32_t (&table)[16][16], int position, int depth) {
    int p = position & 63;
    int shape = p < 16 ? p : p < 32 ? 31 - p : p < 48 ? p - 32 : 63 - p;
    int32_t v = table[shape][depth & 15];
    return p > 31 ? -v : v;
}
