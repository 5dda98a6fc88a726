#pragma once

// The phone protocol's byte layout: codes, integers and every message in both directions.
// Pure code: no sockets, no threads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vocalis::wire {

// Commands from a phone.
enum Command : std::uint8_t {
    kFiller = 0,
    kCatalogueRequest = 1,
    kAddSong = 2,
    kAddSongFirst = 3,
    kPlay = 4,
    kPause = 5,
    kNext = 7,
    kSwitchAudioTrack = 8,
    kMoveUp = 11,
    kMoveFirst = 12,
    kRemove = 13,
    kVolumeUp = 16,
    kVolumeDown = 17,
    kSendMessage = 18,
    kReplay = 20,
    kTone = 21,
    kSendPicture = 22,
    kNumberQuery23 = 23,
    kNumberQuery27 = 27,
    kRequesterName = 36,
    kFiller39 = 39,
    kChecksumRequest = 41,
    kRecord = 48,
    kPlayStateRequest = 80,
    kCurrentSongRequest = 81,
};

// Messages from the player.
enum Message : std::uint8_t {
    kCatalogueMessage = 1,
    kAudioTrackMessage = 8,
    kQueueMessage = 14,
    kNumber23Message = 23,
    kNumber27Message = 27,
    kPlayStateMessage = 31,
    kCurrentSongMessage = 38,
    kChecksumMessage = 41,
};

// The number in message 23, which the discovery reply ends with as well.
inline constexpr std::int32_t kNumber23 = 700;
inline constexpr std::int32_t kNumber27 = 10;

inline constexpr std::uint16_t kDefaultPort = 6789;

// Integers travel as four bytes, big-endian two's complement.
void intTo4Bytes(std::int32_t value, std::uint8_t* bytes);
std::int32_t dataToInt(const std::uint8_t* bytes, std::size_t location);
void appendInt(std::string& out, std::int32_t value);

// --- phone to player -------------------------------------------------------

// Full size of a command whose code and (for 18, 22, 36) length fields are known;
// 0 when the code is not a command.
std::size_t fixedCommandSize(std::uint8_t code);
bool isCommand(std::uint8_t code);

std::string action(std::uint8_t code);                          // 1 byte
std::string intCommand(std::uint8_t code, std::int32_t value);  // 5 bytes
std::string switchAudioTrackCommand();                          // 8 and its ignored byte
std::string toneCommand(std::uint8_t value);
std::string sendMessageCommand(std::string_view text);
std::string sendPictureCommand(std::string_view image);
std::string requesterNameCommand(std::int32_t songId, std::string_view name);

// --- player to phone -------------------------------------------------------

// Message 1 without the catalogue bytes: what goes in front of them and what follows
// them, so that a reply can send the shared catalogue text without copying it.
std::string catalogueHeader(std::int32_t textLength, std::int32_t songCount);
std::string catalogueTrailer(std::uint8_t audioTrack);
std::string catalogueMessage(std::string_view text, std::int32_t songCount, std::uint8_t audioTrack);

std::string queueMessage(std::string_view queueText);
std::string currentSongMessage(std::int32_t songId);
std::string playStateMessage(bool isPlaying);
std::string audioTrackMessage(std::uint8_t audioTrack);
std::string checksumMessage(std::string_view md5);
std::string numberMessage(std::uint8_t code);  // 23 or 27

// Number of records in a catalogue text (one per line).
std::int32_t countRecords(std::string_view catalogueText);

}  // namespace vocalis::wire
