#pragma once

// The keys of the stored settings, defined once for every reader and writer.
namespace vocalis {

inline constexpr const char* KEY_EQ = "KEY_EQ";
inline constexpr const char* KEY_DEVICE_NAME = "KEY_DEVICE_NAME";
inline constexpr const char* KEY_SCORING = "KEY_SCORING";
inline constexpr const char* KEY_RANDOM = "KEY_RANDOM";
inline constexpr const char* KEY_RANDOM_TYPE = "KEY_RANDOM_TYPE";
inline constexpr const char* KEY_RANDOM_KEYWORD = "KEY_RANDOM_KEYWORD";
// New named songs take turns by name: nobody sings twice before everyone named has sung once.
inline constexpr const char* KEY_FAIR_TURNS = "KEY_FAIR_TURNS";
// The browser remote's operator PIN; none or empty: no PIN.
inline constexpr const char* KEY_WEB_PIN = "KEY_WEB_PIN";
// The sound source the singers sing into, by its PulseAudio name; none or empty: the default
// source; "none": no microphone, every score drawn at random.
inline constexpr const char* KEY_MICROPHONE = "KEY_MICROPHONE";
// The pitch band over a measured song: the melody ahead and the singer's pitch; off unless set.
inline constexpr const char* KEY_PITCH_BAND = "KEY_PITCH_BAND";
// How much later than the song's sound the singing reaches the microphone, in milliseconds.
inline constexpr const char* KEY_MICROPHONE_DELAY = "KEY_MICROPHONE_DELAY";

// The equalizer a first start plays with (the Karaoke preset).
inline constexpr const char* kDefaultEqualizer = "11.0 4.0 4.0 3.0 2.0 0.0 0.0 2.0 3.0 4.0 4.0";

}  // namespace vocalis
