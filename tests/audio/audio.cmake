# Sound analysis: the comparison of the singing with a melody.
vocalis_test(audio_tests LIBS vocalis_audio SOURCES audio/singing_score_test.cpp)
