// Exported files on the product's 6502 core: played through bleepforge-cli they sound like our
// own render, and with DMC fetches halting the CPU the driver keeps the render's time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Listening.h"
#include "SongRig.h"
#include "export/NsfWriter.h"
#include "nes/ConsolePlayer.h"
#include "player/OfflinePlayback.h"
#include "tests/AudioRead.h"

namespace {

// The cycle of each frame's first $4000 write (the driver's first every frame), from the first play.
std::vector<uint64_t> frameStarts(const std::vector<uint8_t>& nsf, int frames, bool dma, uint64_t* stalls) {
    Cpu6502 cpu(nsf);
    cpu.modelDmcDma = dma;
    const bool pal = nsf.at(nsf_header::TV_SYSTEM) & 1;
    cpu.dmc.setPal(pal);
    EXPECT_TRUE(cpu.call(NSF_INIT_ADDRESS, 0, pal, 2'000'000));
    cpu.writes.clear();
    cpu.pc = NSF_PLAY_ADDRESS;
    const uint64_t start = cpu.cycles;
    std::vector<uint64_t> starts;
    while (starts.size() < size_t(frames)) {
        cpu.step();
        for (const ApuWrite& w : cpu.writes)
            if (w.address == 0x4000) starts.push_back(w.cycle - start);
        cpu.writes.clear();
    }
    *stalls = cpu.stallCycles;
    return starts;
}

}  // namespace

// Play writes every frame's registers ($4000 first) at the frame's start, 33247.5 cycles apart,
// the first within 150 cycles. On a core that halts the CPU for every DMC fetch the demo song must
// not drift (it ran 1,600 ppm late before the driver gave the time back), in both TV systems,
// whose DMC rate rows differ; no frame may start more than a few hundred cycles off.
TEST(NsfCore, DemoSongKeepsTimeWhileTheDmcStealsCycles) {
    for (const auto& [ntsc, dma] : {std::pair{false, false}, {true, true}, {false, true}}) {
        SongRig rig;
        ASSERT_TRUE(rig.load());
        rig.song->ntsc = ntsc;
        const int frames = 1500;
        uint64_t stalls = 0;
        const std::vector<uint64_t> starts = frameStarts(rig.nsf(), frames, dma, &stalls);
        double worst = 0;
        for (size_t f = 0; f < starts.size(); ++f)
            worst = std::max(worst, std::fabs(double(starts[f] - starts[0]) - 33247.5 * double(f)));
        const double expected = 33247.5 * (frames - 1);
        const double drift = (double(starts.back() - starts.front()) - expected) / expected * 1e6;
        SCOPED_TRACE(std::string(ntsc ? "NTSC" : "PAL") + (dma ? ", DMA on" : ", DMA off"));
        EXPECT_LT(starts[0], 150u);
        EXPECT_LT(worst, dma ? 400.0 : 1.0);
        EXPECT_LT(std::fabs(drift), 300.0);
        EXPECT_TRUE(dma ? stalls > 40000u : stalls == 0u) << stalls;
    }
}

// One voice of the example song (the other channels' notes removed, their effects kept), exported
// and rendered by bleepforge-cli on the 6502 core, sounds like our own render of it; its trace
// starts with the driver's first frame.
TEST(NsfCore, ExampleSongThroughTheCliSoundsLikeOurRender) {
    const std::filesystem::path dir = std::filesystem::path(BF_BINARY_DIR) / "nsf-core-work";
    std::filesystem::create_directories(dir);
    const std::string cli = BF_BINARY_DIR "/cli/bleepforge-cli";
    for (int voice : {CH_PULSE1, CH_TRIANGLE}) {
        SongRig rig;
        ASSERT_TRUE(rig.load(BF_SOURCE_DIR "/examples/example.zcm"));
        for (Pattern& pattern : rig.song->patterns)
            for (int c = 0; c < CHANNEL_COUNT; ++c)
                for (int r = 0; r < ROWS_PER_PATTERN; ++r)
                    if (c != voice) pattern.at(c, r).note = pattern.at(c, r).instrument = 0;
        const std::string base = (dir / ("voice" + std::to_string(voice))).string();
        ASSERT_TRUE(saveSong(*rig.song, base + ".zcm"));
        ASSERT_EQ(std::system((cli + " nsf " + base + ".zcm " + base + ".nsf").c_str()), 0);
        ASSERT_EQ(std::system((cli + " render " + base + ".nsf " + base + ".wav --seconds 12.1").c_str()), 0);

        SF_INFO info;
        const std::vector<int16_t> wav = readAudio(base + ".wav", info);
        EXPECT_EQ(info.samplerate, LISTEN_RATE);
        const std::vector<int16_t> ours = renderSong(rig.play(), *rig.apu, LISTEN_RATE, 12.0);
        const size_t lead = firstPlayLead(rig.song->ntsc);
        expectHeardAlike(compareHeard({ours.begin(), ours.end()}, {wav.begin(), wav.end()}, lead), 20,
                         "example song through the cli, channel " + std::to_string(voice));
        if (voice != CH_PULSE1) continue;
        ASSERT_EQ(std::system((cli + " trace " + base + ".nsf --frames 5 > " + base + ".txt").c_str()), 0);
        std::ifstream lines(base + ".txt");
        std::string first;
        std::getline(lines, first);
        EXPECT_EQ(first.rfind("0: 4000=", 0), 0u) << first;
    }
}

// The DMA model and the APU's DMC each keep the rate table: for both rows, at every rate, a looping
// one-byte sample is fetched again every 8 of the channel's periods.
TEST(NsfCore, DmcDmaFetchesAtTheApusRate) {
    for (bool pal : {false, true}) {
        for (int rate = 0; rate < 16; ++rate) {
            DmcChannel channel;
            channel.pal = pal;
            channel.writeRegister(0, rate);
            DmcDma dma;
            dma.setPal(pal);
            dma.write(0x4010, uint8_t(0x40 | rate));  // length 0: one byte, looping
            dma.write(0x4015, 0x10);
            int cycles = 0, second = -1;
            for (; dma.fetches() < 3 && cycles < 10000; ++cycles) {
                if (second < 0 && dma.fetches() == 2) second = cycles;
                dma.advance(1);
            }
            EXPECT_EQ(cycles - second, 8 * channel.period) << "pal " << pal << " rate " << rate;
        }
    }
}
