#include "catalogue/song.h"

#include <array>
#include <charconv>

#include "catalogue/genres.h"
#include "catalogue/key_memo.h"
#include "catalogue/text_fold.h"
#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {

constexpr std::array<std::string_view, 4> kSongExtensions = {".mkv", ".vcv", ".mp4", ".vob"};

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

void appendField(std::string& out, std::string_view field) {
    out.append(field);
    out.push_back('\t');
}

// The first genre of the list whose folder is in the path. Every genre folder starts with
// "/Nhac", so only the places where that occurs are compared, instead of searching the whole
// path for each genre.
std::string_view categoryOf(std::string_view path) {
    static constexpr std::string_view kCommon = "/Nhac";
    static_assert([] {
        for (const auto genre : genreFolderCompareArray)
            if (!genre.starts_with(kCommon)) return false;
        return true;
    }());
    std::size_t best = genreFolderCompareArray.size();
    for (std::size_t at = path.find(kCommon); at != std::string_view::npos; at = path.find(kCommon, at + 1)) {
        const std::string_view rest = path.substr(at);
        for (std::size_t i = 0; i < best; ++i)
            if (rest.starts_with(genreFolderCompareArray[i])) best = i;
    }
    return best < genreFolderArray.size() ? genreFolderArray[best] : kNoCategory;
}

}  // namespace

void Song::makeTitleSearchable() {
    SearchKeys keys = makeSearchKeys(title);
    titleSearch = std::move(keys.search);
    titleSearchNoSpace = std::move(keys.noSpace);
    titleShortcut = std::move(keys.shortcut);
}

void Song::makeSingerSearchable(KeyMemo* memo) {
    if (singer.empty()) {
        singerSearch.clear();
        singerSearchNoSpace.clear();
        singerShortcut.clear();
        return;
    }
    if (memo) {
        const SearchKeys& keys = memo->keysOf(singer);
        singerSearch = keys.search;
        singerSearchNoSpace = keys.noSpace;
        singerShortcut = keys.shortcut;
        return;
    }
    SearchKeys keys = makeSearchKeys(singer);
    singerSearch = std::move(keys.search);
    singerSearchNoSpace = std::move(keys.noSpace);
    singerShortcut = std::move(keys.shortcut);
}

int Song::compare(const Song& other) const { return compareUtf16(titleSearch, other.titleSearch); }

void Song::appendString(std::string& out, std::int32_t count, std::int32_t position) const {
    char number[16];
    auto end = std::to_chars(number, number + sizeof number, songId).ptr;
    appendField(out, std::string_view(number, static_cast<std::size_t>(end - number)));
    appendField(out, title);
    appendField(out, titleShortcut);
    appendField(out, titleSearch);
    appendField(out, titleSearchNoSpace);
    appendField(out, singer);
    appendField(out, singerShortcut);
    appendField(out, singerSearch);
    appendField(out, singerSearchNoSpace);
    appendField(out, "0");
    appendField(out, "0");
    appendField(out, category);
    if (position != count - 1) out.push_back('\n');
}

std::string Song::getString(std::int32_t count, std::int32_t position) const {
    std::string out;
    appendString(out, count, position);
    return out;
}

bool Song::isVcv() const { return endsWith(fileName, ".vcv"); }

bool isSongFileName(std::string_view name) {
    for (const auto extension : kSongExtensions)
        if (endsWith(name, extension)) return true;
    return false;
}

std::optional<Song> songFromPath(std::string_view folder, std::string_view relativePath, KeyMemo* memo) {
    if (!isSongFileName(relativePath)) return std::nullopt;
    Song song;
    song.karaokeFile.reserve(folder.size() + 1 + relativePath.size());
    song.karaokeFile.append(folder);
    if (!song.karaokeFile.empty() && song.karaokeFile.back() != '/' && !relativePath.empty() &&
        relativePath.front() != '/')
        song.karaokeFile.push_back('/');
    song.karaokeFile.append(relativePath);

    const std::size_t slash = relativePath.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? relativePath : relativePath.substr(slash + 1);
    song.fileName = std::string(name);

    song.category = std::string(categoryOf(song.karaokeFile));

    // Every song extension is four bytes long.
    const std::string shown = displayText(name.substr(0, name.size() - 4));
    const std::size_t firstDash = shown.find('-');
    song.title = trimWhiteSpace(std::string_view(shown).substr(0, firstDash));
    if (firstDash != std::string::npos) {
        const std::size_t secondDash = shown.find('-', firstDash + 1);
        const std::size_t end = secondDash == std::string::npos ? shown.size() : secondDash;
        song.singer = trimWhiteSpace(std::string_view(shown).substr(firstDash + 1, end - firstDash - 1));
    }
    song.makeTitleSearchable();
    song.makeSingerSearchable(memo);
    return song;
}

}  // namespace vocalis
