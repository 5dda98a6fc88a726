#include "catalogue/text_fold.h"

#include <gtest/gtest.h>

#include "catalogue/unicode_text.h"

using namespace vocalis;

TEST(Fold, VietnameseLettersInEitherCaseAndForm) {
    const std::pair<const char*, std::string> cases[] = {
        {"aăâáàảãạắằẳẵặấầẩẫậ", std::string(18, 'a')},
        {"AĂÂÁÀẢÃẠẮẰẲẴẶẤẦẨẪẬ", std::string(18, 'a')},
        {"eêéèẻẽẹếềểễệ ÊẾỆ", "eeeeeeeeeeee eee"},
        {"iíìỉĩị", "iiiiii"},
        {"oôóòỏõọốồổỗộơớờởỡợ", std::string(18, 'o')},
        {"uưúùủũụứừửữự", std::string(12, 'u')},
        {"yýỳỷỹỵ", "yyyyyy"},
        {"đĐðÐ", "dddd"},
        {"Tr\u01B0\u0323\u0300ng Sa\u0301ng", "trung sang"},  // decomposed folds as composed
        {"Người Ơi", "nguoi oi"},
        {"\u1100\u1161", "\uAC00"},  // Hangul jamo compose, so they must not go through the table
    };
    for (const auto& [text, folded] : cases) EXPECT_EQ(foldText(text), folded) << text;

    // A character outside the fast table sends the whole string down the full normalisation;
    // every character inside the table must fold the same way there.
    const std::string outside = "\u4E2D";
    for (char32_t cp = 0x20; cp < 0x1F00; cp = cp == 0x10FF ? 0x1E00 : cp + 1) {
        std::string one;
        appendUtf8(one, cp);
        ASSERT_EQ(foldText(one) + outside, foldText(one + outside)) << "U+" << std::hex << unsigned(cp);
    }
}

TEST(Fold, KeysOfTitles) {
    const char* const cases[][4] = {
        {"Đêm Đông", "dem dong", "demdong", "dd"},
        {"Ai   Về  Sông Tương", "ai ve song tuong", "aivesongtuong", "avst"},
        {"Xuân", "xuan", "xuan", "x"},
        {"100 Năm", "100 nam", "100nam", "1n"},
        // Characters without a decomposition stay whole in all three keys; a tab is a character.
        {"中文 Em\u2019s\tX", "中文 em\u2019s\tx", "中文em\u2019s\tx", "中e"},
        {"  lead and trail  ", "lead and trail ", "leadandtrail", "lat"},
        {"", "", "", ""},
    };
    for (const auto& [title, search, noSpace, shortcut] : cases) {
        const auto keys = makeSearchKeys(title);
        EXPECT_EQ(std::tie(keys.search, keys.noSpace, keys.shortcut), std::tuple(search, noSpace, shortcut))
            << title;
    }
    EXPECT_EQ(foldKeyword("Em Ơi  Hà Nội"), "emoihanoi");
}

TEST(UnicodeText, DisplayTextLengthsAndOrder) {
    const std::pair<std::string, std::string> shown[] = {
        {"\xC3", "\uFFFD"},                      // cut short
        {"\xC0\xAF", "\uFFFD\uFFFD"},            // overlong "/"
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},  // surrogate
        {"a\tb\nc\rd", "a b c d"},
    };
    for (const auto& [bytes, text] : shown) EXPECT_EQ(displayText(bytes), text) << bytes;
    EXPECT_EQ(trimWhiteSpace(" \t\u00A0Ca Dao\u3000 "), "Ca Dao");
    EXPECT_EQ(trimWhiteSpace("   "), "");
    EXPECT_EQ(lowerCase("ĐÊM Đông ABC"), "đêm đông abc");
    EXPECT_EQ(lowerCase("A\xffZ\xC3"), "a\xffz\xC3");  // malformed bytes stay as they are

    EXPECT_EQ((std::vector{utf16Length("a"), utf16Length("ă"), utf16Length("🎤")}),
              (std::vector<std::size_t>{1, 1, 2}));
    EXPECT_EQ(compareUtf16("ab", "ab"), 0);
    // In UTF-16 a surrogate pair (U+1F3A4) sorts before U+FFFD, unlike code point order.
    const std::pair<const char*, const char*> ascending[] = {
        {"abc", "abd"}, {"ab", "abc"}, {"x🎤", "x\uFFFD"}, {"x\u00E9", "x\uFFFD"}, {"\u00E9", "🎤"}};
    for (const auto& [lower, higher] : ascending) EXPECT_LT(compareUtf16(lower, higher), 0) << lower;
}
