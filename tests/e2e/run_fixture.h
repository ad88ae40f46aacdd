#pragma once
// The common frame of an end-to-end test: a working folder for the program,
// a folder for its recorded sound, the display, and the running program.

#include "program.h"
#include "recording.h"
#include "show_fixture.h"
#include "x_screen.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

const char* const windowTitle = "Orvalen 2017 - 2024";

// Lines for a failure message, indented
inline std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

class ProgramRun : public ::testing::Test {
protected:
    TempDir work;       // the program's working folder
    TempDir soundDir;   // its recorded sound, kept out of its working folder
    XScreen screen;
    std::unique_ptr<Program> program;
    std::vector<XWindow> windowsBefore;

    std::string soundPath() const { return soundDir.path("sound.wav"); }
    Environment recording() const { return recordSoundTo(soundDir.root(), soundPath()); }

    void start(const Environment& env, const std::vector<std::string>& arguments = {})
    {
        ASSERT_TRUE(screen.ok()) << "no X display: run the tests under xvfb-run";
        windowsBefore = screen.windowsNamed(windowTitle);
        program = std::make_unique<Program>(work.root(), env, arguments);
        ASSERT_TRUE(program->started()) << "cannot start " << ORVALEN_INTRO_PATH;
    }

    // The program's window, once it is mapped; 0 (and a failure) if none comes
    XWindow waitForWindow(double timeoutSeconds = 20)
    {
        const XWindow window = screen.waitForNewWindow(windowTitle, windowsBefore, timeoutSeconds);
        EXPECT_NE(window, 0u) << "no window titled \"" << windowTitle << "\" within " << timeoutSeconds
                              << " s; the program is " << (program->running() ? "still running" : "gone")
                              << "; its stderr:\n" << joined(program->errorLines());
        return window;
    }

    // Presses Escape and waits for the program to end
    ExitStatus quitWithEscape(double timeoutSeconds = 15)
    {
        EXPECT_TRUE(pressKey("Escape")) << "xdotool could not press Escape";
        return program->waitForExit(timeoutSeconds);
    }

    // Reads the recording until it holds `seconds` of sound from its onset
    // (the first sample that reaches `threshold`); false at the deadline or
    // when the program ends first
    bool waitForSound(double seconds, Recording& sound, std::size_t& onset, double timeoutSeconds = 40,
                      int threshold = 1000)
    {
        const double deadline = secondsNow() + timeoutSeconds;
        while (program->running() && secondsNow() < deadline) {
            sleepSeconds(0.2);
            if (readRecording(soundPath(), sound)) {
                onset = onsetFrame(sound, 0, threshold);
                if (onset < sound.frames() && sound.frames() - onset >= seconds * sound.rate)
                    return true;
            }
        }
        return false;
    }

    // Polls one pixel of the window until it passes `test`; false at the
    // deadline or when the window is gone, with the last colour seen in `seen`
    bool waitForPixel(XWindow window, sf::Vector2i point, const std::function<bool(sf::Color)>& test,
                      double timeoutSeconds, sf::Color& seen)
    {
        const double deadline = secondsNow() + timeoutSeconds;
        sf::Image pixel;
        while (secondsNow() < deadline) {
            if (!screen.grab(window, sf::IntRect(point.x, point.y, 1, 1), pixel))
                return false;
            seen = pixel.getPixel(0, 0);
            if (test(seen))
                return true;
            sleepSeconds(0.02);
        }
        return false;
    }
};
