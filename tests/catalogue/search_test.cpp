#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "catalogue/song_manager.h"
#include "catalogue/text_fold.h"
#include "catalogue/unicode_text.h"

using namespace vocalis;

namespace {

using Titles = std::vector<std::string>;

// A manager over a catalogue made of the given relative paths below "/k/Karaoke".
std::unique_ptr<SongManager> managerWith(const std::vector<std::string>& paths) {
    std::vector<Song> songs;
    for (const auto& path : paths) songs.push_back(*songFromPath("/k/Karaoke", path));
    auto manager = std::make_unique<SongManager>();
    manager->addAll(std::make_shared<Catalogue>(buildCatalogue(std::move(songs))));
    return manager;
}

// The titles found for what is typed; with a type, the random pool of that type and keyword.
Titles found(SongManager& manager, const std::optional<std::string>& keyword, std::optional<int> type = {}) {
    type ? manager.filterRandom(*type, keyword) : manager.filter(foldKeyword(*keyword));
    Titles out;
    const int count = type ? manager.getRandomCount() : manager.getFilteredCount();
    for (int i = 0; i < count; ++i)
        out.emplace_back((type ? manager.getRandomPoolSong(i) : manager.getFilteredSong(i))->title());
    return out;
}

}  // namespace

TEST(Search, GroupsInOrderEachInCatalogueOrder) {
    auto manager = managerWith({"abc - Z.mp4", "Anh Ban - Z.mp4", "ab - Z.mp4", "Xyz - Anh Bảo.mp4",
                                "Cab - Q.mp4", "Anh Bơi Cạn - Q.mp4", "Mưa - Mỹ Tâm.mp4", "Zed - Minh.mp4"});
    const std::pair<const char*, Titles> cases[] = {
        // Exact title, exact initials, initials prefix, title prefix, then anywhere.
        {"ab", {"ab", "Anh Ban", "Anh Bơi Cạn", "abc", "Cab", "Xyz"}},
        {"M", {"Mưa"}},  // one character: titles starting with it only, never singers
        {"Ư", {}},
        {"", {"ab", "abc", "Anh Ban", "Anh Bơi Cạn", "Cab", "Mưa", "Xyz", "Zed"}},  // all, in catalogue order
        {"my tam", {"Mưa"}},  // found only in a singer: after every title match
        {"nothing here", {}},
    };
    for (const auto& [typed, titles] : cases) EXPECT_EQ(found(*manager, typed), titles) << typed;

    // An emoji is two UTF-16 units, so it is searched in groups and still found anywhere.
    manager = managerWith({"🎤 Hát - a.mp4", "🎸 Đàn - b.mp4", "Hoa - c.mp4"});
    EXPECT_EQ(found(*manager, "🎤"), Titles{"🎤 Hát"});
    EXPECT_EQ(found(*manager, "h"), Titles{"Hoa"});

    SongManager empty;
    for (const char* typed : {"ab", ""}) EXPECT_TRUE(found(empty, typed).empty()) << typed;
    EXPECT_EQ(empty.getFilteredSong(0), nullptr);
    empty.filterRandom(0, "x");
    EXPECT_EQ(empty.getRandomSong(), nullptr);
}

TEST(RandomPool, ByCategoryTitleAndSinger) {
    auto manager = managerWith({"NhacMoi/Em Ơi Hà Nội Phố - Hồng Nhung.mp4", "nhacmoi/Lạ - X.mp4",
                                "NhacTre/Em Oi - Y.mp4", "NhacTre/Ếch Mẹ Ơi Ì - Hồng Nhung.mkv",
                                "NhacMoiHon/Khác - Z.mp4", "Other/Mùa - Quang Lê.mp4"});
    const Titles all = found(*manager, "");
    ASSERT_EQ(all.size(), 6u);
    // The type, the keyword and the pool.
    const std::tuple<int, std::optional<std::string>, Titles> cases[] = {
        {0, "NhacMoi", {"Em Ơi Hà Nội Phố", "Lạ"}},  // a folder of that name in any case mix
        {0, "/nhactre/", {"Ếch Mẹ Ơi Ì", "Em Oi"}},  // slashes typed by the operator are dropped
        {0, "NhacSan", all},                         // a category matching nothing: the whole catalogue
        {1, "Em Ơi", {"Ếch Mẹ Ơi Ì", "Em Oi", "Em Ơi Hà Nội Phố"}},  // folded title or initials
        {2, "hong nhung", {"Ếch Mẹ Ơi Ì", "Em Ơi Hà Nội Phố"}},
        {2, "Quang", {"Mùa"}},
        {7, "Em", all},  // unknown types, absent and empty keywords: the whole catalogue
        {1, std::nullopt, all},
        {1, "", all},
    };
    for (const auto& [type, keyword, pool] : cases)
        EXPECT_EQ(found(*manager, keyword, type), pool) << type << keyword.value_or("-");
}

TEST(RandomPool, DrawsCoverThePoolUniformly) {
    auto manager = managerWith({"a.mp4", "b.mp4", "c.mp4", "d.mp4", "e.mp4"});
    manager->filterRandom(1, "zzz");  // falls back to all five
    std::map<std::string, int> counts;
    for (int i = 0; i < 5000; ++i) counts[std::string(manager->getRandomSong()->title())]++;
    ASSERT_EQ(counts.size(), 5u);
    // Expected 1000 each; 800 is more than six standard deviations away.
    for (const auto& [title, count] : counts) EXPECT_GT(count, 800) << title;
    EXPECT_EQ(manager->getRandomCount(), 5);  // drawing does not consume the pool
}

TEST(Search, AgreesWithAPlainReadingOfTheGroupsOnManyKeywords) {
    // Short titles over a small alphabet give many near misses, matches at the very start
    // and end of the index, and keywords longer than some keys.
    std::mt19937 random(12345);
    const auto word = [&](int maxLength) {
        static const char* const letters[] = {"a", "b", "c", "đ", "e", " "};
        std::string out;
        for (int n = std::uniform_int_distribution<int>(0, maxLength)(random); n > 0; --n)
            out += letters[std::uniform_int_distribution<int>(0, 5)(random)];
        return out;
    };
    std::vector<std::string> paths;
    for (int i = 0; i < 400; ++i) paths.push_back("x" + word(12) + " - " + word(8) + ".mp4");
    auto manager = managerWith(paths);
    const auto catalogue = manager->catalogue();

    // Each song in the first of the groups it belongs to, in the order the first test names them.
    auto reference = [&](const std::string& k) {
        std::vector<int> groups[5];
        for (const Song& s : catalogue->songs) {
            const auto has = [&](std::string_view key) { return key.find(k) != std::string_view::npos; };
            const bool in[] = {s.titleSearchNoSpace() == k, s.titleShortcut() == k,
                               s.titleShortcut().starts_with(k), s.titleSearchNoSpace().starts_with(k),
                               has(s.singerShortcut()) || has(s.singerSearchNoSpace()) ||
                                   has(s.titleShortcut()) || has(s.titleSearchNoSpace())};
            if (const auto g = std::ranges::find(in, true) - std::begin(in); g < 5)
                groups[g].push_back(s.songId);
        }
        std::vector<int> out;
        for (auto& group : groups) out.insert(out.end(), group.begin(), group.end());
        return out;
    };
    std::vector<std::string> keywords;
    for (int i = 0; i < 300; ++i) {
        const std::string keyword = foldKeyword("x" + word(6)).substr(i % 2);  // with and without the x
        if (keyword.size() >= 2) keywords.push_back(keyword);
    }
    int nonEmpty = 0;
    for (const std::string& keyword : keywords) {
        const auto found = manager->search(keyword);
        const std::vector<int> got(found.positions.begin(), found.positions.end());
        EXPECT_EQ(got, reference(keyword)) << keyword;
        nonEmpty += !got.empty();
        // Narrowed from the answer to its first two letters, as when a guest types on.
        std::size_t cut = 1;
        while (cut < keyword.size() &&
               (utf16Length(keyword.substr(0, cut)) < 2 || (keyword[cut] & 0xC0) == 0x80))
            ++cut;
        const auto narrowed = manager->search(keyword, manager->search(keyword.substr(0, cut)));
        EXPECT_EQ(std::vector<int>(narrowed.positions.begin(), narrowed.positions.end()), reference(keyword))
            << keyword;
    }
    EXPECT_GT(nonEmpty, 50);  // the comparison was not vacuous
}
