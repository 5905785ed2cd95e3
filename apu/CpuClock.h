#pragma once
// The CPU clock rates the sound hardware counts in, and the NTSC/PAL ratios derived from them.
//
// The NTSC CPU divides a 21.477272 MHz crystal (six times the colour subcarrier) by 12, which is
// 1789772.67 Hz; the PAL CPU divides 26.601712 MHz by 16, 1662607 Hz. The NTSC rate is used in
// two forms, each where it has always been used, so that every rendered byte stays as it was:
//   NTSC_CPU_CLOCK (1789773, rounded): the clock rate of the Apu's output buffer, whose
//     sample-rate arithmetic counts whole cycles per second;
//   NTSC_CPU_CLOCK_EXACT: the period tables and the NTSC/PAL ratios below, where the fraction
//     changes pitch.

constexpr long PAL_CPU_CLOCK = 1662607;                     // Hz
constexpr long NTSC_CPU_CLOCK = 1789773;                    // Hz, rounded
constexpr double NTSC_CPU_CLOCK_EXACT = 21477272.0 / 12.0;  // Hz

// How many PAL cycles pass while the NTSC CPU runs one (0.92894870447233713): a time or rate
// counted in scanline steps shrinks by it on NTSC. Written with the crystal so the double is the
// one it has always been (PAL_CPU_CLOCK / NTSC_CPU_CLOCK_EXACT rounds one bit lower).
constexpr double PAL_PER_NTSC_CYCLE = PAL_CPU_CLOCK * 12.0 / 21477272.0;
// Its inverse, how many NTSC cycles pass in one PAL cycle (1.0764857038775049).
constexpr double NTSC_PER_PAL_CYCLE = NTSC_CPU_CLOCK_EXACT / PAL_CPU_CLOCK;
