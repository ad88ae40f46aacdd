#include "program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Printed by the media library when the driver cannot switch vertical sync,
// as on a virtual display; not the program's own line
const char* const vsyncNotice = "Setting vertical sync not supported";

std::string makeTempFolder(const char* name)
{
    std::string pattern = (fs::temp_directory_path() / name).string() + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

std::vector<std::string> buildEnvironment(const Environment& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (changes.count(name) == 0)
            result.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (value)
            result.push_back(name + "=" + *value);
    return result;
}

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

double secondsNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

Environment recordSoundTo(const std::string& folder, const std::string& wavPath)
{
    const std::string configPath = (fs::path(folder) / "alsoft.conf").string();
    fs::create_directories(folder);
    std::ofstream(configPath) << "[general]\n"
                                 "drivers=wave\n"
                                 "channels=stereo\n"
                                 "sample-type=int16\n"
                                 "frequency=44100\n"
                                 "[wave]\n"
                                 "file=" << wavPath << "\n";
    // ALSOFT_DRIVERS would override the file's choice of driver
    return {{"ALSOFT_CONF", configPath}, {"ALSOFT_DRIVERS", std::nullopt}};
}

Environment withoutAudioDevice()
{
    return {{"ALSOFT_CONF", std::nullopt}, {"ALSOFT_DRIVERS", std::string("nonexistent")}};
}

Environment withClockRate(Environment env, int rate)
{
    env["LD_PRELOAD"] = std::string(ORVALEN_FAKETIME_LIBRARY);
    env["FAKETIME"] = "+0 x" + std::to_string(rate);
    // A sanitizer build insists on being first in the preload list
    const char* asan = std::getenv("ASAN_OPTIONS");
    env["ASAN_OPTIONS"] = std::string(asan && *asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0";
    return env;
}

std::string describe(const ExitStatus& status)
{
    std::ostringstream text;
    if (status.timedOut)
        text << "still running after " << status.seconds << " s (killed)";
    else if (status.exited)
        text << "exit " << status.code << " after " << status.seconds << " s";
    else
        text << "killed by signal " << status.signal << (status.coreDumped ? " (core dumped)" : "") << " after "
             << status.seconds << " s";
    return text.str();
}

Program::Program(const std::string& workDir, const Environment& changes, const std::vector<std::string>& arguments)
    : Program(ORVALEN_INTRO_PATH, workDir, changes, arguments)
{
}

Program::Program(const std::string& executable, const std::string& workDir, const Environment& changes,
                 const std::vector<std::string>& arguments)
{
    logDir = makeTempFolder("orvalen-e2e-log");
    errorPath = (fs::path(logDir) / "stderr.txt").string();
    outputPath = (fs::path(logDir) / "stdout.txt").string();

    // Everything the child needs is made before fork: after it, only
    // async-signal-safe calls
    const std::string program = executable;
    std::vector<std::string> environment = buildEnvironment(changes);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = arguments;
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    startTime = secondsNow();
    pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(workDir.c_str()) != 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

Program::~Program()
{
    if (pid > 0 && !ended) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    std::error_code error;
    fs::remove_all(logDir, error);
}

bool Program::running()
{
    if (pid <= 0 || ended)
        return false;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid)
        return true;
    ExitStatus result;
    result.seconds = secondsSinceStart();
    result.exited = WIFEXITED(status);
    result.code = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.coreDumped = WIFSIGNALED(status) && WCOREDUMP(status);
    ended = result;
    return false;
}

bool Program::sendSignal(int signal)
{
    return running() && kill(pid, signal) == 0;
}

long Program::residentKilobytes() const
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

ExitStatus Program::waitForExit(double timeoutSeconds)
{
    const double deadline = secondsNow() + timeoutSeconds;
    while (running()) {
        if (secondsNow() > deadline) {
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            ExitStatus result;
            result.timedOut = true;
            result.seconds = secondsSinceStart();
            ended = result;
            break;
        }
        sleepSeconds(0.01);
    }
    return ended ? *ended : ExitStatus{};
}

double Program::secondsSinceStart() const { return secondsNow() - startTime; }

std::vector<std::string> Program::errorLines() const { return readLines(errorPath); }

std::vector<std::string> Program::outputLines() const { return readLines(outputPath); }

std::vector<std::string> Program::ownLines() const
{
    std::vector<std::string> lines;
    for (const std::string& line : errorLines())
        if (line != vsyncNotice)
            lines.push_back(line);
    return lines;
}

bool Program::waitForOwnLines(std::size_t count, double timeoutSeconds) const
{
    const double deadline = secondsNow() + timeoutSeconds;
    while (ownLines().size() < count) {
        if (secondsNow() > deadline)
            return false;
        sleepSeconds(0.05);
    }
    return true;
}
