#include "remote/wire_protocol.h"

#include <gtest/gtest.h>

#include <set>

#include "remote/command_stream.h"
#include "remote/message_stream.h"
#include "remote/phone_test_support.h"

namespace vocalis {
namespace {

using testing::bytes;
using Strings = std::vector<std::string>;

TEST(WireProtocol, PlayerMessagesByteForByteAndReadBackWhereverCutAndTheCommandCodes) {
    // The audio track is one byte in message 8 and four in the catalogue.
    const std::string text =
        "0\tA\ta\ta\ta\tB\tb\tb\tb\t0\t0\tNhacMoi\t\n1\tC\tc\tc\tc\tD\td\td\td\t0\t0\tNhacMoi\t";
    EXPECT_EQ(wire::queueMessage("7 30"), bytes({0x0E, 0, 0, 0, 4}) + "7 30");
    EXPECT_EQ(wire::catalogueMessage(text, 2, 1),
              bytes({1, 0, 0, 0, static_cast<int>(text.size()), 0, 0, 0, 2}) + text +
                  bytes({0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(wire::countRecords(""), 0);  // an empty catalogue holds no songs rather than one
    // Read back whole wherever the stream is cut.
    const std::string all = wire::catalogueMessage(text, 2, 1) + wire::queueMessage("3 1") +
                            wire::queueMessage("") + wire::currentSongMessage(-1) +
                            wire::playStateMessage(true) + wire::audioTrackMessage(0) +
                            wire::numberMessage(23) + wire::numberMessage(27) +
                            wire::checksumMessage("d41d8cd98f00b204e9800998ecf8427e");
    for (std::size_t cut = 0; cut <= all.size(); cut += 3) {
        MessageStream stream;
        Strings seen;
        for (const std::string& part : {all.substr(0, cut), all.substr(cut)})
            for (const auto& m : stream.feed(part))
                seen.push_back(m.text + "|" + std::to_string(m.value) + "|" + std::to_string(m.songCount));
        EXPECT_EQ(seen, (Strings{text + "|1|2", "3 1|0|0", "|0|0", "|-1|0", "|1|0", "|0|0", "|700|0", "|10|0",
                                 "d41d8cd98f00b204e9800998ecf8427e|0|0"}))
            << cut;
    }
    MessageStream broken;
    EXPECT_EQ(broken.feed(bytes({0x26, 0, 0, 0, 1, 0x63})).size(), 1u);
    EXPECT_TRUE(broken.broken());
    // Every code outside the table is not a command.
    const std::set<int> commands = {0,  1,  2,  3,  4,  5,  7,  8,  11, 12, 13, 16, 17,
                                    18, 20, 21, 22, 23, 27, 36, 39, 41, 48, 80, 81};
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(wire::isCommand(static_cast<std::uint8_t>(code)), commands.count(code) == 1) << code;
}

Strings describe(const std::vector<PhoneCommand>& commands) {
    Strings out;
    for (const auto& c : commands)
        out.push_back(std::to_string(c.code) + ":" + std::to_string(c.value) +
                      (c.text.empty() ? "" : ":" + c.text) +
                      (c.picture.empty() ? "" : ":" + std::string(c.picture.begin(), c.picture.end())));
    return out;
}

TEST(CommandStream, CatalogueRequestsAndUnknownCodesDropWhatFollowsInTheirChunk) {
    CommandStream stream;
    EXPECT_EQ(describe(stream.feed(bytes({16, 1, 2, 0, 0, 0, 7}))), (Strings{"16:0", "1:0"}));
    EXPECT_EQ(describe(stream.feed(bytes({16, 6, 16, 4}))), (Strings{"16:0"}));
    // An unknown code after an incomplete command is not looked at before the command is whole.
    EXPECT_TRUE(stream.feed(bytes({2, 0})).empty());
    EXPECT_EQ(describe(stream.feed(bytes({0, 0, 9, 99, 4}))), (Strings{"2:9"}));
    EXPECT_EQ(describe(stream.feed(bytes({4}))), (Strings{"4:0"}));
}

TEST(CommandStream, CommandsAreCutTheSameInAnyPiecesAndOverLongPayloadsAreSkippedWhole) {
    CommandLimits limits;
    limits.maxText = 8;
    limits.maxPicture = 16;
    // Payloads of 0x51, the current-song request: not one of their bytes may run.
    const std::string q = std::string(17, '\x51');
    // Each input and what is cut from it; "broken": nothing more is ever read.
    const std::pair<std::string, Strings> cases[] = {
        {bytes({2, 0, 0, 0, 7, 4, 5, 17, 11, 0, 0, 0, 3}), {"2:7", "4:0", "5:0", "17:0", "11:3"}},
        {wire::sendMessageCommand("Chào") + wire::sendPictureCommand(std::string("\0\1\2", 3)) +
             wire::requesterNameCommand(-2, "Lan") + wire::toneCommand(200) +
             wire::switchAudioTrackCommand() + wire::intCommand(wire::kRemove, -1) +
             wire::sendMessageCommand(""),
         {"18:0:Chào", std::string("22:0:\0\1\2", 8), "36:-2:Lan", "21:200", "8:0", "13:-1", "18:0"}},
        // Over the caps, alone and two in a row; at the caps; the longest length.
        {bytes({16}) + wire::sendMessageCommand(q.substr(0, 9)) + bytes({17}), {"16:0", "17:0"}},
        {wire::requesterNameCommand(3, q.substr(0, 9)) + bytes({4}), {"4:0"}},
        {wire::sendPictureCommand(q) + bytes({5}), {"5:0"}},
        {wire::sendPictureCommand(q) + wire::sendMessageCommand(q) + bytes({7}), {"7:0"}},
        {wire::sendMessageCommand(q.substr(0, 8)) + wire::sendPictureCommand(q.substr(0, 16)),
         {"18:0:" + q.substr(0, 8), "22:0:" + q.substr(0, 16)}},
        {bytes({18, 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}) + std::string(1000, '\x51'), {}},
        // Negative lengths.
        {bytes({16, 18, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 4}), {"16:0", "broken"}},
        {bytes({22, 0xFF, 0xFF, 0xFF, 0xFB}) + q, {"broken"}},
        {bytes({36, 0, 0, 0, 1, 0x80, 0, 0, 0}), {"broken"}}};
    for (const auto& [input, expected] : cases)
        for (const std::size_t piece :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, input.size()}) {
            CommandStream stream(limits);
            Strings got;
            for (std::size_t at = 0; at < input.size(); at += piece)
                for (std::string& line : describe(stream.feed(std::string_view(input).substr(at, piece))))
                    got.push_back(std::move(line));
            if (stream.broken()) got.push_back("broken");
            EXPECT_EQ(got, expected) << ::testing::PrintToString(input) << " in pieces of " << piece;
        }
}

}  // namespace
}  // namespace vocalis
