#include <gtest/gtest.h>

#include <limits>

#include "catalogue/song_manager.h"

using namespace vocalis;

namespace {

class Queue : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<Song> list;
        for (char c = 'a'; c <= 'h'; ++c) list.push_back(*songFromPath("/k", std::string(1, c) + ".mp4"));
        songs.addAll(std::make_shared<Catalogue>(buildCatalogue(std::move(list))));
    }
    const Song& song(int id) { return *songs.getSong(id); }
    void fill(std::initializer_list<int> ids) {
        for (int id : ids) songs.queueAdd(song(id));
    }
    std::string ids() {
        std::string out;
        for (int i = 0; i < songs.getQueueCount(); ++i) out += std::to_string(songs.getQueueSong(i)->songId);
        return out;
    }
    SongManager songs;
};

}  // namespace

TEST_F(Queue, PriorityAppendsOnShortQueuesAndOtherwiseGoesNext) {
    songs.queuePriority(song(1));
    EXPECT_EQ(ids(), "1");
    songs.queuePriority(song(2));
    EXPECT_EQ(ids(), "12");
    songs.queuePriority(song(3));
    EXPECT_EQ(ids(), "132");
    EXPECT_TRUE(songs.isInQueue(song(3)));
    EXPECT_EQ(songs.getCurrentSong(), &song(1));
    EXPECT_EQ(songs.getQueueNextSong(), &song(3));
}

TEST_F(Queue, MovesAndSwapsNeverTouchTheCurrentSong) {
    fill({0, 1, 2, 3, 4});
    songs.moveFirst(1);
    songs.moveFirst(0);
    songs.moveFirst(5);
    songs.moveFirst(-1);
    EXPECT_EQ(ids(), "01234");
    songs.moveFirst(4);
    EXPECT_EQ(ids(), "04123");
    songs.swap(1, 0);
    songs.swap(0, 1);
    songs.swap(1, 5);
    EXPECT_EQ(ids(), "04123");
    songs.swap(2, 1);
    EXPECT_EQ(ids(), "01423");
}

TEST_F(Queue, WaitingPositionsOutsideTheWaitingSongsChangeNothing) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    enum Op { kRemove, kUp, kFirst };
    const struct {
        Op op;
        std::int32_t position;
        bool changed;
        const char* after;
    } cases[] = {
        {kRemove, -1, false, "01234"},   {kRemove, kMin, false, "01234"}, {kRemove, 4, false, "01234"},
        {kRemove, kMax, false, "01234"}, {kRemove, 0, true, "0234"},      {kRemove, 3, true, "0123"},
        {kUp, -1, false, "01234"},       {kUp, 0, false, "01234"},        {kUp, 4, false, "01234"},
        {kUp, kMax, false, "01234"},     {kUp, 2, true, "01324"},         {kFirst, -1, false, "01234"},
        {kFirst, 0, false, "01234"},     {kFirst, 4, false, "01234"},     {kFirst, kMax, false, "01234"},
        {kFirst, 3, true, "04123"},
    };
    for (const auto& c : cases) {
        while (!songs.isQueueEmpty()) songs.queueDelete(0);
        fill({0, 1, 2, 3, 4});
        const bool changed = c.op == kRemove ? songs.removeWaiting(c.position)
                             : c.op == kUp   ? songs.moveWaitingUp(c.position)
                                             : songs.moveWaitingFirst(c.position);
        EXPECT_EQ(changed, c.changed) << c.op << " " << c.position;
        EXPECT_EQ(ids(), c.after) << c.op << " " << c.position;
    }
}

TEST_F(Queue, DeleteKeepsFlagsTrueWhileTheSongIsStillQueued) {
    fill({0, 1, 2});
    songs.queueDelete(-1);
    songs.queueDelete(3);
    EXPECT_EQ(ids(), "012");
    for (int id : {0, 1, 2}) EXPECT_TRUE(songs.isInQueue(song(id)));
    EXPECT_FALSE(songs.isInQueue(song(3)));

    // Replay: the current song goes in again right behind itself, then the front is removed.
    songs.queuePriority(song(0));
    EXPECT_EQ(ids(), "0012");
    songs.queueDelete(0);
    EXPECT_EQ(ids(), "012");
    EXPECT_TRUE(songs.isInQueue(song(0)));

    songs.queueDelete(1);
    EXPECT_FALSE(songs.isInQueue(song(1)));
    EXPECT_FALSE(songs.queueContains(song(1)));
    songs.queueDelete(0);
    songs.queueDelete(0);
    EXPECT_TRUE(songs.isQueueEmpty());
    EXPECT_EQ(songs.getCurrentSong(), nullptr);
    EXPECT_EQ(songs.getQueueNextSong(), nullptr);
    EXPECT_FALSE(songs.isInQueue(song(0)));
}

TEST_F(Queue, IdsTextListsOnlyTheWaitingSongs) {
    EXPECT_EQ(songs.getQueueIdsString(), "");
    fill({7});
    EXPECT_EQ(songs.getQueueIdsString(), "");
    fill({3});
    EXPECT_EQ(songs.getQueueIdsString(), "3");
    fill({5, 0});
    EXPECT_EQ(songs.getQueueIdsString(), "3 5 0");
}

TEST_F(Queue, CurrentSongIdIsSharedAcrossThreads) {
    EXPECT_EQ(songs.currentSongId(), -1);
    songs.setCurrentSongId(4);
    int seen = -2;
    std::thread reader([&] { seen = songs.currentSongId(); });
    reader.join();
    EXPECT_EQ(seen, 4);
    EXPECT_EQ(songs.getSong(8), nullptr);
    EXPECT_EQ(songs.getSong(-1), nullptr);
}
