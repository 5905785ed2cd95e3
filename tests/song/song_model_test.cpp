#include <gtest/gtest.h>

#include "song/Song.h"

TEST(SongModel, FreshSongHasOneOrderAndDefaultInstruments) {
    auto song = std::make_unique<Song>();
    EXPECT_EQ(song->orders.count, 1);
    EXPECT_EQ(song->orders.entries[0], 0);
    EXPECT_EQ(song->speed, 6);
    EXPECT_EQ(song->tempo, 125);
    EXPECT_TRUE(isDefaultInstrument(song->instruments[1]));
    EXPECT_EQ(song->instruments[1].envelopes[ENV_FINETUNE].values[0], 127);
    EXPECT_EQ(song->instruments[1].envelopes[ENV_DUTY].length(), 1);
    EXPECT_EQ(lastUsedInstrument(*song), 0);
    EXPECT_EQ(usedPatternCount(*song), 0);
}
