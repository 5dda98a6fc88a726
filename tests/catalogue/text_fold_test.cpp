#include "catalogue/text_fold.h"

#include <gtest/gtest.h>

#include "catalogue/unicode_text.h"

using namespace vocalis;

TEST(Fold, VietnameseLettersInEitherCaseAndForm) {
    EXPECT_EQ(foldText("aăâáàảãạắằẳẵặấầẩẫậ"), std::string(18, 'a'));
    EXPECT_EQ(foldText("AĂÂÁÀẢÃẠẮẰẲẴẶẤẦẨẪẬ"), std::string(18, 'a'));
    EXPECT_EQ(foldText("eêéèẻẽẹếềểễệ ÊẾỆ"), "eeeeeeeeeeee eee");
    EXPECT_EQ(foldText("iíìỉĩị"), "iiiiii");
    EXPECT_EQ(foldText("oôóòỏõọốồổỗộơớờởỡợ"), std::string(18, 'o'));
    EXPECT_EQ(foldText("uưúùủũụứừửữự"), std::string(12, 'u'));
    EXPECT_EQ(foldText("yýỳỷỹỵ"), "yyyyyy");
    EXPECT_EQ(foldText("đĐðÐ"), "dddd");
    // Decomposed input (base letter + combining marks) folds the same as composed input.
    EXPECT_EQ(foldText("Tr\u01B0\u0323\u0300ng Sa\u0301ng"), "trung sang");
    EXPECT_EQ(foldText("Người Ơi"), "nguoi oi");
}

TEST(Fold, FastPathAgreesWithFullNormalisation) {
    // Folding a string that also holds a character outside the fast table takes the full
    // normalisation path; every character inside the table must fold the same way there.
    const std::string outside = "\u4E2D";  // folds to itself
    for (char32_t cp = 0x20; cp < 0x1100; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        std::string one;
        appendUtf8(one, cp);
        ASSERT_EQ(foldText(one) + outside, foldText(one + outside))
            << "U+" << std::hex << static_cast<unsigned>(cp);
    }
    for (char32_t cp = 0x1E00; cp < 0x1F00; ++cp) {
        std::string one;
        appendUtf8(one, cp);
        ASSERT_EQ(foldText(one) + outside, foldText(one + outside))
            << "U+" << std::hex << static_cast<unsigned>(cp);
    }
    // Hangul jamo compose with each other and must not go through the table.
    EXPECT_EQ(foldText("\u1100\u1161"), "\uAC00");
}

TEST(Fold, KeysOfTitles) {
    auto keys = makeSearchKeys("Đêm Đông");
    EXPECT_EQ(keys.search, "dem dong");
    EXPECT_EQ(keys.noSpace, "demdong");
    EXPECT_EQ(keys.shortcut, "dd");

    keys = makeSearchKeys("Ai   Về  Sông Tương");
    EXPECT_EQ(keys.search, "ai ve song tuong");
    EXPECT_EQ(keys.noSpace, "aivesongtuong");
    EXPECT_EQ(keys.shortcut, "avst");

    keys = makeSearchKeys("Xuân");
    EXPECT_EQ(keys.shortcut, "x");

    keys = makeSearchKeys("100 Năm");
    EXPECT_EQ(keys.search, "100 nam");
    EXPECT_EQ(keys.shortcut, "1n");

    // Characters without a decomposition stay whole in all three keys; a tab is a character.
    keys = makeSearchKeys("中文 Em\u2019s\tX");
    EXPECT_EQ(keys.search, "中文 em\u2019s\tx");
    EXPECT_EQ(keys.noSpace, "中文em\u2019s\tx");
    EXPECT_EQ(keys.shortcut, "中e");

    keys = makeSearchKeys("  lead and trail  ");
    EXPECT_EQ(keys.search, "lead and trail ");
    EXPECT_EQ(keys.shortcut, "lat");

    keys = makeSearchKeys("");
    EXPECT_TRUE(keys.search.empty() && keys.noSpace.empty() && keys.shortcut.empty());

    EXPECT_EQ(foldKeyword("Em Ơi  Hà Nội"), "emoihanoi");
}

TEST(UnicodeText, BytesBecomeSafeDisplayText) {
    EXPECT_EQ(displayText("ok"), "ok");
    EXPECT_EQ(displayText("a\xff"
                          "b"),
              "a\uFFFD"
              "b");
    EXPECT_EQ(displayText("\xC3"), "\uFFFD");                      // cut short
    EXPECT_EQ(displayText("\xC0\xAF"), "\uFFFD\uFFFD");            // overlong "/"
    EXPECT_EQ(displayText("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // surrogate
    EXPECT_EQ(displayText("a\tb\nc\rd"), "a b c d");
    EXPECT_EQ(trimWhiteSpace(" \t\u00A0Ca Dao\u3000 "), "Ca Dao");
    EXPECT_EQ(trimWhiteSpace("   "), "");
    EXPECT_EQ(lowerCase("ĐÊM Đông ABC"), "đêm đông abc");
    EXPECT_EQ(lowerCase("A\xff"
                        "B\xC3"),
              "a\xff"
              "b\xC3");  // malformed bytes stay as they are
}

TEST(UnicodeText, LengthsAndOrderInUtf16Units) {
    EXPECT_EQ(utf16Length("a"), 1u);
    EXPECT_EQ(utf16Length("ă"), 1u);
    EXPECT_EQ(utf16Length("🎤"), 2u);
    EXPECT_LT(compareUtf16("abc", "abd"), 0);
    EXPECT_LT(compareUtf16("ab", "abc"), 0);
    EXPECT_EQ(compareUtf16("ab", "ab"), 0);
    // In UTF-16 a surrogate pair (U+1F3A4) sorts before U+FFFD, unlike code point order.
    EXPECT_LT(compareUtf16("x🎤", "x\uFFFD"), 0);
    EXPECT_LT(compareUtf16("x\u00E9", "x\uFFFD"), 0);
    EXPECT_LT(compareUtf16("\u00E9", "🎤"), 0);
}
