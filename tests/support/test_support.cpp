#include "support/test_support.h"

#include "app/app.h"
#include "app/config.h"
#include "scenes/screen_fade.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "scenes/intro_slideshow.h"
#include "scenes/show.h"

#include <SFML/Audio/OutputSoundFile.hpp>
#include <SFML/Graphics/Image.hpp>
#include <SFML/System/Err.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace fs = std::filesystem;

// Where the sanitizers write their reports; absent from a build without them
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

namespace {

// Everything written to each stream so far reaches the descriptor
void flushErrorStreams()
{
    std::cerr.flush();
    sf::err().flush();
    std::fflush(stderr);
}

void sendSanitizerReportsTo(int descriptor)
{
    if (__sanitizer_set_report_fd)
        __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(descriptor)));
}

} // namespace

CaptureErrors::CaptureErrors() : file(std::tmpfile()), realStandardError(-1)
{
    if (!file)
        throw std::runtime_error("cannot make a file to capture the standard error in");
    flushErrorStreams();
    realStandardError = ::dup(STDERR_FILENO);
    if (realStandardError < 0 || ::dup2(::fileno(file), STDERR_FILENO) < 0)
        throw std::runtime_error("cannot capture the standard error");
    // A crash report during the capture must not vanish with the file
    sendSanitizerReportsTo(realStandardError);
}

CaptureErrors::~CaptureErrors()
{
    flushErrorStreams();
    ::dup2(realStandardError, STDERR_FILENO);
    sendSanitizerReportsTo(STDERR_FILENO);
    ::close(realStandardError);
    std::fclose(file);
}

std::vector<std::string> CaptureErrors::lines() const
{
    std::vector<std::string> result;
    std::istringstream in(text());
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::string CaptureErrors::text() const
{
    flushErrorStreams();
    // Read with pread: the descriptor's offset is where the next line goes
    std::string captured;
    char buffer[4096];
    for (off_t offset = 0;;) {
        const ssize_t count = ::pread(::fileno(file), buffer, sizeof buffer, offset);
        if (count <= 0)
            break;
        captured.append(buffer, static_cast<std::size_t>(count));
        offset += count;
    }
    return captured;
}

TempDir::TempDir()
{
    // A folder of our own: create_directory is false when the name is taken
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("orvalen-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            dir = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code error;
    fs::remove_all(dir, error);
}

std::string TempDir::path(const std::string& name) const { return (fs::path(dir) / name).string(); }

std::string TempDir::write(const std::string& name, const std::string& text) const
{
    const fs::path file = fs::path(dir) / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
}

ScopedWorkingDir::ScopedWorkingDir(const std::string& path) : previous(fs::current_path().string())
{
    fs::current_path(path);
}

ScopedWorkingDir::~ScopedWorkingDir() { fs::current_path(previous); }

bool writeImage(const std::string& path, unsigned width, unsigned height, sf::Color colour)
{
    fs::create_directories(fs::path(path).parent_path());
    sf::Image image;
    image.create(width, height, colour);
    return image.saveToFile(path);
}

bool writeTone(const std::string& path, float seconds, float frequency, unsigned sampleRate)
{
    fs::create_directories(fs::path(path).parent_path());
    sf::OutputSoundFile file;
    if (!file.openFromFile(path, sampleRate, 1))
        return false;
    // M_PI is POSIX's, not the language's
    const double pi = 3.14159265358979323846;
    std::vector<sf::Int16> samples(static_cast<std::size_t>(seconds * sampleRate));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<sf::Int16>(12000 * std::sin(2 * pi * frequency * i / sampleRate));
    file.write(samples.data(), samples.size());
    return true;
}

void resetProgramState()
{
    resetProgram();
}

#include <gtest/gtest.h>

void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected)
{
    auto joined = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines)
            text += "  " + line + "\n";
        return text;
    };
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < expected.size(); ++i) {
        const std::string& want = expected[i];
        if (!want.empty() && want.back() == '*')
            same = actual[i].compare(0, want.size() - 1, want, 0, want.size() - 1) == 0;
        else
            same = actual[i] == want;
    }
    EXPECT_TRUE(same) << "lines written:\n" << joined(actual) << "lines expected:\n" << joined(expected);
}

#include <SFML/Window/Context.hpp>

namespace {

// NOTE: the media library closes its X connection whenever its last GL
// resource goes and opens a new one for the next; a virtual display under
// load may refuse a connection made right after another closed. One context
// kept for the whole test program keeps that connection open.
class KeepDisplayOpen : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (std::getenv("DISPLAY"))
            context = std::make_unique<sf::Context>();
    }
    void TearDown() override { context.reset(); }

private:
    std::unique_ptr<sf::Context> context;
};

const auto* keepDisplayOpen = ::testing::AddGlobalTestEnvironment(new KeepDisplayOpen);

} // namespace
