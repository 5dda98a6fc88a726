#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vocalis {

// Everything a front-end (keys, phones, operator windows, the browser page, media keys)
// can ask of the engine. The engine checks each command's conditions (locks, intro,
// catalogue loaded) in one place, so front-ends only say what they were asked.
enum class CommandKind : std::uint8_t {
    PlayPause,  // the play/pause key and button: toggles
    Play,
    Pause,
    Next,
    Replay,
    SwitchTrack,
    VolumeUp,
    VolumeDown,
    AddSong,           // value: song id; text: who asked for it, may be empty; key: its key
    AddSongFirst,      // value: song id; text: who asked for it, may be empty; key: its key
    RequesterName,     // value: song id; text: who asked for it
    RemoveWaiting,     // value: queue position (0 is the song after the current one)
    MoveWaitingUp,     // value: queue position
    MoveWaitingFirst,  // value: queue position
    Message,           // text
    Picture,           // picture
    Record,
    SetKey,      // value: song id (waiting or playing now); key: semitones
    KeyDown,     // the song playing now, a semitone lower
    KeyUp,       // the song playing now, a semitone higher
    FairTurns,   // value: 1 on, 0 off; stored
    ClearQueue,  // every waiting song leaves; the one playing plays on
};

// The keys a song may be sung in, in semitones from its own.
inline constexpr std::int32_t kLowestKey = -6;
inline constexpr std::int32_t kHighestKey = 6;

// Who asked: phones (and the browser page, whose guests are the same people) are held to
// the conditions of the phone protocol, which keep a guest from pausing the score screen or
// a broken song's message; the operator at the computer is not.
enum class CommandSource : std::uint8_t { Operator, Phone };

struct Command {
    // A kind alone is a whole command for most kinds.
    Command(CommandKind kind, std::int32_t value = 0) : kind(kind), value(value) {}
    static Command addSong(std::int32_t songId, bool first, std::string name, std::int32_t key = 0) {
        Command command(first ? CommandKind::AddSongFirst : CommandKind::AddSong, songId);
        command.text = std::move(name);
        command.key = key;
        return command;
    }
    static Command setKey(std::int32_t songId, std::int32_t key) {
        Command command(CommandKind::SetKey, songId);
        command.key = key;
        return command;
    }
    static Command requesterName(std::int32_t songId, std::string name) {
        Command command(CommandKind::RequesterName, songId);
        command.text = std::move(name);
        return command;
    }
    static Command message(std::string text) {
        Command command(CommandKind::Message);
        command.text = std::move(text);
        return command;
    }
    static Command showPicture(std::vector<std::uint8_t> picture) {
        Command command(CommandKind::Picture);
        command.picture = std::move(picture);
        return command;
    }

    CommandKind kind;
    std::int32_t value = 0;  // a song id or a queue position
    std::string text;        // a message, or the name of who asked for a song
    std::int32_t key = 0;    // semitones, kLowestKey ... kHighestKey
    std::vector<std::uint8_t> picture;
};

// Takes commands from any thread; they run on the engine's thread in the order given.
class CommandSink {
  public:
    virtual ~CommandSink() = default;
    virtual void issue(Command command, CommandSource source) = 0;
};

}  // namespace vocalis
