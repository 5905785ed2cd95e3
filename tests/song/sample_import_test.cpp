#include <gtest/gtest.h>

#include <cmath>

#include <sndfile.h>
#include <sys/stat.h>

#include "song/SampleImport.h"
#include "tests/app/Golden.h"
#include "tests/song/FileBytes.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytesOf(const SampleSlot& s) {
    return s.empty() ? std::vector<uint8_t>{} : std::vector<uint8_t>(s.data.get(), s.data.get() + s.size);
}

class SampleImport : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }  // with a large sparse file and a pipe

    // Writes interleaved items through libsndfile; the test fails when the format is not built in.
    std::string writeSound(const std::string& name, int format, int rate, int channels,
                           const std::vector<double>& items) {
        std::string path = (dir / name).string();
        SF_INFO info = {0, rate, channels, format, 0, 0};
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
        if (!file) return path;
        sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
        EXPECT_EQ(sf_write_double(file, items.data(), sf_count_t(items.size())), sf_count_t(items.size()));
        sf_close(file);
        return path;
    }

    std::vector<uint8_t> pcm(int slot) const { return bytesOf(song->instruments[slot].pcm); }

    const fs::path dir = scratch() / "samples";
    std::unique_ptr<Song> song = std::make_unique<Song>();
};

}  // namespace

// Sounds of one level ("NAME RATE FRAMES", the format from the name's ending) and the length
// they load to, kept in tests/data/song/pcm_lengths.txt.
TEST_F(SampleImport, LengthFollowsRateInEveryFormat) {
    expectTable("song/pcm_lengths", [&](const std::string& c) {
        std::string name;
        int rate = 0, frames = 0;
        std::istringstream(c) >> name >> rate >> frames;
        const bool ogg = name.ends_with(".ogg");
        const int format =
            ogg ? SF_FORMAT_OGG | SF_FORMAT_VORBIS
                : (name.ends_with(".flac") ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
        song->resetInstrument(5);
        const std::string path = writeSound(name, format, rate, 1, std::vector<double>(frames, 0.5));
        if (!loadPcmSample(*song, 5, path)) return std::string("refused");
        const SampleSlot& got = song->instruments[5].pcm;
        EXPECT_EQ(song->instruments[5].type, INST_PCM) << c;
        EXPECT_EQ(song->instrumentNames[5], name);
        for (uint8_t level : pcm(5)) EXPECT_NEAR(level, 95, 1) << c;  // trunc(0.5 * 63 + 64)

        // The same file's bytes read from memory give the same sample and name.
        const std::string bytes = slurp(path);
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        ImportedSample fromBytes;
        EXPECT_TRUE(readPcmBytes(data, bytes.size(), path, fromBytes) && fromBytes.sample == got) << c;
        EXPECT_EQ(fromBytes.name, name);
        // Cut short, the bytes are refused or read as far as they go, never past their end. (Not
        // tried on Ogg: the system's Vorbis decoder leaks on a stream cut short, which the
        // leak checker of the sanitizer build would report.)
        ImportedSample cut;
        if (!ogg && readPcmBytes(data, bytes.size() / 2, path, cut)) {
            EXPECT_LE(cut.sample.size, got.size) << c;
        }
        return std::to_string(got.size) + " bytes";
    });
    ImportedSample none;
    EXPECT_FALSE(readPcmBytes(nullptr, 0, "x.wav", none));
    const uint8_t dmc[3] = {0x55, 0xAA, 0x0F};
    EXPECT_TRUE(readDpcmBytes(dmc, sizeof dmc, "/a/b.dmc", none));
    EXPECT_EQ(none.type, INST_DPCM);
    EXPECT_EQ(none.name, "b.dmc");
    EXPECT_EQ(bytesOf(none.sample), std::vector<uint8_t>(dmc, dmc + 3));
    EXPECT_FALSE(
        readDpcmBytes(dmc, MAX_IMPORTED_SAMPLE_BYTES + 1u, "big.dmc", none));  // refused before reading
}

TEST_F(SampleImport, TakesNearestEarlierFrame) {
    // A ramp that makes every frame's level tell its index, each half-way between two levels so
    // that float storage cannot tip the truncation.
    const int frames = 2000;
    std::vector<double> items(frames);
    for (int i = 0; i < frames; ++i) items[i] = ((i % 126) - 62.5) / 63.0;
    for (int rate : {7801, 44100, 3000}) {
        SCOPED_TRACE(rate);
        std::string path =
            writeSound(std::to_string(rate) + ".wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 1, items);
        ASSERT_TRUE(loadPcmSample(*song, 1, path));
        std::vector<uint8_t> got = pcm(1);
        ASSERT_EQ(got.size(), size_t(frames / (rate / 7801.0)));
        double p = 0.0;
        for (size_t k = 0; k < got.size(); ++k, p += rate / 7801.0)
            ASSERT_EQ(got[k], uint8_t(int(items[int(p)] * 63.0 + 64.0))) << k;
    }
}

TEST_F(SampleImport, ChannelsAreAveragedAndFullScaleGivesTheEnds) {
    const int wavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<double> stereo = {1.0, 1.0, -1.0, -1.0, 1.0, -0.5, 0.0, 0.0, 2.0, 3.0, NAN, 0.5};
    ASSERT_TRUE(loadPcmSample(*song, 2, writeSound("stereo.wav", wavFloat, 7801, 2, stereo)));
    EXPECT_EQ(pcm(2), (std::vector<uint8_t>{127, 1, 79, 64, 127, 64}));

    // 16-bit: the most negative value is exactly -1.0.
    ASSERT_TRUE(loadPcmSample(
        *song, 2, writeSound("s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7801, 2, {-1.0, -1.0, 0.0, 0.0})));
    EXPECT_EQ(pcm(2), (std::vector<uint8_t>{1, 64}));

    // Many channels: the average of 64 channels of which one is full scale.
    std::vector<double> wide(64 * 10, 0.0);
    for (int f = 0; f < 10; ++f) wide[f * 64 + 63] = 1.0;
    ASSERT_TRUE(loadPcmSample(*song, 2, writeSound("wide.wav", wavFloat, 7801, 64, wide)));
    EXPECT_EQ(pcm(2), std::vector<uint8_t>(10, 64));  // trunc(63 / 64 + 64)
}

TEST_F(SampleImport, DpcmBytesAreTakenAsTheyAre) {
    Instrument& inst = song->instruments[3];
    uint8_t old[2] = {1, 2};
    inst.pcm.assign(old, 2, true);
    inst.dpcm.assign(old, 2, true);
    inst.envelopes[ENV_VOLUME].values[0] = 240;

    ASSERT_TRUE(loadDpcmSample(*song, 3, writeFile(dir / "snare.dmc", {0x00, 0xFF, 0x55, 0xAA})));
    EXPECT_EQ(inst.type, INST_DPCM);
    EXPECT_EQ(bytesOf(inst.dpcm), (std::vector<uint8_t>{0x00, 0xFF, 0x55, 0xAA}));
    EXPECT_FALSE(inst.dpcm.loop);
    EXPECT_EQ(song->instrumentNames[3], "snare.dmc");
    EXPECT_EQ(pcm(3), (std::vector<uint8_t>{1, 2})) << "the PCM slot keeps its data";
    EXPECT_EQ(inst.envelopes[ENV_VOLUME].values[0], 240);

    ASSERT_TRUE(
        loadPcmSample(*song, 3, writeSound("x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7801, 1, {0.0})));
    EXPECT_EQ(inst.type, INST_PCM);
    EXPECT_EQ(inst.dpcm.size, 4u) << "the DPCM slot keeps its data";

    ASSERT_TRUE(loadDpcmSample(*song, 3, writeFile(dir / "empty.dmc", {})));
    EXPECT_EQ(inst.type, INST_DPCM);
    EXPECT_EQ(inst.dpcm.size, 0u);
    EXPECT_EQ(song->instrumentNames[3], "empty.dmc");
}

// Paths and the names they give, kept in tests/data/song/sample_names.txt: the last component
// after a slash or a backslash, cut to 30 bytes without splitting a character.
TEST_F(SampleImport, NamesComeFromTheLastPathComponent) {
    expectTable("song/sample_names", [](const std::string& path) { return sampleNameFromPath(path); });
}

TEST_F(SampleImport, BadInputChangesNothing) {
    Instrument& inst = song->instruments[6];
    inst.type = INST_PCM_SAW;
    uint8_t old[3] = {7, 8, 9};
    inst.pcm.assign(old, 3, true);
    inst.dpcm.assign(old, 3, true);
    song->instrumentNames[6] = "keep";
    Instrument before = inst;

    std::string text = writeFile(dir / "notes.txt", {'h', 'e', 'l', 'l', 'o'});
    std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string huge = writeFile(dir / "huge.dmc", {});
    fs::resize_file(huge, MAX_IMPORTED_SAMPLE_BYTES + 1u);  // sparse
    std::string good = writeFile(dir / "good.dmc", {1});
    for (const std::string& path : {(dir / "missing.wav").string(), dir.string(), fifo}) {
        EXPECT_FALSE(loadPcmSample(*song, 6, path)) << path;
        EXPECT_FALSE(loadDpcmSample(*song, 6, path)) << path;
    }
    EXPECT_FALSE(loadPcmSample(*song, 6, text));
    EXPECT_FALSE(loadDpcmSample(*song, 6, huge));
    EXPECT_FALSE(loadDpcmSample(*song, 0, good)) << "slot 0 is no instrument";
    EXPECT_FALSE(loadDpcmSample(*song, 256, good));
    EXPECT_TRUE(inst == before);
    EXPECT_EQ(song->instrumentNames[6], "keep");

    // The replaced buffer leaves the song with the import, to be released outside the lock.
    ImportedSample imported;
    ASSERT_TRUE(readDpcmSample(good, imported));
    ASSERT_TRUE(applyImportedSample(*song, 6, imported));
    EXPECT_EQ(imported.sample.size, 3u);
    EXPECT_EQ(inst.dpcm.size, 1u);
}
