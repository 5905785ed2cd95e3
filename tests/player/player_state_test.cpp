// Player parts that a frame trace does not reach: tables, period writes set up by hand and
// damaged song data.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "tests/app/Golden.h"
#include "tests/player/PlayerRig.h"

namespace {

// Writes of pulse 1's registers and the frame counter, in order, as text: "4017=40 4002=00".
std::string pulse1Writes(const std::vector<RegisterWrite>& writes) {
    std::string out;
    char w[16];
    for (const RegisterWrite& r : writes)
        if ((r.address >= 0x4001 && r.address <= 0x4003) || r.address == 0x4017) {
            std::snprintf(w, sizeof w, "%s%04X=%02X", out.empty() ? "" : " ", r.address, r.value);
            out += w;
        }
    return out;
}

int pitchForPeriod(const Player& player, int period) {
    for (int p = 256; p < 96 * 256; ++p)
        if (player.periodForPitch(p) == period) return p;
    return -1;
}

}  // namespace

// The PAL and NTSC period tables (notes below the 11-bit range hold $7FF; A-440 is entry 45),
// the vibrato depth table, one vibrato cycle at depth 15 and the periods between table entries,
// kept in tests/data/player/tables.out.
TEST(PlayerOutput, PeriodAndVibratoTables) {
    std::ostringstream out;
    int32_t table[PERIOD_TABLE_SIZE], vib[16][16];
    for (bool ntsc : {false, true}) {
        buildPeriodTable(ntsc, table);
        out << (ntsc ? "ntsc" : "pal");
        for (int32_t v : table) out << " " << v;
        out << "\n";
    }
    buildVibratoTable(vib);
    for (const auto& row : vib) {
        for (int32_t v : row) out << " " << v;
        out << "\n";
    }
    for (int position = 0; position < 64; ++position) out << " " << vibratoValue(vib, position, 15);
    // Periods for pitches every quarter semitone: whole semitones read the PAL table, clamped at
    // both ends; between them it interpolates.
    out << "\npitch";
    PlayerRig rig;
    for (int pitch = -5 * 256; pitch <= 120 * 256; pitch += 64)
        out << " " << rig.player.periodForPitch(pitch);
    expectTestData("player/tables.out", out.str() + "\n");
}

// Pulse 1 going from one period to another ("FROM TO", FROM -1 for the first write after a
// reset), kept in tests/data/player/cases/pulse_periods.txt: the writes of pulse 1 and the frame
// counter, the period remembered and the one the channel sounds after them.
TEST(PlayerOutput, PulsePeriodWritesAvoidThePhaseReset) {
    PlayerRig rig;
    ChannelState& ch = rig.player.channels[0];
    expectTable("player/cases/pulse_periods", [&](const std::string& c) {
        const int from = std::stoi(c, nullptr, 0), to = std::stoi(c.substr(c.find(' ')), nullptr, 0);
        // Put the hardware on the old period first, so the glide can be checked on the Apu too.
        if (from >= 0) {
            rig.apu.writeRegister(0x4002, uint8_t(from & 0xFF));
            rig.apu.writeRegister(0x4003, uint8_t(from >> 8));
            rig.apu.endScanline();
        }
        ch.lastPeriod = from;
        ch.pitch = pitchForPeriod(rig.player, to);
        rig.writes.clear();
        rig.player.writeChannels();
        for (int i = 0; i < 8; ++i) rig.apu.endScanline();
        return pulse1Writes(rig.writes) + " | period " + std::to_string(ch.lastPeriod) + ", sounding " +
               std::to_string(rig.apu.pulse1.period());
    });
}

TEST(PlayerOutput, DamagedSongDataPlaysWithoutFault) {
    PlayerRig rig;
    Instrument& inst = rig.song.instruments[1];
    for (int32_t& v : inst.envelopes[ENV_VOLUME].values) v = 0x1F0;  // no marker, values too big
    inst.envelopes[ENV_NOTE].values[0] = END_MARKER;                 // empty envelope
    PlayerRig::setEnvelope(inst.envelopes[ENV_DUTY], {0x40, 0x80}, -7);
    PlayerRig::setEnvelope(inst.envelopes[ENV_FINETUNE], {127, 130}, 400);
    rig.song.instruments[2].type = INST_PCM;
    const uint8_t pcm[3] = {1, 2, 3};
    rig.song.instruments[2].pcm.assign(pcm, 3, true);
    rig.song.orders.count = 70;
    rig.song.orders.entries[0] = 99;
    for (int row = 0; row < 64; row += 2) {
        rig.put(0, row % 5, row, 1 + (row * 37) % 254, 1 + row % 2, row % 16, (row * 29) & 0xFF);
        rig.put(0, 4, row + 1, 200, 2);
    }
    rig.play();
    rig.player.currentRow = 70;
    rig.frames(500);
    // The empty Note envelope plays as its default (no offset); the rest stays within range.
    EXPECT_EQ(rig.player.channels[0].noteEnvOffset, 0);
    for (const ChannelState& ch : rig.player.channels) {
        EXPECT_GE(ch.volume, 0);
        EXPECT_LE(ch.volume, 63);
        EXPECT_LE(ch.volumeValue, 255);
    }
    // A sample shrunk under a playing voice is read within its new bounds.
    rig.song.instruments[2].pcm.assign(pcm, 1, true);
    rig.player.pcm.pcmInstrument = 2;
    rig.player.pcm.position = 2.5;
    rig.frames(2);
}
