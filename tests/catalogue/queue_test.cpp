#include <gtest/gtest.h>

#include <limits>

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
    EXPECT_TRUE(!songs.getSong(8) && !songs.getSong(-1));
}

TEST_F(Queue, WaitingPositionsOutsideTheWaitingSongsChangeNothing) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    // Remove, up and first at a position, and the queue after it; a change is reported.
    const std::tuple<char, std::int32_t, const char*> cases[] = {
        {'r', -1, "01234"}, {'r', kMin, "01234"}, {'r', 4, "01234"},    {'r', kMax, "01234"},
        {'r', 0, "0234"},   {'r', 3, "0123"},     {'u', -1, "01234"},   {'u', 0, "01234"},
        {'u', 4, "01234"},  {'u', kMax, "01234"}, {'u', 2, "01324"},    {'f', -1, "01234"},
        {'f', 0, "01234"},  {'f', 4, "01234"},    {'f', kMax, "01234"}, {'f', 3, "04123"}};
    for (const auto& [op, position, after] : cases) {
        while (!songs.isQueueEmpty()) songs.queueDelete(0);
        fill({0, 1, 2, 3, 4});
        const bool changed = op == 'r'   ? songs.removeWaiting(position)
                             : op == 'u' ? songs.moveWaitingUp(position)
                                         : songs.moveWaitingFirst(position);
        EXPECT_EQ(changed, std::string(after) != "01234") << op << position;
        EXPECT_EQ(ids(), after) << op << position;
    }
}

TEST_F(Queue, DeleteKeepsFlagsTrueWhileTheSongIsStillQueued) {
    fill({0, 1, 2});
    for (int position : {-1, 3}) songs.queueDelete(position);
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
    EXPECT_FALSE(songs.isInQueue(song(1)) || songs.queueContains(song(1)));
    for (int i = 0; i < 2; ++i) songs.queueDelete(0);
    EXPECT_TRUE(songs.isQueueEmpty() && !songs.getCurrentSong() && !songs.getQueueNextSong());
    EXPECT_FALSE(songs.isInQueue(song(0)));
}
