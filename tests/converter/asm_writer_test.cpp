// Song data as assembler text: names, labels, shared tables, patterns and the DPCM layout.

#include <gtest/gtest.h>

#include "TestData.h"
#include "export/AsmNames.h"
#include "export/AsmSongData.h"

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A captured song of one stretch whose channel 0 plays the given commands.
CapturedSong songWith(const std::string& path, CommandList channel0) {
    CapturedSong song;
    song.path = path;
    song.instruments.resize(INSTRUMENT_SLOTS);
    channel0.push_back({DRV_END_PATTERN, {}});
    song.channels[0].push_back(channel0);
    for (int c = 1; c < 4; ++c) song.channels[c].push_back({{DRV_END_PATTERN, {}}});
    song.channels[4].push_back({{DRV_DPCM_END_PATTERN, {}}});
    return song;
}

void setEnvelope(Envelope& env, std::vector<int> values, int loop) {
    for (size_t i = 0; i < values.size(); ++i) env.values[i] = values[i];
    env.values[values.size()] = END_MARKER;
    env.loopPoint = loop;
}

void setSample(Instrument& inst, int size, uint8_t fill) {
    std::vector<uint8_t> bytes(size, fill);
    inst.type = INST_DPCM;
    inst.dpcm.assign(bytes.data(), uint32_t(size), false);
}

// The data written for `songs`, main text and each file, against tests/data/converter/<name>.s.
void expectSongData(const std::string& name, const std::vector<CapturedSong>& songs,
                    const std::string& output, const char* lowByte = "<") {
    LabelTable labels;
    const SongDataText out = writeSongData(labels, lowByte, songs, OutputNames(output));
    std::string text = "; main\n" + out.mainText;
    for (const auto& file : out.files) text += "; file " + file.name + "\n" + file.text;
    expectTestData("converter/" + name + ".s.txt", text);
}

}  // namespace

TEST(AsmNames, PathHelpersOutputNamesAndLabels) {
    EXPECT_EQ(directoryOf("a/b\\c.zcm") + "|" + fileNameOf("a/b\\c.zcm") + "|" + fileNameOf("c"),
              "a/b|c.zcm|c");
    EXPECT_EQ(extensionOf("x.tar.asm", "s") + extensionOf(".hidden", "s") + extensionOf("dir.v2/music", "s"),
              "asmss");
    EXPECT_EQ(replaceExtension(".zcm", "s") + "|" + replaceExtension("d.x/song", "asm"),
              ".zcm.s|d.x/song.asm");
    EXPECT_EQ(entryKey("music", "dir/my-song\xc3\xa9.zcm"), "music_my_song__");
    EXPECT_EQ(entryKey("m", "a-b.zcm"), entryKey("m", "a_b.zcm"));  // one label for both

    const OutputNames bare("music");
    EXPECT_EQ(bare.songFileName("songs/title.zcm") + "|" + bare.dpcmFileName(), "music-title.s|music-dpcm.s");
    const OutputNames nested("out\\sub/snd-data.asm");
    EXPECT_EQ(nested.base, "snd_data");
    EXPECT_EQ(nested.effectFileName("fx/jump.zcm"), "out\\sub/snd-data-jump.asm");

    LabelTable labels;
    EXPECT_EQ(labels.labelFor("x") + labels.labelFor("y") + labels.labelFor("x"), "BLEEP_L0BLEEP_L1BLEEP_L0");
}

TEST(AsmSongData, InstrumentsAndEnvelopesAreSharedByContent) {
    // Song a: slot 3 (Normal) used, slot 4 set but never played. Song b: the same instrument as
    // a PCM Pulse in slot 9, and slot 10 whose Volume differs only below the volume nibble.
    CapturedSong a = songWith("a.zcm", {{DRV_INSTRUMENT, {3}}, {0x41, {}}});
    setEnvelope(a.instruments[3].envelopes[ENV_VOLUME], {0xF0, 0x80, 0x00}, 2);
    a.instruments[3].envelopes[ENV_VOLUME].values[10] = 77;  // stale value behind the marker
    setEnvelope(a.instruments[4].envelopes[ENV_NOTE], {70}, 0);
    a.usedInstruments[3] = true;
    CapturedSong b = songWith("b.zcm", {{DRV_INSTRUMENT, {10}}, {DRV_INSTRUMENT, {9}}});
    b.instruments[9] = a.instruments[3];
    b.instruments[9].type = INST_PCM_PULSE;
    b.instruments[9].envelopes[ENV_VOLUME].values[10] = 0;
    b.instruments[10] = b.instruments[9];
    setEnvelope(b.instruments[10].envelopes[ENV_VOLUME], {0xF3, 0x8F, 0x01}, 1);
    setEnvelope(b.instruments[10].envelopes[ENV_DUTY], {0x3F}, 0);
    b.usedInstruments[9] = b.usedInstruments[10] = true;

    // Two instruments (slot 4 of song a was never played) and five envelopes: Volume F0 80 00
    // with loop points 2 and 1, and the defaults of Note, Duty/Mode and Fine-tune, which the
    // Duty/Mode 0x3F of slot 10 shares once masked to its duty bits. Song b names slot 10
    // first, then slot 9 (shared with song a's slot 3).
    expectSongData("shared-instruments", {a, b}, "music.s");
}

// $FF ends an envelope in the data: a Note or Fine-tune value of 255 must not end it early.
// Written as 254, it shares the envelope entry of an instrument that has 254 there.
TEST(AsmSongData, NoEnvelopeValueReadsAsItsEnd) {
    CapturedSong song = songWith("a.zcm", {{DRV_INSTRUMENT, {1}}, {DRV_INSTRUMENT, {2}}});
    setEnvelope(song.instruments[1].envelopes[ENV_FINETUNE], {127, 255, 200}, 0);
    setEnvelope(song.instruments[1].envelopes[ENV_NOTE], {255}, 0);
    song.instruments[2] = song.instruments[1];
    setEnvelope(song.instruments[2].envelopes[ENV_FINETUNE], {127, 254, 200}, 0);
    setEnvelope(song.instruments[2].envelopes[ENV_NOTE], {254}, 0);
    song.usedInstruments[1] = song.usedInstruments[2] = true;

    expectSongData("envelope-value-255", {song}, "music.s");
}

TEST(AsmSongData, SongFileLayoutAndPatternSharing) {
    CapturedSong s =
        songWith("dir/Tune-1.zcm", {{DRV_NOTE + 12, {}}, {DRV_LONG_NOTE, {70}}, {DRV_LONG_WAIT, {65}}});
    // Two more stretches: channel 0 repeats its first pattern, then plays the pattern that
    // channels 1-3 play; the DPCM channel plays sample 7.
    s.channels[0].push_back(s.channels[0][0]);
    s.channels[0].push_back({{DRV_END_PATTERN, {}}});
    for (int c = 1; c < 4; ++c) s.channels[c].resize(3, s.channels[c][0]);
    setSample(s.instruments[7], 16, 0x55);
    s.channels[4].push_back({{DRV_DPCM_RATE, {0x4F}},
                             {DRV_DPCM_PLAY, {7}},
                             {DRV_DPCM_LONG_WAIT, {200}},
                             {DRV_DPCM_BASE + 5, {}},
                             {DRV_DPCM_END_PATTERN, {}}});
    s.channels[4].push_back(s.channels[4][1]);
    s.loopIndex = 1;

    // Patterns: 0 = channel 0's first, 1 = the bare end shared by channels 0-3, 2 and 3 the DPCM
    // channel's two.
    expectSongData("song-layout", {s}, "out/music.s");
}

TEST(AsmSongData, InstrumentIndexesBeyondSixtyThreeTakeTheLongForm) {
    CapturedSong s = songWith("big.zcm", {{DRV_INSTRUMENT, {64}}, {DRV_INSTRUMENT, {65}}});
    for (int slot = 1; slot <= 65; ++slot) {
        setEnvelope(s.instruments[slot].envelopes[ENV_NOTE], {slot}, 0);
        s.usedInstruments[slot] = true;
    }
    expectSongData("long-instrument-index", {s}, "m.s");
}

TEST(AsmSongData, NoInstrumentsAndNoSamples) {
    expectSongData("no-instruments", {songWith("a.zcm", {})}, "m.s");
}

TEST(AsmSongData, DpcmSamplesAreAlignedAndLimited) {
    CapturedSong s = songWith("d.zcm", {});
    setSample(s.instruments[1], 1000, 7);
    setSample(s.instruments[2], 500, 9);
    setSample(s.instruments[3], 1000, 7);  // same bytes as slot 1: shared
    setSample(s.instruments[4], 5000, 1);  // longer than $4013 can say
    s.instruments[4].type = INST_DPCM;
    // Each sample starts at a multiple of 64 bytes (slot 2 at byte 1024), slot 3 takes slot 1's,
    // and slot 4's length byte says $FF.
    expectSongData("dpcm-layout", {s}, "m.s", "low");

    // Samples that cannot all lie in $C000-$FFFF end the run instead of being left out.
    setSample(s.instruments[5], 16384 - 6592 + 1, 3);
    LabelTable more;
    try {
        writeSongData(more, "<", {s}, OutputNames("m.s"));
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(contains(e.what(), "instrument 5 in d.zcm")) << e.what();
        EXPECT_TRUE(contains(e.what(), "16384")) << e.what();
    }
    setSample(s.instruments[5], 16384 - 6592, 3);  // ends exactly at $FFFF: fits
    EXPECT_NO_THROW(writeSongData(more, "<", {s}, OutputNames("m.s")));
}

TEST(AsmSongData, DataTheDriverCannotHoldIsRefused) {
    CapturedSong unknown = songWith("u.zcm", {{DRV_INSTRUMENT, {3}}});  // never flagged as used
    LabelTable labels;
    EXPECT_THROW(writeSongData(labels, "<", {unknown}, OutputNames("m.s")), std::runtime_error);
    CapturedSong notDpcm = songWith("n.zcm", {});
    notDpcm.channels[4][0].insert(notDpcm.channels[4][0].begin(), {DRV_DPCM_PLAY, {2}});
    EXPECT_THROW(writeSongData(labels, "<", {notDpcm}, OutputNames("m.s")), std::runtime_error);
    CapturedSong longSong = songWith("l.zcm", {});
    for (auto& channel : longSong.channels) channel.resize(256, channel[0]);
    EXPECT_THROW(writeSongData(labels, "<", {longSong}, OutputNames("m.s")), std::runtime_error);
    // 128 different DPCM samples fit the sample table, 129 do not.
    CapturedSong samples = songWith("s.zcm", {});
    for (int slot = 1; slot <= 128; ++slot) setSample(samples.instruments[slot], 1, uint8_t(slot));
    EXPECT_NO_THROW(writeSongData(labels, "<", {samples}, OutputNames("m.s")));
    setSample(samples.instruments[129], 1, 129);
    EXPECT_THROW(writeSongData(labels, "<", {samples}, OutputNames("m.s")), std::runtime_error);
}
