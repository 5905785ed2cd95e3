#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "NsfReader.h"
#include "export/NsfWriter.h"
#include "song/Song.h"
#include "tests/ExpectedText.h"

namespace {

const std::vector<uint8_t> kDummyDriver(NSF_DRIVER_SIZE, 0xEA);

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
    for (int c = 1; c < NSF_CHANNELS; ++c) EXPECT_EQ(r.orderLists[c], (std::vector<int>{0, 1, 2, 3, 4, 0}));
    for (int s = 0; s < 6; ++s) expectStretchDecodes(r, cap, s);

    // The directory (order lists right after it, each within one page; stretch tables 8-aligned)
    // and where every stream went (bank 1's window, past the tables), kept in nsf/tables.txt.
    std::ostringstream out;
    for (int d : r.directory) out << d << " ";
    for (int c = 0; c < NSF_CHANNELS; ++c) {
        out << "\n" << c << ":";
        for (auto& e : r.entries[c])
            out << " " << std::hex << e.window << std::dec << "/" << e.bank << "/" << e.frames;
    }
    expectTestData("nsf/tables.txt", out.str() + "\n");
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
    for (int c = 0; c < NSF_CHANNELS; ++c)
        EXPECT_EQ(std::make_pair(r.orderLists[c].size(), r.entries[c].size()),
                  (std::pair<size_t, size_t>{150, 1}));
    for (int d = 192; d < 256; ++d) EXPECT_EQ(r.dataByte(d), 0);
}

// The header (tag, addresses, names cut to 31 bytes, "<?>" for an empty one, the bank setup and
// the TV system) for PAL and NTSC, kept in nsf/header.txt as hex; the driver follows, then the tag.
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
        EXPECT_EQ(NsfReader(file).imageByte(0), 0xEA);
        EXPECT_EQ(std::string(file.begin() + NSF_TAG_OFFSET, file.begin() + NSF_TAG_OFFSET + 4), "Q.Z.");
        for (size_t i = 0; i < NSF_HEADER_SIZE; ++i)
            got += {"0123456789ABCDEF"[file[i] >> 4], "0123456789ABCDEF"[file[i] & 15]};
        got += "\n";
    }
    expectTestData("nsf/header.txt", got);
}

// PCM units split into a 128-aligned first part and a 28-byte second part that crosses no page;
// 157 bytes make two units, the rest repeating the last byte; a sample without data keeps a unit of
// filler but counts none, so the driver never plays it. DPCM samples start 64-aligned, one of up to
// a bank within one bank (a longer one from a bank start, cut to 255 * 16 + 1 bytes), bit 7 of the
// loop byte for nothing to play, every byte the DMC plays as the editor plays it (past the end of a
// 16 x n byte sample too). Both tables are kept in nsf/sample_tables.txt.
TEST(NsfWriter, SampleTablesAndBytes) {
    NsfCapture cap;
    cap.stretches.push_back({NsfFrame{}});
    NsfSample a, b, empty, small, big, huge, emptyLoop, units;
    for (int i = 0; i < 157; ++i) a.bytes.push_back(uint8_t(i));
    for (int i = 0; i < 156 * 40; ++i) b.bytes.push_back(uint8_t(i * 7 + 3));
    small.bytes.assign(100, 0x55);
    big.bytes.assign(4000, 0xAA);
    huge.bytes.assign(5000, 0x11);
    units.bytes.assign(64, 0x22);  // the DMC plays the byte after it
    b.loop = big.loop = emptyLoop.loop = true;
    cap.pcmSamples = {a, b, empty};
    cap.dpcmSamples = {small, big, small, huge, emptyLoop, units};
    NsfReader r(buildNsf(cap, kDummyDriver), 3, 6);
    std::ostringstream out;
    for (auto& p : r.pcm)
        out << std::hex << p.firstAddress << "/" << p.firstBank << " " << p.secondAddress << "/"
            << p.secondBank << std::dec << " " << p.units << (p.loop ? " loop\n" : "\n");
    for (size_t s = 0; s < r.dpcm.size(); ++s) {
        const NsfDpcmEntry& e = r.dpcm[s];
        out << std::hex << e.address << " " << e.bank << " " << e.length << " " << e.loop << "\n" << std::dec;
        const std::vector<uint8_t>& bytes = cap.dpcmSamples[s].bytes;
        for (size_t i = 0; !bytes.empty() && i < size_t(e.length) * 16 + 1; ++i)
            ASSERT_EQ(r.imageByte(size_t(e.imageOffset()) + i), i < bytes.size() ? bytes[i] : DMC_PAST_END)
                << s;
    }
    expectTestData("nsf/sample_tables.txt", out.str());
    std::vector<uint8_t> wantA = a.bytes;
    wantA.resize(312, 156);
    EXPECT_EQ(r.pcmBytes(0), wantA);
    EXPECT_EQ(r.pcmBytes(1), b.bytes);
    EXPECT_EQ(r.imageByte(size_t(r.pcm[2].firstBank * 4096 + (r.pcm[2].firstAddress - 0xC000))), 0x3F);

    // NTSC re-timing takes source byte trunc(k * 0.92894...) for output byte k, then pads with the
    // last byte: the 312 bytes of a 200-byte ramp are kept in nsf/pcm_ntsc.txt.
    NsfSample ramp;
    for (int i = 0; i < 200; ++i) ramp.bytes.push_back(uint8_t(i));
    std::ostringstream retimed;
    for (int v : nsfPcmUnits(ramp, true)) retimed << v << " ";
    expectTestData("nsf/pcm_ntsc.txt", retimed.str() + "\n");
}

TEST(NsfWriter, StreamLongerThanABankFollowsIntoTheNext) {
    std::mt19937 rng(3);
    NsfCapture cap;
    cap.stretches.push_back(randomStretch(rng, 3000));
    cap.stretches.push_back(randomStretch(rng, 2500));
    NsfReader r(buildNsf(cap, kDummyDriver));
    for (int s = 0; s < 2; ++s) expectStretchDecodes(r, cap, s);
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
