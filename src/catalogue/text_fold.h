#pragma once

#include <string>
#include <string_view>

namespace vocalis {

// The search fold: lower case, combining marks removed, "đ" and "ð" turned into "d".
// Input must be valid UTF-8 (see displayText).
std::string foldText(std::string_view text);

// The three keys made from a title or a singer.
struct SearchKeys {
    std::string search;    // folded words separated by single spaces
    std::string noSpace;   // folded, every space removed
    std::string shortcut;  // first character of every folded word
};
SearchKeys makeSearchKeys(std::string_view text);

// A keyword typed into the song search: folded, spaces removed.
std::string foldKeyword(std::string_view text);

std::string removeAll(std::string_view text, char unwanted);

}  // namespace vocalis
