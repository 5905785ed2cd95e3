#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "tests/ExpectedText.h"
#include "NsfReader.h"
#include "export/NsfWriter.h"

namespace {

const std::vector<uint8_t> kDummyDriver(NSF_DRIVER_SIZE, 0xEA);

// Frames whose values change now and then, with −1 sprinkled in, as a player produces them.
std::vector<NsfFrame> randomStretch(std::mt19937& rng, int frames) {
    std::vector<NsfFrame> out;
    NsfFrame f;
    for (int i = 0; i < frames; ++i) {
        for (int v = 0; v < NSF_VALUE_COUNT; ++v) {
            if (rng() % 4 != 0 && i > 0) continue;
            int bits = NSF_VALUE_BITS[v] ? NSF_VALUE_BITS[v] : 1;
            f.values[v] = rng() % 5 == 0 ? -1 : int(rng() % (1u << bits));
        }
        f.values[NSF_TRIANGLE_CONTROL] = 0x80 | int(rng() & 1);
        f.sampleStart = rng() % 7 == 0;
        out.push_back(f);
    }
    return out;
}

void expectStretchDecodes(const NsfReader& r, const NsfCapture& cap, int stretch) {
    for (int c = 0; c < NSF_CHANNELS; ++c) {
        int e = r.orderLists[c].at(size_t(stretch));
        EXPECT_EQ(r.entries[c][size_t(e)].frames, int(cap.stretches[size_t(stretch)].size()));
        EXPECT_EQ(r.decode(c, e), expectedSent(cap.stretches[size_t(stretch)], c))
            << "stretch " << stretch << " channel " << c;
    }
}

}  // namespace

TEST(NsfWriter, StreamsTablesAndSharingDecodeBack) {
    std::mt19937 rng(7);
    NsfCapture cap;
    for (int s = 0; s < 6; ++s) cap.stretches.push_back(randomStretch(rng, 20 + 37 * s));
    // Stretch 4 repeats stretch 1 on the pulse 1 channel only; stretch 5 repeats stretch 0 whole.
    for (size_t f = 0; f < cap.stretches[4].size() && f < cap.stretches[1].size(); ++f)
        for (int v = 0; v < 3; ++v) cap.stretches[4][f].values[v] = cap.stretches[1][f].values[v];
    cap.stretches[4].resize(cap.stretches[1].size());
    cap.stretches[5] = cap.stretches[0];
    cap.loopTarget = 2;

    NsfReader r(buildNsf(cap, kDummyDriver));
    EXPECT_EQ(r.loopTarget, 2);
    EXPECT_EQ(r.orderLists[0], (std::vector<int>{0, 1, 2, 3, 1, 0}));
    for (int c = 1; c < NSF_CHANNELS; ++c) {
        EXPECT_EQ(r.orderLists[c], (std::vector<int>{0, 1, 2, 3, 4, 0})) << c;
    }
    for (int s = 0; s < 6; ++s) expectStretchDecodes(r, cap, s);

    // Table alignment and the order-list page rule (data offsets from the tag).
    for (int c = 0; c < NSF_CHANNELS; ++c) {
        int first = r.directory[2 * c], after = first + int(r.orderLists[c].size()) + 1;
        EXPECT_EQ(first >> 8, after >> 8);
        EXPECT_EQ(r.directory[2 * c + 1] % 8, 0);
        if (c > 0) {
            EXPECT_GT(first, r.directory[2 * c - 1]);
        }
    }
    EXPECT_EQ(r.directory[0], 29);  // right after the directory
    // Streams never start in a bank they do not fit in (they are all small here).
    for (int c = 0; c < NSF_CHANNELS; ++c) {
        for (auto& e : r.entries[c]) {
            EXPECT_GE(e.window, 0xA000);
            EXPECT_LT(e.window, 0xB000);
            EXPECT_GE(e.imageOffset(), 4478 + r.directory[11]);
        }
    }
}

TEST(NsfWriter, OrderListThatWouldCrossAPageStartsOnTheNextPage) {
    // Many one-frame stretches sharing one entry: each order list is long but the stretch tables
    // are short, so channel 1's list lands across the first page boundary.
    NsfCapture cap;
    NsfFrame f;
    f.values.fill(-1);
    for (int s = 0; s < 150; ++s) cap.stretches.push_back({f});
    NsfReader r(buildNsf(cap, kDummyDriver));
    EXPECT_EQ(r.directory[0], 29);
    EXPECT_EQ(r.directory[2], 256);  // 29 + 151 bytes, aligned 8 + 8, would end past 256
    for (int c = 0; c < NSF_CHANNELS; ++c) {
        EXPECT_EQ(r.orderLists[c].size(), 150u);
        EXPECT_EQ(r.entries[c].size(), 1u);
    }
    for (int d = 192; d < 256; ++d) EXPECT_EQ(r.dataByte(d), 0);
}

TEST(NsfWriter, DontCareCostsOneBitAndRawTriangleBitHasNoFlag) {
    NsfCapture cap;
    NsfFrame f;
    f.values.fill(-1);
    f.values[NSF_TRIANGLE_CONTROL] = 0x81;
    cap.stretches.push_back(std::vector<NsfFrame>(100, f));
    EXPECT_EQ(encodeNsfStream(cap.stretches[0], 0).size(), 38u);  // 300 bits
    EXPECT_EQ(encodeNsfStream(cap.stretches[0], 4).size(), 63u);  // 500 bits
    auto tri = encodeNsfStream(cap.stretches[0], 2);
    ASSERT_EQ(tri.size(), 38u);  // 0, 0, raw 1 per frame
    EXPECT_EQ(tri[0], 0b00100100);

    // A value sent: flag then the value most significant bit first, filling from bit 0.
    NsfFrame g;
    g.values.fill(-1);
    g.values[NSF_NOISE_PERIOD] = 0x13;  // 1 10011
    g.values[NSF_NOISE_VOLUME] = 0x0F;  // 1 1111
    EXPECT_EQ(encodeNsfStream({g}, 3), (std::vector<uint8_t>{0b11110011, 0b00000111}));
}

// The header (tag, addresses, names cut to 31 bytes, "<?>" for an empty one, the bank setup and
// the TV system) for PAL and NTSC, pinned in tests/data/nsf/header.txt as hex; BF_UPDATE_TEST_DATA=1
// rewrites it. The driver image follows the header, the table tag follows the driver.
TEST(NsfWriter, HeaderFieldsAndNames) {
    NsfCapture cap;
    cap.stretches.push_back({NsfFrame{}});
    cap.names[0] = "";
    cap.names[1] = std::string(40, 'x');
    cap.names[2] = "Me";
    std::string got;
    for (bool ntsc : {false, true}) {
        cap.ntsc = ntsc;
        const std::vector<uint8_t> file = buildNsf(cap, kDummyDriver);
        NsfReader r(file);
        EXPECT_EQ(r.imageByte(0), 0xEA);
        std::string tag;
        for (int d = 0; d < 4; ++d) tag += char(r.dataByte(d));
        EXPECT_EQ(tag, "Q.Z.");
        char hex[4];
        for (int i = 0; i < NSF_HEADER_SIZE; ++i) {
            std::snprintf(hex, sizeof hex, "%02X", file[size_t(i)]);
            got += hex;
        }
        got += "\n";
    }
    expectTestData("nsf/header.txt", got);
}

TEST(NsfWriter, PcmUnitsSplitIntoTwoPartsWithPageRule) {
    NsfCapture cap;
    cap.stretches.push_back({NsfFrame{}});
    NsfSample a, b, empty;
    for (int i = 0; i < 157; ++i) a.bytes.push_back(uint8_t(i));
    for (int i = 0; i < 156 * 40; ++i) b.bytes.push_back(uint8_t(i * 7 + 3));
    b.loop = true;
    cap.pcmSamples = {a, b, empty};
    NsfReader r(buildNsf(cap, kDummyDriver), 3, 0);

    EXPECT_EQ(r.pcm[0].units, 2);  // 157 bytes: two units, the rest repeats the last byte
    EXPECT_FALSE(r.pcm[0].loop);
    std::vector<uint8_t> wantA = a.bytes;
    wantA.resize(312, 156);
    EXPECT_EQ(r.pcmBytes(0), wantA);
    EXPECT_EQ(r.pcm[1].units, 40);
    EXPECT_TRUE(r.pcm[1].loop);
    EXPECT_EQ(r.pcmBytes(1), b.bytes);
    // A sample without data keeps a unit of filler in the file but counts none, so the driver
    // never plays it.
    EXPECT_EQ(r.pcm[2].units, 0);
    EXPECT_EQ(r.imageByte(size_t(r.pcm[2].firstBank * 4096 + (r.pcm[2].firstAddress - 0xC000))), 0x3F);
    EXPECT_EQ(r.pcm[0].firstAddress % 128, 0);
    // No 28-byte group crosses a page: every second part starts at a multiple of 28 in its page.
    for (auto& p : r.pcm) EXPECT_EQ((p.secondAddress & 0xFF) % 28, 0);

    // NTSC re-timing takes source byte trunc(k * 0.92894...) for output byte k.
    NsfSample ramp;
    for (int i = 0; i < 200; ++i) ramp.bytes.push_back(uint8_t(i));
    auto units = nsfPcmUnits(ramp, true);
    ASSERT_EQ(units.size(), 312u);
    EXPECT_EQ(units[14], 13);  // 14 * 0.9289 = 13.005
    EXPECT_EQ(units[215], 199);
    EXPECT_EQ(units[216], 199);  // padding repeats the last byte
    EXPECT_EQ(units[215 - 1], 198);
}

TEST(NsfWriter, DpcmSamplesAlignAndStayInOneBank) {
    NsfCapture cap;
    cap.stretches.push_back({NsfFrame{}});
    NsfSample small, big;
    small.bytes.assign(100, 0x55);
    big.bytes.assign(4000, 0xAA);
    big.loop = true;
    NsfSample huge;
    huge.bytes.assign(5000, 0x11);
    NsfSample empty;
    empty.loop = true;
    cap.dpcmSamples = {small, big, small, huge, empty};
    NsfReader r(buildNsf(cap, kDummyDriver), 0, 5);
    EXPECT_EQ(r.dpcm[4].loop, 0x81);  // bit 7: nothing to play
    EXPECT_EQ(r.dpcm[1].loop | r.dpcm[2].loop, 1);
    for (int s = 0; s < 4; ++s) {
        const NsfDpcmEntry& e = r.dpcm[size_t(s)];
        int at = e.imageOffset();
        EXPECT_EQ(at % 64, 0);
        size_t size = cap.dpcmSamples[size_t(s)].bytes.size();
        if (size <= 4096) {
            EXPECT_EQ(at >> 12, (at + int(size) - 1) >> 12) << s;
        }
        for (size_t i = 0; i < std::min<size_t>(size, 4081); ++i)
            ASSERT_EQ(r.imageByte(size_t(at) + i), cap.dpcmSamples[size_t(s)].bytes[i]);
    }
    EXPECT_EQ(r.dpcm[0].length, 6);
    EXPECT_EQ(r.dpcm[1].length, 250);
    EXPECT_EQ(r.dpcm[1].loop, 1);
    EXPECT_EQ(r.dpcm[3].length, 255);
    EXPECT_EQ(r.dpcm[3].imageOffset() % 4096, 0);
}

TEST(NsfWriter, StreamLongerThanABankFollowsIntoTheNext) {
    std::mt19937 rng(3);
    NsfCapture cap;
    cap.stretches.push_back(randomStretch(rng, 3000));
    cap.stretches.push_back(randomStretch(rng, 2500));
    NsfReader r(buildNsf(cap, kDummyDriver));
    expectStretchDecodes(r, cap, 0);
    expectStretchDecodes(r, cap, 1);
    // Channel 4's first stream starts in a fresh bank because it does not fit the current one.
    EXPECT_EQ(r.entries[4][0].window, 0xA000);
}

TEST(NsfWriter, RefusesSongsWhoseTablesDoNotFitBankOne) {
    std::mt19937 rng(11);
    NsfCapture cap;
    // 90 distinct stretches need 90 * 8 * 5 bytes of stretch tables: past the 3714-byte limit.
    for (int s = 0; s < 90; ++s) cap.stretches.push_back(randomStretch(rng, 3));
    EXPECT_THROW(buildNsf(cap, kDummyDriver), std::runtime_error);
    cap.stretches.resize(70);
    NsfReader r(buildNsf(cap, kDummyDriver));
    EXPECT_LE(r.directory[11], 3714);
    expectStretchDecodes(r, cap, 69);
}
