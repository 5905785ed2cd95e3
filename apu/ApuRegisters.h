#pragma once
// The sound registers by CPU address, and the bit values the program writes to them: the 2A03's
// at $4000-$4017, and the VRC6 pulse the metronome plays on at $9000-$9002.

#include <cstdint>

// --- 2A03 ---
// Each of the four tone channels has four registers, pulse 1 from $4000, pulse 2 from $4004,
// triangle from $4008, noise from $400C; the DMC has four from $4010.
constexpr uint16_t APU_FIRST = 0x4000;
constexpr uint16_t APU_PULSE1 = 0x4000;
constexpr int APU_CHANNEL_STRIDE = 4;
// Register offsets inside a pulse's block.
constexpr int PULSE_CONTROL = 0;      // duty, length halt, constant volume, volume
constexpr int PULSE_SWEEP = 1;        // enable, period, negate, shift
constexpr int PULSE_PERIOD_LOW = 2;   // period bits 0-7
constexpr int PULSE_PERIOD_HIGH = 3;  // length index, period bits 8-10
// Register `reg` of pulse 0 or 1.
constexpr uint16_t pulseRegister(int pulse, int reg) {
    return uint16_t(APU_PULSE1 + APU_CHANNEL_STRIDE * pulse + reg);
}
constexpr uint16_t APU_PULSE1_CONTROL = 0x4000;
constexpr uint16_t APU_PULSE1_SWEEP = 0x4001;
constexpr uint16_t APU_PULSE2_CONTROL = 0x4004;
constexpr uint16_t APU_PULSE2_SWEEP = 0x4005;
constexpr uint16_t APU_TRIANGLE_LINEAR = 0x4008;  // control flag, linear counter reload
constexpr uint16_t APU_TRIANGLE_PERIOD_LOW = 0x400A;
constexpr uint16_t APU_TRIANGLE_PERIOD_HIGH = 0x400B;  // length index, period bits 8-10
constexpr uint16_t APU_NOISE_CONTROL = 0x400C;         // length halt, constant volume, volume
constexpr uint16_t APU_NOISE_PERIOD = 0x400E;          // mode, period index
constexpr uint16_t APU_NOISE_LENGTH = 0x400F;
constexpr uint16_t APU_DMC_CONTROL = 0x4010;    // IRQ, loop, rate index
constexpr uint16_t APU_DMC_LEVEL = 0x4011;      // output level 0-127
constexpr uint16_t APU_DMC_ADDRESS = 0x4012;    // sample start $C000 + 64 * value
constexpr uint16_t APU_DMC_LENGTH = 0x4013;     // sample length 16 * value + 1 bytes
constexpr uint16_t APU_CHANNEL_LAST = 0x4013;   // the last register that belongs to a channel
constexpr uint16_t APU_STATUS = 0x4015;         // channel enables
constexpr uint16_t APU_FRAME_COUNTER = 0x4017;  // sequencer mode, IRQ inhibit
constexpr uint16_t APU_LAST = 0x4017;

// Control of pulses and noise: duty in bits 6-7, then these, volume in bits 0-3.
constexpr uint8_t CONTROL_LENGTH_HALT = 0x20;  // also loops the envelope decay
constexpr uint8_t CONTROL_CONSTANT_VOLUME = 0x10;
// Constant volume 0, length halted: the channel is silent and stays so.
constexpr uint8_t CONTROL_SILENT = CONTROL_LENGTH_HALT | CONTROL_CONSTANT_VOLUME;

// Sweep: enable, period in bits 4-6, negate, shift in bits 0-2.
constexpr uint8_t SWEEP_ENABLE = 0x80;
constexpr uint8_t SWEEP_NEGATE = 0x08;
constexpr uint8_t SWEEP_SHIFT_MASK = 0x07;
constexpr uint8_t SWEEP_SHIFT_7 = 0x07;
// Sweep off; the negate bit and the largest shift keep the sweep unit from muting low periods
// (a target period above $7FF mutes a pulse even while its sweep is off).
constexpr uint8_t SWEEP_OFF = SWEEP_NEGATE | SWEEP_SHIFT_7;

// Noise period: bit 7 picks the short (93- or 31-step) sequence.
constexpr uint8_t NOISE_SHORT_MODE = 0x80;

// Triangle: the control flag holds the length and linear counters; with it set the linear
// counter reloads every quarter frame to the value in bits 0-6.
constexpr uint8_t TRIANGLE_CONTROL = 0x80;
constexpr uint8_t TRIANGLE_SOUNDING = TRIANGLE_CONTROL | 1;  // reload 1: keeps sounding
constexpr uint8_t TRIANGLE_QUIET = TRIANGLE_CONTROL;         // reload 0: stops at once
// Control clear, reload 0: the counters run out and the triangle stops where it is.
constexpr uint8_t TRIANGLE_STOPPED = 0x00;

// DMC control: rate index in bits 0-3.
constexpr uint8_t DMC_LOOP = 0x40;
constexpr uint8_t DMC_IRQ_ENABLE = 0x80;
constexpr uint8_t DMC_RATE_MASK = 0x0F;
// The level the DMC output starts a sample from: the middle of its 0-127 range.
constexpr uint8_t DMC_LEVEL_MIDDLE = 0x3F;

// Status: one enable bit per channel, pulse 1 in bit 0 up to the DMC in bit 4.
constexpr uint8_t STATUS_TONE_CHANNELS = 0x0F;
constexpr uint8_t STATUS_DMC = 0x10;

// Frame counter: five-step mode (writing it clocks the length and sweep units at once) and
// frame IRQ inhibit.
constexpr uint8_t FRAME_FIVE_STEP = 0x80;
constexpr uint8_t FRAME_IRQ_INHIBIT = 0x40;

// --- VRC6 pulse 1 ---
constexpr uint16_t VRC6_PULSE1_CONTROL = 0x9000;  // mode, duty in bits 4-6, volume
constexpr uint16_t VRC6_PULSE1_PERIOD_LOW = 0x9001;
constexpr uint16_t VRC6_PULSE1_PERIOD_HIGH = 0x9002;  // enable, period bits 8-11
constexpr uint8_t VRC6_DUTY_HALF = 0x70;              // duty 7: high for 8 of 16 steps
constexpr uint8_t VRC6_ENABLE = 0x80;
