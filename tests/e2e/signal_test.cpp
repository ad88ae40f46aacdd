// The signals that ask a program to stop (Ctrl+C, kill, the terminal closed)
// end a show as closing its window does: the frame in hand is finished, the
// song stops and the audio device is closed, and the status is 0. So too
// while the intro is watched, or played from a later moment.

#include "run_fixture.h"

#include <csignal>

namespace {

struct SignalCase {
    const char* name;
    int signal;
    std::vector<std::string> arguments;
};

void PrintTo(const SignalCase& run, std::ostream* out) { *out << run.name; }

class StopSignal : public ProgramRun, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(StopSignal, EndsTheShowAsClosingTheWindowDoes)
{
    const SignalCase& run = GetParam();
    writeShow(work.root());
    start(recording(), run.arguments);
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    // The song has played a while: the device is open and busy
    Recording sound;
    std::size_t onset = 0;
    ASSERT_TRUE(waitForSound(1.0, sound, onset)) << "no song within the wait; stderr:\n" << joined(program->errorLines());
    const std::vector<std::string> linesBefore = program->ownLines();

    const double stopAt = program->secondsSinceStart();
    ASSERT_TRUE(program->sendSignal(run.signal)) << "the program ended before the signal";
    const ExitStatus status = program->waitForExit(15);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_LT(status.seconds - stopAt, 5.0) << "slow to stop: " << describe(status);
    // Nothing more to say on the way out
    expectLines(program->ownLines(), linesBefore);

    // The song stopped with the program: the wave writer was closed, its
    // header filled in, and no sound follows the end
    ASSERT_TRUE(readRecording(soundPath(), sound));
    EXPECT_TRUE(sound.headerComplete) << "the audio device was never closed";
    EXPECT_LE(sound.seconds(), status.seconds + 0.5) << "sound went on after the end";
    EXPECT_TRUE(screen.windowsNamed(windowTitle).size() == windowsBefore.size()) << "the window was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Stop, StopSignal,
    ::testing::Values(SignalCase{"Interrupt", SIGINT, {}}, SignalCase{"Terminate", SIGTERM, {}},
                      SignalCase{"HangUp", SIGHUP, {}}, SignalCase{"InterruptWhileWatching", SIGINT, {"--watch"}},
                      SignalCase{"TerminateWhileWatching", SIGTERM, {"--watch"}},
                      SignalCase{"HangUpWhileWatching", SIGHUP, {"--watch"}},
                      SignalCase{"TerminateFromALaterMoment", SIGTERM, {"--from", "20"}},
                      SignalCase{"HangUpWatchingFromALaterMoment", SIGHUP, {"--watch", "--from", "20"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// A key press that begins and ends within one frame still quits: the
// program is stopped meanwhile, as a reload under --watch holds a frame
using EscapeInALongFrame = ProgramRun;

TEST_F(EscapeInALongFrame, StillQuits)
{
    writeShow(work.root());
    start(recording(), {"--watch"});
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    sf::Color seen;
    ASSERT_TRUE(waitForPixel(window, {960, 540}, [](sf::Color c) { return c.r >= 3; }, 20, seen))
        << "the title never began to show";
    ASSERT_TRUE(program->sendSignal(SIGSTOP));
    EXPECT_TRUE(pressKey("Escape")) << "xdotool could not press Escape";
    ASSERT_TRUE(program->sendSignal(SIGCONT));
    const ExitStatus status = program->waitForExit(10);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
}

} // namespace
