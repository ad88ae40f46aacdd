#pragma once
// Runs orvalen-intro as built, in a working folder of the test's choice, with
// a chosen environment, its standard error going to a file.

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

// Seconds on a steady clock, for measuring waits
double secondsNow();
void sleepSeconds(double seconds);

// Changes to the test's own environment: a value sets the variable, no value removes it
using Environment = std::map<std::string, std::optional<std::string>>;

// Where the program's sound goes: OpenAL Soft writes what it plays to a WAV
// file, so no run needs a sound card. Writes the settings file into `folder`.
Environment recordSoundTo(const std::string& folder, const std::string& wavPath);
Environment withoutAudioDevice();                       // No audio back-end can be opened
Environment withClockRate(Environment env, int rate);   // The program's clocks and sleeps run `rate` times faster

struct ExitStatus {
    bool timedOut = false;   // still running at the deadline, then killed
    bool exited = false;     // ended through exit() or main's return
    int code = -1;           // exit status when `exited`
    int signal = 0;          // the signal that ended it otherwise
    bool coreDumped = false;
    double seconds = 0;      // from start to end, or to the kill
};
std::string describe(const ExitStatus& status); // "exit 0 after 2.3 s", "killed by signal 11 (core dumped)", ...

class Program {
public:
    // Starts the program in `workDir` with the given arguments; stderr and
    // stdout go to files in a folder of their own
    Program(const std::string& workDir, const Environment& changes, const std::vector<std::string>& arguments = {});
    // The same for another program than orvalen-intro: a game built on the library
    Program(const std::string& executable, const std::string& workDir, const Environment& changes,
            const std::vector<std::string>& arguments);
    ~Program(); // Kills the program if it still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return pid > 0; }
    pid_t processId() const { return pid; }
    bool running();                               // False once it has ended (and it is then reaped)
    bool sendSignal(int signal);                  // As kill(1) sends it; false once the program has ended
    long residentKilobytes() const;               // Its resident memory now (VmRSS); -1 once it has ended
    ExitStatus waitForExit(double timeoutSeconds); // Kills it at the deadline
    double secondsSinceStart() const;

    std::vector<std::string> errorLines() const;  // Everything on stderr so far, a line each
    std::vector<std::string> ownLines() const;    // The same without the media library's known notice
    std::vector<std::string> outputLines() const; // Everything on stdout so far, a line each
    bool waitForOwnLines(std::size_t count, double timeoutSeconds) const; // True once `count` lines are there

private:
    pid_t pid = -1;
    double startTime = 0;
    std::optional<ExitStatus> ended;
    std::string logDir;
    std::string errorPath;
    std::string outputPath;
};
