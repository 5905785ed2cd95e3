#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "apu/Apu.h"
#include "apu/ApuHarness.h"

namespace {
// Sets the DMC's rate/loop ($4010), level, address and length registers, then enables it.
void startDmc(ApuHarness& h, std::uint8_t control, std::uint8_t level, std::uint8_t address,
              std::uint8_t length) {
    h.write(0x4010, control);
    h.write(0x4011, level);
    h.write(0x4012, address);
    h.write(0x4013, length);
    h.write(0x4015, 0x10);
}
}  // namespace

TEST(Apu, ScanlineStepsFollowThePattern) {
    ApuHarness h;
    h.endSteps(16);
    EXPECT_EQ(h.apu.cyclesElapsed(), 1705u);
    // A 312-step frame is 33247.5 cycles: from any position in the pattern it is 33247 or 33248.
    std::set<std::uint64_t> lengths;
    for (int start = 0; start < 16; ++start) {
        const std::uint64_t before = h.apu.cyclesElapsed();
        h.endSteps(312);
        lengths.insert(h.apu.cyclesElapsed() - before);
        h.endSteps(1);
    }
    EXPECT_EQ(lengths, (std::set<std::uint64_t>{33247, 33248}));
}

TEST(Apu, LengthCounterLoadsOnlyWhenEnabled) {
    ApuHarness h;
    h.write(0x4015, 0x00);
    h.write(0x4003, 0xF8);
    h.write(0x400B, 0xF8);
    h.write(0x400F, 0xF8);
    EXPECT_EQ(h.apu.pulse1.lengthCounter, 0);
    EXPECT_EQ(h.apu.triangle.lengthCounter, 0);
    EXPECT_EQ(h.apu.noise.lengthCounter, 0);

    h.write(0x4015, 0x0F);
    h.write(0x4003, 0x08);             // index 1: 254
    EXPECT_EQ(h.apu.pulse1.phase, 7);  // the duty sequencer restarts
    h.write(0x4007, 0xF8);             // index 31: 30
    EXPECT_EQ(h.apu.pulse1.lengthCounter, 254);
    EXPECT_EQ(h.apu.pulse2.lengthCounter, 30);

    // Clearing the enable bit zeroes the counter at once.
    h.write(0x4015, 0x0E);
    EXPECT_EQ(h.apu.pulse1.lengthCounter, 0);
    EXPECT_EQ(h.apu.pulse2.lengthCounter, 30);

    // Counting down: two length clocks per 4 x 8314 cycles, 100 per second.
    h.write(0x4004, 0x1F);  // halt clear
    h.endFrames(5);         // 0.1 s
    EXPECT_NEAR(h.apu.pulse2.lengthCounter, 30 - 10, 1);
    h.endFrames(20);
    EXPECT_EQ(h.apu.pulse2.lengthCounter, 0);
}

TEST(Apu, SweepDownDiffersBetweenPulses) {
    // Pulse 1 negates in ones' complement, so it subtracts one more than pulse 2.
    ApuHarness h;
    h.write(0x4015, 0x03);
    for (int ch : {0, 1}) {
        const std::uint16_t base = static_cast<std::uint16_t>(0x4000 + 4 * ch);
        h.write(base + 1, 0x8F);  // enabled, period 0, negate, shift 7
        h.write(base + 2, 0x00);
        h.write(base + 3, 0x02);  // $200
    }
    // Run to just past the next half-frame clock and compare.
    for (int i = 0; i < 400 && h.apu.pulse1.period() == 0x200; ++i) h.endSteps(1);
    EXPECT_EQ(h.apu.pulse1.period(), 0x200 - 4 - 1);
    EXPECT_EQ(h.apu.pulse2.period(), 0x200 - 4);
}

TEST(Apu, DmcStartsOnceLoopsAndStops) {
    struct Log {
        std::vector<std::uint16_t> addresses;
    } log;
    auto reader = [](void* context, std::uint16_t address) -> std::uint8_t {
        static_cast<Log*>(context)->addresses.push_back(address);
        return 0xFF;  // every bit raises the level
    };
    {
        ApuHarness h;
        h.apu.setSampleReader(reader, &log);
        startDmc(h, 0x0F, 0x00, 0x03, 0x01);  // fastest rate, no loop, $C0C0, 17 bytes
        h.write(0x4015, 0x10);                // already running: not restarted
        ASSERT_EQ(log.addresses.size(), 1u);
        EXPECT_EQ(log.addresses[0], 0xC0C0);
        h.endFrames(1);
        ASSERT_EQ(log.addresses.size(), 17u);
        EXPECT_EQ(log.addresses[16], 0xC0C0 + 16);
        EXPECT_EQ(h.apu.dmc.dac, 126);
        EXPECT_EQ(h.apu.channelEnables() & 0x10, 0);  // ran out without loop

        // Enabling again after the end starts it anew.
        h.write(0x4015, 0x10);
        EXPECT_EQ(log.addresses.size(), 18u);
        EXPECT_EQ(log.addresses[17], 0xC0C0);
    }
    {
        log.addresses.clear();
        ApuHarness h;
        h.apu.setSampleReader(reader, &log);
        startDmc(h, 0x4F, 0x00, 0x01, 0x01);  // loop, 50 cycles per bit, $C040, 17 bytes
        // Once the first bits arrive, a gapless loop raises the level by 2 every 50 cycles.
        auto runCycles = [&](int n) {
            int cycles = 0;
            while (cycles < n) {
                cycles += h.apu.currentStepLength();
                h.endSteps(1);
            }
            return cycles;
        };
        runCycles(1000);
        const int before = h.apu.dmc.dac;
        EXPECT_GT(before, 0);
        const int cycles = runCycles(1000);
        EXPECT_NEAR(h.apu.dmc.dac - before, 2 * cycles / 50, 4);
        h.endFrames(1);
        EXPECT_EQ(h.apu.dmc.dac, 126);
        ASSERT_GT(log.addresses.size(), 40u);
        for (std::size_t i = 0; i < log.addresses.size(); ++i)
            ASSERT_EQ(log.addresses[i], 0xC040 + i % 17) << i;
        EXPECT_EQ(h.apu.channelEnables() & 0x10, 0x10);

        // Stopping leaves the level alone; the bits already fetched play out, then it holds.
        h.write(0x4011, 0x10);
        h.write(0x4015, 0x00);
        EXPECT_EQ(h.apu.dmc.dac, 0x10);
        EXPECT_EQ(h.apu.dmc.lengthCounter, 0);
        const std::size_t reads = log.addresses.size();
        h.endFrames(1);
        const int held = h.apu.dmc.dac;
        EXPECT_LE(held, 0x10 + 2 * 16);
        h.endFrames(1);
        EXPECT_EQ(h.apu.dmc.dac, held);
        EXPECT_EQ(log.addresses.size(), reads);
    }
}

TEST(Apu, SampleMemoryAnswersOpenBusOutsideTheImage) {
    std::vector<std::uint8_t> image = {1, 2, 3, 4};
    EXPECT_EQ(readSampleMemory(nullptr, 0xC000), 0x55);
    EXPECT_EQ(readSampleMemory(&image, 0xBFFF), 0x55);
    EXPECT_EQ(readSampleMemory(&image, 0x8000), 0x55);
    EXPECT_EQ(readSampleMemory(&image, 0xC000), 1);
    EXPECT_EQ(readSampleMemory(&image, 0xC003), 4);
    EXPECT_EQ(readSampleMemory(&image, 0xC004), 0x55);
    EXPECT_EQ(readSampleMemory(&image, 0xFFFF), 0x55);
    std::vector<std::uint8_t> empty;
    EXPECT_EQ(readSampleMemory(&empty, 0xC000), 0x55);

    // The default reader of a new Apu answers 0x55 too: bits 1,0,1,0... keep the level steady.
    ApuHarness h;
    startDmc(h, 0x0F, 0x20, 0x00, 0x04);
    h.endFrames(1);
    EXPECT_NEAR(h.apu.dmc.dac, 0x20, 2);
}

// Long bursts of writes in one step carry time into the next one, and unknown addresses only
// advance the clock; nothing may crash or lose the step structure.
TEST(Apu, WriteBurstsAndStrayAddresses) {
    ApuHarness h;
    h.write(0x4015, 0x0F);
    for (int i = 0; i < 200; ++i) h.write(static_cast<std::uint16_t>(0x4000 + (i % 4)), 0xBF);
    for (std::uint32_t a = 0; a < 0x10000; a += 0x3F)
        if (a != 0x4015 && a != 0x4017) h.write(static_cast<std::uint16_t>(a), 0x5A);
    h.endSteps(400);
    EXPECT_EQ(h.render(4000).size(), 4000u);
}

// Writing $4017 with bit 7 set clocks lengths and sweeps at once: drivers use it to bend a
// pulse by one sweep step outside the frame sequencer's schedule.
TEST(Apu, FrameCounterWriteClocksTheSweepAtOnce) {
    ApuHarness h;
    h.write(0x4015, 0x01);
    h.write(0x4000, 0xBF);
    h.write(0x4002, 0x00);
    h.write(0x4003, 0x02);  // period $200
    h.write(0x4017, 0x40);
    h.write(0x4001, 0x87);  // enabled, shift 7: +4
    h.write(0x4017, 0xC0);
    h.write(0x4001, 0x0F);  // sweep off again; the clock already happened
    EXPECT_EQ(h.apu.pulse1.period(), 0x204);
    h.endFrames(2);
    EXPECT_EQ(h.apu.pulse1.period(), 0x204);
}
