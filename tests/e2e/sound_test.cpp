// What a listener hears: the song at its catalogue volume, looping from its
// loop point.

#include "run_fixture.h"

#include <cmath>

using SongPlayback = ProgramRun;

TEST_F(SongPlayback, PlaysAtItsVolumeAndGoesOnFromTheLoopPoint)
{
    const int volume = 50;
    ShowOptions show;
    show.volume = volume;
    writeShow(work.root(), show); // 3 s of 440 Hz, 3 s of 660 Hz, loopTo 3000
    start(recording());
    ASSERT_NE(waitForWindow(), 0u);

    // Until the recording holds more than 9 s of the song: the song once and
    // half its loop
    const int threshold = 1000;
    const double heard = 9.3;
    Recording sound;
    std::size_t onset = 0;
    EXPECT_TRUE(waitForSound(heard, sound, onset, 40, threshold))
        << "recorded " << sound.seconds() << " s, the song from frame " << onset;
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    expectLines(program->ownLines(), {});

    ASSERT_TRUE(readRecording(soundPath(), sound)) << "no readable recording at " << soundPath();
    EXPECT_TRUE(sound.headerComplete) << "the audio device was not closed at exit";
    ASSERT_EQ(sound.channels, 2u);
    ASSERT_EQ(sound.rate, songRate);
    onset = onsetFrame(sound, 0, threshold);
    ASSERT_GE(sound.frames() - onset, heard * sound.rate);

    const double gain = volume / 100.0;
    const double expectedRms = songAmplitude / std::sqrt(2.0) * gain;
    const double expectedPeak = songAmplitude * gain;
    struct Stretch {
        const char* what;
        double from, to; // seconds after the song began
        double frequency;
    };
    const Stretch stretches[] = {
        {"first part", 0.2, 2.8, 440},
        {"second part", 3.2, 5.8, 660},
        {"after the end, from the loop point at 3 s", 6.3, 8.8, 660},
    };
    for (unsigned channel = 0; channel < 2; ++channel) {
        for (const Stretch& s : stretches) {
            SCOPED_TRACE(std::string(s.what) + ", channel " + std::to_string(channel));
            EXPECT_NEAR(toneFrequency(sound, channel, onset, s.from, s.to), s.frequency, s.frequency * 0.04);
            EXPECT_NEAR(rmsLevel(sound, channel, onset, s.from, s.to), expectedRms, expectedRms * 0.08);
            EXPECT_NEAR(peakLevel(sound, channel, onset, s.from, s.to), expectedPeak, expectedPeak * 0.08);
        }
    }
}
