#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "catalogue/song_manager.h"

using namespace vocalis;

namespace {

// A manager over songs "a" to "h" (ids 0 to 7).
class Queue : public ::testing::Test {
  protected:
    Queue() {
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
    EXPECT_EQ(songs.currentSongId(), -1);
    for (const auto& [id, after] : {std::pair{1, "1"}, {2, "12"}, {3, "132"}}) {
        songs.queuePriority(song(id));
        EXPECT_EQ(ids(), after);
    }
    EXPECT_TRUE(songs.isInQueue(song(3)));
    EXPECT_EQ(songs.getCurrentSong(), &song(1));
    EXPECT_EQ(songs.getQueueNextSong(), &song(3));
    EXPECT_EQ(songs.getSong(8), nullptr);
    EXPECT_EQ(songs.getSong(-1), nullptr);
    // The current song's id is read by other threads.
    songs.setCurrentSongId(4);
    int seen = -2;
    std::thread([&] { seen = songs.currentSongId(); }).join();
    EXPECT_EQ(seen, 4);
}

TEST_F(Queue, MovesAndSwapsNeverTouchTheCurrentSong) {
    fill({0, 1, 2, 3, 4});
    for (int position : {1, 0, 5, -1}) songs.moveFirst(position);
    EXPECT_EQ(ids(), "01234");
    songs.moveFirst(4);
    EXPECT_EQ(ids(), "04123");
    for (const auto& [a, b] : {std::pair{1, 0}, {0, 1}, {1, 5}}) songs.swap(a, b);
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
    EXPECT_EQ(songs.getQueueIdsString(), "");
    fill({0, 1, 2});
    for (int position : {-1, 3}) songs.queueDelete(position);
    EXPECT_EQ(ids(), "012");
    EXPECT_EQ(songs.getQueueIdsString(), "1 2");  // the waiting songs only
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
    fill({7});
    EXPECT_EQ(songs.getQueueIdsString(), "");
    fill({3, 5, 0});
    EXPECT_EQ(songs.getQueueIdsString(), "3 5 0");
}
