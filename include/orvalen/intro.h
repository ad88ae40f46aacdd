#pragma once
// Orvalen Intro as a library: a game plays an intro, made of a folder of
// pictures, a song and their JSON catalogues, in its own window, then goes
// on to its menu.
//
//     orvalen::Intro intro("intro");          // loads; problems go to standard error
//     intro.play();
//     while (!intro.finished()) {
//         for (sf::Event event; window.pollEvent(event);)
//             intro.handleEvent(event);        // Escape or a gamepad's Start or B skips
//         intro.update(clock.restart().asSeconds());
//         intro.draw(window);                  // letterboxed into the window at its size
//         window.display();
//     }
//     intro.drop();                            // or let it go out of scope
//
// Ownership: the Intro owns every texture, the song and the audio device it
// opened; drop() or its destructor releases them all at once. The game's
// window, its GL context and its own sounds are never touched: the audio
// library closes its device only when nothing else of the game plays.
// NOTE: glibc keeps freed blocks the size of a picture for reuse rather than
// handing them back; a game that wants its resident memory to fall after a
// drop fixes the threshold first thing: mallopt(M_MMAP_THRESHOLD, 1 << 20).
// Loading is faster where glibc puts those blocks in 2 MB pages: start the
// game with GLIBC_TUNABLES=glibc.malloc.hugetlb=1 (glibc 2.35 and later,
// with the kernel's large pages on request), as the program itself does.
//
// One intro at a time: the library keeps the intro's state for the whole
// process, so a second Intro cannot be made while one is loaded. Every call
// belongs on the thread that draws (the game's main thread).
//
// Threads: loading decodes the pictures on worker threads, all joined before
// the constructor returns. While the song plays, the audio library streams it
// on a thread of its own, which ends when the intro finishes or is dropped.

#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Window/Event.hpp>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#if defined(_WIN32)
#  if defined(ORVALEN_BUILDING_LIBRARY)
#    define ORVALEN_API __declspec(dllexport)
#  elif defined(ORVALEN_SHARED_LIBRARY)
#    define ORVALEN_API __declspec(dllimport)
#  else
#    define ORVALEN_API
#  endif
#else
#  define ORVALEN_API __attribute__((visibility("default")))
#endif

namespace orvalen {

// A misuse of the library, or an intro that cannot be loaded at all
class ORVALEN_API Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Something wrong with the intro's files, as `orvalen-intro --check` reports it
struct Problem {
    enum class Severity {
        Problem, // the intro asks for something that cannot be done; the rest still plays
        Note,    // works, but may not be what the author meant
    };
    Severity severity = Severity::Problem;
    std::string file;    // the intro's file it is in ("assets/sprites.json"); empty when none
    std::string key;     // the catalogue entry it is about; empty when none
    std::string message; // the line the program writes for it
};

// What skips the intro. A skip ends it as the program's Escape does: the
// frame in hand is still updated and drawn, and then finished() is true.
//
// Gamepad buttons, as the window library numbers them:
// - XInput-style pads (Xbox and most others): B is 1, Start is 7;
// - DualShock-style pads (Sony's vendor id, 0x054C): Circle is 1 on Linux
//   and 2 elsewhere, Options (their Start) is 9.
struct SkipInputs {
    bool escape = true;      // the Escape key
    bool gamepad = true;     // a gamepad's Start or B button
    bool anyKey = false;     // any key at all
    bool mouseClick = false; // any mouse button
};

class ORVALEN_API Intro {
public:
    using ProblemHandler = std::function<void(const Problem&)>;

    // Loads the intro in `folder` (relative to the working folder, or
    // absolute; empty for the working folder itself): its pictures, sprites, song and show file. Each
    // problem found goes to `onProblem`, now and while it plays; without
    // one, its line goes to standard error as the program writes it.
    // Throws Error when the folder does not exist, holds nothing of an
    // intro, or another intro is loaded.
    explicit Intro(const std::string& folder, ProblemHandler onProblem = {});
    ~Intro(); // Drops the intro, if not dropped already
    Intro(Intro&& other) noexcept;            // The other one is left dropped
    Intro& operator=(Intro&& other) noexcept; // Drops this one first
    Intro(const Intro&) = delete;
    Intro& operator=(const Intro&) = delete;

    void play(double fromSeconds = 0);   // Starts from the start (or that far in) with the song; throws Error while it plays already
    void handleEvent(const sf::Event& event); // Skips on the inputs that skipInputs allow; ignores every other event
    void update(float dt);               // Moves the show on by dt seconds; the song starts with the first update
    void draw(sf::RenderTarget& target); // Draws the frame, scaled to fit the target whole and centred, bars black; the target's view is kept
    void skip();                         // Ends the intro after the frame in hand
    bool playing() const;                // Between play() and the end
    bool finished() const;               // The last entry has had its time, or a skip ended it; false before play()
    void drop();                         // Releases every texture, the song and the audio device; any later call but dropped() throws Error
    bool dropped() const;                // After drop(), or for an Intro moved from

    void setSkipInputs(const SkipInputs& inputs); // Which inputs skip; all but any key and a click, unless set
    SkipInputs skipInputs() const;

private:
    struct State;
    std::unique_ptr<State> state;
    State& use(const char* call) const; // The state, or Error when dropped
};

} // namespace orvalen
