// The library's one handle over the program's process-wide records: making
// an Intro loads them, dropping it puts them back as they were at start.

#include <orvalen/intro.h>

#include "app/app.h"
#include "app/canvas.h"
#include "assets/music_manager.h"
#include "assets/texture_manager.h"
#include "base/files.h"
#include "base/problems.h"
#include "scenes/show.h"
#include "scenes/show_file.h"

#include <SFML/Window/Joystick.hpp>

#include <filesystem>

namespace orvalen {

namespace {

bool introLoaded = false; // an Intro holds the process-wide records

// The skip buttons of the two families of pads the window library reports
constexpr unsigned int sonyVendor = 0x054C;
#if defined(__linux__)
constexpr unsigned int dualShockCircle = 1;
#else
constexpr unsigned int dualShockCircle = 2;
#endif
constexpr unsigned int dualShockOptions = 9;
constexpr unsigned int xinputB = 1;
constexpr unsigned int xinputStart = 7;

bool isSkipButton(unsigned int joystick, unsigned int button)
{
    if (sf::Joystick::getIdentification(joystick).vendorId == sonyVendor)
        return button == dualShockCircle || button == dualShockOptions;
    return button == xinputB || button == xinputStart;
}

Problem forGame(const ::Problem& problem)
{
    Problem given;
    given.severity = problem.severity == ::Severity::Note ? Problem::Severity::Note : Problem::Severity::Problem;
    given.file = problem.file;
    given.key = problem.key;
    given.message = problem.message;
    return given;
}

} // namespace

struct Intro::State {
    std::unique_ptr<Problems::Reporting> reporting; // the game's handler, while the intro is loaded; null for standard error
    std::string folderBefore; // the intro folder the process had before, put back at the drop
    SkipInputs skipInputs;
    bool played = false;   // play() has been called
    bool finished = false; // the frame that ended the show has been updated
};

Intro::Intro(const std::string& folder, ProblemHandler onProblem)
{
    if (introLoaded)
        throw Error("orvalen::Intro: an intro is loaded already; drop it before loading another");
    // An empty name is the working folder, as it is for the program
    std::error_code error;
    if (!std::filesystem::is_directory(folder.empty() ? "." : folder, error))
        throw Error("orvalen::Intro: no intro folder at \"" + folder + "\"");

    state = std::make_unique<State>();
    if (onProblem)
        state->reporting = std::make_unique<Problems::Reporting>(
            [handler = std::move(onProblem)](const ::Problem& problem) { handler(forGame(problem)); });
    introLoaded = true;
    state->folderBefore = introFolder;
    try {
        introFolder = folder;
        if (!haveIntro())
            throw Error("orvalen::Intro: nothing of an intro in \"" + introFolderName() + "\"");
        // The program reads the show file before its window opens, to check
        // the times it was given against the show
        if (!showFileRead)
            loadShowFile();
        // A show file's pictures are decoded ahead of their turn and let go
        // after it, so that a show of hundreds costs what a few do
        TextureManager::onDemand = Show::current.fromFile;
        loadShow();
    } catch (...) {
        drop();
        throw;
    }
}

Intro::~Intro()
{
    drop();
}

Intro::Intro(Intro&& other) noexcept
    : state(std::move(other.state))
{
}

Intro& Intro::operator=(Intro&& other) noexcept
{
    if (this != &other) {
        drop();
        state = std::move(other.state);
    }
    return *this;
}

Intro::State& Intro::use(const char* call) const
{
    if (!state)
        throw Error(std::string("orvalen::Intro::") + call + ": the intro was dropped");
    return *state;
}

void Intro::play(double fromSeconds)
{
    State& intro = use("play");
    if (playing())
        throw Error("orvalen::Intro::play: the intro is playing already; skip it or wait until it has finished");
    if (MusicManager::player)
        MusicManager::player->stop();
    intro.played = true;
    intro.finished = false;
    startShowAt(fromSeconds);
}

void Intro::handleEvent(const sf::Event& event)
{
    const State& intro = use("handleEvent");
    if (!playing())
        return;
    const SkipInputs& inputs = intro.skipInputs;
    const bool skips =
        (event.type == sf::Event::KeyPressed && (inputs.anyKey || (inputs.escape && event.key.code == sf::Keyboard::Escape))) ||
        (event.type == sf::Event::MouseButtonPressed && inputs.mouseClick) ||
        (event.type == sf::Event::JoystickButtonPressed && inputs.gamepad &&
         isSkipButton(event.joystickButton.joystickId, event.joystickButton.button));
    if (skips)
        askToQuit();
}

void Intro::update(float dt)
{
    State& intro = use("update");
    if (!playing())
        return;
    advanceFrame(dt);
    if (!running) {
        intro.finished = true;
        // The song ends with the show, not when the intro is dropped
        if (MusicManager::player)
            MusicManager::player->stop();
    }
}

void Intro::draw(sf::RenderTarget& target)
{
    use("draw");
    const sf::View gamesView = target.getView();
    sf::RenderTarget& canvas = Canvas::begin(target);
    drawFrame(canvas);
    Canvas::present(target, canvas);
    target.setView(gamesView);
}

void Intro::skip()
{
    use("skip");
    if (playing())
        askToQuit();
}

bool Intro::playing() const
{
    const State& intro = use("playing");
    return intro.played && !intro.finished;
}

bool Intro::finished() const
{
    return use("finished").finished;
}

void Intro::drop()
{
    if (!state)
        return;
    // The game's reporter goes back first: putting the records back says nothing
    state->reporting.reset();
    const std::string folderBefore = std::move(state->folderBefore);
    state.reset();
    resetProgram();
    introFolder = folderBefore;
    introLoaded = false;
}

bool Intro::dropped() const
{
    return !state;
}

void Intro::setSkipInputs(const SkipInputs& inputs)
{
    use("setSkipInputs").skipInputs = inputs;
}

SkipInputs Intro::skipInputs() const
{
    return use("skipInputs").skipInputs;
}

} // namespace orvalen
