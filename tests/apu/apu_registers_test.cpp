#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "apu/Apu.h"
#include "apu/ApuHarness.h"

TEST(Apu, SampleMemoryAnswersOpenBusOutsideTheImage) {
    std::vector<std::uint8_t> image = {1, 2, 3, 4};
    EXPECT_EQ(readSampleMemory(nullptr, 0xC000), 0x55);
    // The image starts at $C000; below it and past its end the bus answers $55.
    for (const auto& [address, value] :
         {std::pair{0xBFFF, 0x55}, {0x8000, 0x55}, {0xC000, 1}, {0xC003, 4}, {0xC004, 0x55}, {0xFFFF, 0x55}})
        EXPECT_EQ(readSampleMemory(&image, std::uint16_t(address)), value) << std::hex << address;
    std::vector<std::uint8_t> empty;
    EXPECT_EQ(readSampleMemory(&empty, 0xC000), 0x55);
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

// Writes to an oscillator or register the VRC6 does not have change nothing.
TEST(Apu, Vrc6IgnoresOscillatorsItDoesNotHave) {
    Vrc6Sound vrc6;
    vrc6.writeOsc(0, 3, 0, 0x7F);
    vrc6.writeOsc(0, 0, 3, 0x7F);
    EXPECT_EQ(vrc6.sawAccumulator, 0);
    for (const Vrc6Sound::Oscillator& osc : vrc6.oscs) EXPECT_EQ(osc.regs[0] | osc.regs[1] | osc.regs[2], 0);
}

// Two rising crossings are the fewest that give a frequency: one period between them.
TEST(ApuHarness, FrequencyFromTwoCrossings) {
    EXPECT_EQ(measureFrequency({0, -100, 100, -100, 100, 0}, 1000), 500.0);
    EXPECT_EQ(measureFrequency({0, -100, 100, 0}, 1000), 0.0);
}
