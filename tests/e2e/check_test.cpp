// orvalen-intro --check on good and broken intros: the start's lines, then
// the check's own findings and its summary, and the exit status. Every check
// runs with no display and no audio device.

#include "run_fixture.h"

#include <SFML/Graphics/Image.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

json readJson(const fs::path& path)
{
    json document;
    std::ifstream(path) >> document;
    return document;
}

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Changes one catalogue of the intro in `folder`
void edit(const std::string& folder, const char* catalogue, const std::function<void(json&)>& change)
{
    const fs::path path = fs::path(folder) / "assets" / catalogue;
    json document = readJson(path);
    change(document);
    writeText(path, document.dump(2));
}

// No display and no audio device: the check needs neither
Environment headless()
{
    Environment env = withoutAudioDevice();
    env["DISPLAY"] = std::nullopt;
    return env;
}

std::string showNeeds(const std::string& key, const std::string& use)
{
    return "Check: Problem: The show needs sprite " + key + " " + use + ", and assets/sprites.json gives none.";
}

std::string showNeedsLoaded(const std::string& key, const std::string& use)
{
    return "Check: Problem: The show needs sprite " + key + " " + use +
           "; its entry in assets/sprites.json was not loaded (see above).";
}

// The audio library's own line when it refuses a loop point
const char* const loopRefused = "LoopPoints offset val must be in range [0, Duration).";

struct CheckCase {
    const char* name;
    std::function<void(const std::string& folder)> spoil; // changes the complete intro of show_fixture
    std::function<std::vector<std::string>(const std::string& folder)> expected; // every line; '*' ends a prefix
    int status;
    // A start writes exactly the lines before the "Check: " ones; false where
    // the check reads more than a start (a song the show never plays) or the
    // graphics card decides (a picture larger than the check assumes)
    bool sameAsStart = true;
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

const CheckCase checkCases[] = {
    {"GoodIntro", [](const std::string&) {}, [](const std::string&) {
         return std::vector<std::string>{"Check: 0 problems, 0 notes."};
     }, 0},
    {"MissingKeys",
     [](const std::string& folder) {
         edit(folder, "sprites.json", [](json& d) {
             d["sprites"].erase("ov5");
             d["sprites"].erase("black");
         });
         writeText(fs::path(folder) / "assets/music.json", R"({"music": {}})");
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "SpriteManager: Sprite with key black does not exist.",
             "MusicManager: Song with key song does not exist.",
             "SpriteManager: Sprite with key ov5 does not exist.",
             showNeeds("ov5", "for entry 7 (0:42 to 0:49)"),
             showNeeds("black", "as the fade overlay over every frame"),
             "Check: Problem: The show needs song song to play from the start, and assets/music.json gives none.",
             // Their textures are left over
             "Check: Note: Texture magenta is used by no sprite.",
             "Check: Note: Texture shade is used by no sprite.",
             "Check: 3 problems, 2 notes."};
     },
     1},
    {"SpriteNotLoaded",
     [](const std::string& folder) { edit(folder, "sprites.json", [](json& d) { d["sprites"]["ov2"]["rectX"] = "left"; }); },
     [](const std::string&) {
         return std::vector<std::string>{"SpriteManager: Invalid rectX property for [ov2]: must be a number, not string.",
                                         "SpriteManager: Sprite with key ov2 does not exist.",
                                         showNeedsLoaded("ov2", "for entry 4 (0:21 to 0:28)"),
                                         "Check: 1 problem, 0 notes."};
     },
     1},
    {"RepeatedKeysMissing",
     [](const std::string& folder) {
         edit(folder, "sprites.json", [](json& d) {
             d["sprites"].erase("title");
             d["sprites"].erase("end");
         });
     },
     [](const std::string&) {
         return missingSlideLines({"ov1", "ov2", "ov3", "ov4", "ov5", "ov6", "ov7", "ov8", "ov9", "ov10", "ov11", "ov12",
                                   "ov13"}) +
                std::vector<std::string>{showNeeds("title", "for entries 1 and 2 (0:00 to 0:14)"),
                                         showNeeds("end", "for entries 16 to 20 (1:45 to 2:20)"),
                                         "Check: Note: Texture lavender is used by no sprite.",
                                         "Check: Note: Texture red is used by no sprite.",
                                         "Check: 2 problems, 2 notes."};
     },
     1},
    {"RectangleOutsideItsTexture",
     [](const std::string& folder) {
         edit(folder, "textures.json", [](json& d) {
             for (const char* texture : {"green", "blue", "yellow", "cyan"})
                 d["textures"][texture]["repeated"] = false;
         });
         edit(folder, "sprites.json", [](json& d) {
             // ov1 keeps its 1800 by 1014 rectangle on green's 4 by 4
             d["sprites"]["ov2"].update({{"rectX", 1}, {"rectY", 0}, {"rectW", 3}, {"rectH", 4}}); // fits exactly
             d["sprites"]["ov3"].update({{"rectX", -1}, {"rectY", 0}, {"rectW", 4}, {"rectH", 4}}); // one column left of it
             d["sprites"]["ov4"].update({{"rectX", 4}, {"rectY", 4}, {"rectW", -4}, {"rectH", -4}}); // flipped, inside
             d["sprites"]["ov6"].update({{"rectX", 3}, {"rectY", 3}, {"rectW", 2}, {"rectH", 1}});  // repeated: allowed
         });
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "Check: Problem: Sprite ov1's rectangle (x 0, y 0, 1800 by 1014) reaches outside its texture green (4 by 4 "
             "pixels), which is not repeated.",
             "Check: Problem: Sprite ov3's rectangle (x -1, y 0, 4 by 4) reaches outside its texture yellow (4 by 4 "
             "pixels), which is not repeated.",
             "Check: 2 problems, 0 notes."};
     },
     1},
    // The song lasts 6000 ms exactly
    {"LoopPointAtTheEnd",
     [](const std::string& folder) { edit(folder, "music.json", [](json& d) { d["music"]["song"]["loopTo"] = 6000; }); },
     [](const std::string&) {
         return std::vector<std::string>{loopRefused,
                                         "Check: Problem: Song song loops back to 6000 ms, at or past its end at 6000 "
                                         "ms, so it loops from its beginning instead (see above).",
                                         "Check: 1 problem, 0 notes."};
     },
     1},
    {"LoopPointPastTheEnd",
     [](const std::string& folder) { edit(folder, "music.json", [](json& d) { d["music"]["song"]["loopTo"] = 90000.5; }); },
     [](const std::string&) {
         return std::vector<std::string>{loopRefused,
                                         "Check: Problem: Song song loops back to 90000 ms, at or past its end at 6000 "
                                         "ms, so it loops from its beginning instead (see above).",
                                         "Check: 1 problem, 0 notes."};
     },
     1},
    {"LoopPointJustBeforeTheEnd",
     [](const std::string& folder) { edit(folder, "music.json", [](json& d) { d["music"]["song"]["loopTo"] = 5999.9; }); },
     [](const std::string&) { return std::vector<std::string>{"Check: 0 problems, 0 notes."}; }, 0},
    {"LoopPointBeforeTheBeginning",
     [](const std::string& folder) { edit(folder, "music.json", [](json& d) { d["music"]["song"]["loopTo"] = -1; }); },
     [](const std::string&) {
         return std::vector<std::string>{loopRefused,
                                         "Check: Problem: Song song loops back to -1 ms, before its beginning, so it "
                                         "loops from its beginning instead.",
                                         "Check: 1 problem, 0 notes."};
     },
     1},
    {"VolumeAboveAHundred",
     [](const std::string& folder) { edit(folder, "music.json", [](json& d) { d["music"]["song"]["volume"] = 150.5; }); },
     [](const std::string&) {
         return std::vector<std::string>{
             "Check: Note: Song song's volume is 150: the player plays nothing louder than 100.",
             "Check: 0 problems, 1 note."};
     },
     0},
    {"FittedSpriteKeepsItsOrigin",
     [](const std::string& folder) {
         edit(folder, "sprites.json", [](json& d) { d["sprites"]["title"].update({{"fit", "cover"}, {"originY", 4}}); });
     },
     [](const std::string&) {
         return std::vector<std::string>{"Check: Note: Sprite title is fitted (cover), so its originY is not used.",
                                         "Check: 0 problems, 1 note."};
     },
     0},
    {"FitMisspelt",
     [](const std::string& folder) { edit(folder, "sprites.json", [](json& d) { d["sprites"]["ov1"]["fit"] = "contian"; }); },
     [](const std::string&) {
         return std::vector<std::string>{"SpriteManager: Invalid fit property for [ov1]: must be none, contain or cover, not contian.",
                                         "SpriteManager: Sprite with key ov1 does not exist.",
                                         showNeedsLoaded("ov1", "for entry 3 (0:14 to 0:21)"),
                                         "Check: 1 problem, 0 notes."};
     },
     1},
    {"UnusedEntriesAreNotes",
     [](const std::string& folder) {
         edit(folder, "textures.json", [](json& d) { d["textures"]["spare"] = {{"file", "assets/img/red.png"}}; });
         edit(folder, "sprites.json", [](json& d) { d["sprites"]["extra"] = {{"texture", "red"}}; });
         edit(folder, "music.json", [](json& d) { d["music"]["jingle"] = {{"file", "assets/song.wav"}}; });
     },
     [](const std::string&) {
         return std::vector<std::string>{"Check: Note: Texture spare is used by no sprite.",
                                         "Check: Note: Sprite extra is not in the show.",
                                         "Check: Note: Song jingle is never played: the show plays song only.",
                                         "Check: 0 problems, 3 notes."};
     },
     0},
    {"UnknownNamesAreNotes",
     [](const std::string& folder) {
         // A schema named for an editor is no unknown name
         writeText(fs::path(folder) / "config.json",
                   R"({"$schema": "../schemas/config.schema.json", "fullscreen": false, "fulscreen": true})");
         edit(folder, "textures.json", [](json& d) { d["comment"] = "made by hand"; });
         edit(folder, "music.json", [](json& d) { d["$schema"] = "../schemas/music.schema.json"; });
         edit(folder, "sprites.json", [](json& d) { d["sprites"]["title"]["rectw"] = 5; });
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "Check: Note: config.json has a member fulscreen that the program does not know; it is ignored.",
             "Check: Note: assets/textures.json has a member comment beside textures that the program ignores.",
             "Check: Note: Sprite title has a property rectw that the program does not know; it is ignored.",
             "Check: 0 problems, 3 notes."};
     },
     0},
    {"ConfigMissingIsANote",
     [](const std::string& folder) { fs::remove(fs::path(folder) / "config.json"); },
     [](const std::string&) {
         return std::vector<std::string>{
             "Config.json missing.",
             "Check: Note: No config.json: the window settings keep their defaults (a window, vertical sync on).",
             "Check: 0 problems, 1 note."};
     },
     0},
    {"ConfigWrongType",
     [](const std::string& folder) { writeText(fs::path(folder) / "config.json", R"({"vsync": "yes"})"); },
     [](const std::string&) {
         return std::vector<std::string>{
             "config.json: Invalid vsync property: must be true or false, not string.",
             "Check: Problem: config.json's vsync is not true or false, so it keeps its default (see above).",
             "Check: 1 problem, 0 notes."};
     },
     1},
    {"BrokenCatalogue",
     [](const std::string& folder) {
         // The song's entry is whole; the file ends before the closing braces
         writeText(fs::path(folder) / "assets/music.json",
                   R"({"music": {"song": {"file": "assets/song.wav", "loopTo": 3000})");
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "MusicManager: Error while parsing JSON.", "[json.exception.parse_error.101]*",
             "Check: Problem: assets/music.json is not valid JSON (line 1, column 63): only what came before the error was "
             "read (see above).",
             "Check: 1 problem, 0 notes."};
     },
     1},
    {"CatalogueWithoutItsMember",
     [](const std::string& folder) {
         writeText(fs::path(folder) / "assets/music.json", R"({"songs": {"song": {"file": "assets/song.wav"}}})");
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "validateJson: Missing prop: music.", "MusicManager: Missing properties in musicfile.",
             "MusicManager: Song with key song does not exist.",
             "Check: Problem: assets/music.json has no member music, so it gives no songs (see above).",
             "Check: Problem: The show needs song song to play from the start, and assets/music.json gives none.",
             "Check: Note: assets/music.json has a member songs beside music that the program ignores.",
             "Check: 2 problems, 1 note."};
     },
     1},
    {"PictureMissing",
     [](const std::string& folder) {
         edit(folder, "textures.json", [](json& d) { d["textures"]["blue"]["file"] = "assets/img/nothere.png"; });
     },
     [](const std::string&) {
         return std::vector<std::string>{"Failed to load image \"assets/img/nothere.png\"*",
                                         "TextureManager: Unable to load file assets/img/nothere.png.",
                                         "TextureManager: Texture with key blue does not exist.",
                                         "SpriteManager: Sprite with key ov2 does not exist.",
                                         "Check: Problem: Texture blue in assets/textures.json was not loaded (see above).",
                                         showNeedsLoaded("ov2", "for entry 4 (0:21 to 0:28)"),
                                         "Check: 2 problems, 0 notes."};
     },
     1},
    {"PictureCutShort",
     [](const std::string& folder) {
         // A whole header, then pixel data that ends early: only decoding finds it
         sf::Image noise;
         noise.create(64, 64);
         for (unsigned y = 0; y < 64; ++y)
             for (unsigned x = 0; x < 64; ++x)
                 noise.setPixel(x, y, sf::Color((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) * 4 % 256));
         const fs::path path = fs::path(folder) / "assets/img/cut.png";
         noise.saveToFile(path.string());
         std::ifstream in(path, std::ios::binary);
         const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         in.close();
         writeText(path, bytes.substr(0, bytes.size() / 2));
         edit(folder, "textures.json", [](json& d) { d["textures"]["blue"]["file"] = "assets/img/cut.png"; });
     },
     [](const std::string&) {
         // Refused before the media library's decoder sees it: our line alone,
         // and the decoder's reason in the check's
         return std::vector<std::string>{"TextureManager: Unable to load file assets/img/cut.png.",
                                         "TextureManager: Texture with key blue does not exist.",
                                         "SpriteManager: Sprite with key ov2 does not exist.",
                                         "Check: Problem: Texture blue in assets/textures.json was not loaded: its picture is "
                                         "damaged (libpng says: Read Error).",
                                         showNeedsLoaded("ov2", "for entry 4 (0:21 to 0:28)"),
                                         "Check: 2 problems, 0 notes."};
     },
     1},
    {"PictureLargerThanACardTakes",
     [](const std::string& folder) {
         const std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\xc3\x50\0\0\xc3\x50\x08\x06\0\0\0\0\0\0\0", 33);
         writeText(fs::path(folder) / "assets/huge.png", header + std::string(4096, '\x11'));
         edit(folder, "textures.json", [](json& d) { d["textures"]["blue"]["file"] = "assets/huge.png"; });
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "TextureManager: Unable to load file assets/huge.png.",
             "TextureManager: Texture with key blue does not exist.",
             "SpriteManager: Sprite with key ov2 does not exist.",
             "Check: Problem: Texture blue in assets/textures.json was not loaded: its picture is 50000 by 50000 "
             "pixels, more than the 16384 a side that the check takes a graphics card to accept.",
             showNeedsLoaded("ov2", "for entry 4 (0:21 to 0:28)"),
             "Check: 2 problems, 0 notes."};
     },
     1, false},
    // A camera's photo: a side any card takes, but more pixels than a picture may have
    {"PictureOfTooManyPixels",
     [](const std::string& folder) {
         const std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x13\x88\0\0\x0b\xb8\x08\x06\0\0\0\0\0\0\0", 33);
         writeText(fs::path(folder) / "assets/photo.png", header + std::string(4096, '\x11'));
         edit(folder, "textures.json", [](json& d) { d["textures"]["blue"]["file"] = "assets/photo.png"; });
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "TextureManager: Unable to load file assets/photo.png.",
             "TextureManager: Texture with key blue does not exist.",
             "SpriteManager: Sprite with key ov2 does not exist.",
             "Check: Problem: Texture blue in assets/textures.json was not loaded: its picture is 5000 by 3000 pixels, "
             "more than the 8388608 pixels a picture may have (4096 by 2048, or 3840 by 2160); resize it.",
             showNeedsLoaded("ov2", "for entry 4 (0:21 to 0:28)"),
             "Check: 2 problems, 0 notes."};
     },
     1},
    {"PictureThatIsNoPicture",
     [](const std::string& folder) {
         writeText(fs::path(folder) / "assets/notes.png", "These are my notes, not a picture.\n");
         edit(folder, "textures.json", [](json& d) { d["textures"]["blue"]["file"] = "assets/notes.png"; });
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "TextureManager: Unable to load file assets/notes.png.",
             "TextureManager: Texture with key blue does not exist.",
             "SpriteManager: Sprite with key ov2 does not exist.",
             "Check: Problem: Texture blue in assets/textures.json was not loaded: its file is not a picture in a format "
             "the program reads (PNG, JPEG, BMP, TGA, GIF, PSD, HDR or PIC).",
             showNeedsLoaded("ov2", "for entry 4 (0:21 to 0:28)"),
             "Check: 2 problems, 0 notes."};
     },
     1},
    {"PictureOverSmallCards",
     [](const std::string& folder) { writeImage((fs::path(folder) / "assets/img/blue.png").string(), 8193, 2, sf::Color::Blue); },
     [](const std::string&) {
         return std::vector<std::string>{
             "Check: Note: Texture blue is 8193 by 2 pixels: graphics cards that take at most 8192 a side refuse it.",
             "Check: 0 problems, 1 note."};
     },
     0},
    {"SongUnreadable",
     [](const std::string& folder) { writeText(fs::path(folder) / "assets/song.wav", "not a sound"); },
     [](const std::string&) {
         return std::vector<std::string>{"Failed to open sound file \"assets/song.wav\"*",
                                         "MusicManager: Unable to load music file assets/song.wav.",
                                         "Check: Problem: Song song's file assets/song.wav cannot be opened (see above).",
                                         "Check: 1 problem, 0 notes."};
     },
     1},
    {"OtherSongUnreadable",
     [](const std::string& folder) {
         edit(folder, "music.json", [](json& d) { d["music"]["jingle"] = {{"file", "assets/nothere.ogg"}}; });
     },
     [](const std::string&) {
         return std::vector<std::string>{"Failed to open sound file \"assets/nothere.ogg\"*",
                                         "MusicManager: Unable to load music file assets/nothere.ogg.",
                                         "Check: Problem: Song jingle's file assets/nothere.ogg cannot be opened (see above).",
                                         "Check: Note: Song jingle is never played: the show plays song only.",
                                         "Check: 1 problem, 1 note."};
     },
     1, false},
    // The repository's root, say: nothing of an intro in the working folder
    {"NothingHere",
     [](const std::string& folder) {
         for (const auto& entry : fs::directory_iterator(folder))
             fs::remove_all(entry.path());
     },
     [](const std::string& folder) {
         // What only follows from the missing catalogues is counted, not listed
         return std::vector<std::string>{
             "Config.json missing.",
             "TextureManager: Unable to open file assets/textures.json.",
             "SpriteManager: Unable to open file assets/sprites.json.",
             "MusicManager: Unable to open file assets/music.json.",
             "Check: Problem: No assets/textures.json in the working folder, so there are no pictures.",
             "Check: Problem: No assets/sprites.json in the working folder, so there are no sprites. 16 findings that "
             "follow from it are not listed.",
             "Check: Problem: No assets/music.json in the working folder, so there are no songs. 1 finding that follows "
             "from it is not listed.",
             "Check: Note: No config.json: the window settings keep their defaults (a window, vertical sync on).",
             "Check: Note: Every file is read from the intro's folder, " + fs::canonical(folder).string() +
                 ": name the folder that holds config.json and assets/ (orvalen-intro --check FOLDER), or run the "
                 "program in it.",
             "Check: 3 problems, 2 notes."};
     },
     1, false},
    // A comma missing halfway through the sprites: the cause first, with
    // where it is, and the sprites the show then lacks counted under it
    {"SpriteCatalogueMissesAComma",
     [](const std::string& folder) {
         const fs::path path = fs::path(folder) / "assets/sprites.json";
         std::ifstream in(path);
         std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         in.close();
         const std::size_t at = text.find("\"ov5\"");
         text.erase(text.rfind(',', at), 1);
         writeText(path, text);
     },
     [](const std::string&) {
         return std::vector<std::string>{
             "SpriteManager: Error while parsing JSON.", "[json.exception.parse_error.101]*",
             "Check: Problem: assets/sprites.json is not valid JSON (line 80, column 9): only what came before the "
             "error was read (see above). 12 findings that follow from it are not listed.",
             "Check: 1 problem, 0 notes."};
     },
     1, false},
    // No pictures: the sprites cut from them, and the show's, are counted
    {"TextureCatalogueMissing",
     [](const std::string& folder) { fs::remove(fs::path(folder) / "assets/textures.json"); },
     [](const std::string&) {
         return std::vector<std::string>{
             "TextureManager: Unable to open file assets/textures.json.",
             "Check: Problem: No assets/textures.json in the working folder, so there are no pictures. 16 findings that "
             "follow from it are not listed.",
             "Check: Note: Every file is read from the intro's folder, *",
             "Check: 1 problem, 1 note."};
     },
     1, false},
    {"PathsThatBreakElsewhere",
     [](const std::string& folder) {
         edit(folder, "textures.json", [&folder](json& d) {
             d["textures"]["green"]["file"] = (fs::path(folder) / "assets/img/green.png").string();
             d["textures"]["blue"]["file"] = "../" + fs::path(folder).filename().string() + "/assets/img/blue.png";
             d["textures"]["yellow"]["file"] = "assets\\img\\yellow.png";
             d["textures"]["cyan"]["file"] = "assets/IMG/Cyan.png";
         });
     },
     [](const std::string& folder) {
         const std::string intoFolder = "put the file in the intro's folder and give its path from there.";
         const std::string name = fs::path(folder).filename().string();
         return std::vector<std::string>{
             "Failed to load image \"assets/IMG/Cyan.png\". Reason: Unable to open file",
             "TextureManager: Unable to load file assets/IMG/Cyan.png.",
             "Failed to load image \"assets\\img\\yellow.png\". Reason: Unable to open file",
             "TextureManager: Unable to load file assets\\img\\yellow.png.",
             "TextureManager: Texture with key yellow does not exist.",
             "TextureManager: Texture with key cyan does not exist.",
             "SpriteManager: Sprite with key ov3 does not exist.",
             "SpriteManager: Sprite with key ov4 does not exist.",
             "Check: Problem: Texture cyan in assets/textures.json was not loaded (see above).",
             "Check: Problem: Texture yellow in assets/textures.json was not loaded (see above).",
             showNeedsLoaded("ov3", "for entry 5 (0:28 to 0:35)"),
             showNeedsLoaded("ov4", "for entry 6 (0:35 to 0:42)"),
             "Check: Note: Texture blue in assets/textures.json names its file ../" + name +
                 "/assets/img/blue.png, outside the intro's folder, so it does not travel with the intro: " + intoFolder,
             "Check: Note: Texture cyan in assets/textures.json names its file assets/IMG/Cyan.png, but the file on "
             "disk is assets/img/cyan.png: the letter case matters on Linux, so the file is not found there: write "
             "assets/img/cyan.png.",
             "Check: Note: Texture green in assets/textures.json names its file " + folder +
                 "/assets/img/green.png by an absolute path, which other machines lack: " + intoFolder,
             "Check: Note: Texture yellow in assets/textures.json names its file assets\\img\\yellow.png with a "
             "backslash, a folder separator on Windows only: write assets/img/yellow.png.",
             "Check: 4 problems, 4 notes."};
     },
     1, false},
};

class Check : public ::testing::TestWithParam<CheckCase> {
protected:
    TempDir work;
};

TEST_P(Check, WritesTheStartsLinesThenItsFindingsAndASummary)
{
    writeShow(work.root());
    GetParam().spoil(work.root());
    Program program(work.root(), headless(), {"--check"});
    ASSERT_TRUE(program.started());
    const ExitStatus status = program.waitForExit(60);
    EXPECT_TRUE(status.exited && status.code == GetParam().status) << describe(status) << "\nstderr:\n"
                                                                   << joined(program.errorLines());
    expectLines(program.errorLines(), GetParam().expected(work.root()));
    EXPECT_TRUE(program.outputLines().empty()) << joined(program.outputLines());
}

// The same findings as JSON on standard output, and with --strict as
// problems only: both agree with the text form, finding for finding
TEST_P(Check, SaysTheSameAsJsonAndUnderStrict)
{
    writeShow(work.root());
    GetParam().spoil(work.root());
    std::vector<std::pair<std::string, std::string>> text; // severity, message
    std::vector<std::string> startLines;
    int status = -1;
    {
        Program program(work.root(), headless(), {"--check"});
        const ExitStatus exit = program.waitForExit(60);
        ASSERT_TRUE(exit.exited) << describe(exit);
        status = exit.code;
        for (const std::string& line : program.errorLines()) {
            if (line.rfind("Check: Problem: ", 0) == 0)
                text.emplace_back("problem", line.substr(16));
            else if (line.rfind("Check: Note: ", 0) == 0)
                text.emplace_back("note", line.substr(13));
            else if (line.rfind("Check: ", 0) != 0)
                startLines.push_back(line);
        }
    }

    Program asJson(work.root(), headless(), {"--check", "--format", "json"});
    const ExitStatus jsonExit = asJson.waitForExit(60);
    ASSERT_TRUE(jsonExit.exited) << describe(jsonExit);
    EXPECT_EQ(jsonExit.code, status);
    // Standard error keeps the start's lines, and only those
    EXPECT_EQ(asJson.errorLines(), startLines);
    std::string output;
    for (const std::string& line : asJson.outputLines())
        output += line + "\n";
    const json document = json::parse(output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << output;
    std::vector<std::pair<std::string, std::string>> findings;
    std::size_t problems = 0;
    for (const json& finding : document.at("findings")) {
        findings.emplace_back(finding.at("severity"), finding.at("message"));
        problems += finding.at("severity") == "problem";
        // Where a finding is about one entry, its pointer leads to it
        if (finding.contains("key") && finding.contains("pointer"))
            EXPECT_NE(finding.at("pointer").get<std::string>().find(finding.at("key").get<std::string>()), std::string::npos)
                << finding.dump();
    }
    EXPECT_EQ(findings, text);
    EXPECT_EQ(document.at("problems"), problems);
    EXPECT_EQ(document.at("notes"), findings.size() - problems);

    Program strict(work.root(), headless(), {"--check", "--strict"});
    const ExitStatus strictExit = strict.waitForExit(60);
    ASSERT_TRUE(strictExit.exited) << describe(strictExit);
    EXPECT_EQ(strictExit.code, text.empty() ? 0 : 1);
    std::vector<std::string> expected = startLines;
    for (const auto& [severity, message] : text)
        expected.push_back("Check: Problem: " + message);
    expected.push_back("Check: " + std::to_string(text.size()) + (text.size() == 1 ? " problem" : " problems") +
                       ", 0 notes.");
    EXPECT_EQ(strict.errorLines(), expected);
}

INSTANTIATE_TEST_SUITE_P(Intros, Check, ::testing::ValuesIn(checkCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The lines before the check's own are those a start of the same intro
// writes, in the same order
class CheckAgainstAStart : public ProgramRun, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckAgainstAStart, BeginsWithTheLinesAStartWrites)
{
    writeShow(work.root());
    GetParam().spoil(work.root());
    std::vector<std::string> startLines;
    {
        Program check(work.root(), headless(), {"--check"});
        ASSERT_TRUE(check.waitForExit(60).exited);
        for (const std::string& line : check.errorLines())
            if (line.rfind("Check: ", 0) != 0)
                startLines.push_back(line);
    }
    start(recording());
    ASSERT_NE(waitForWindow(), 0u);
    EXPECT_TRUE(program->waitForOwnLines(startLines.size(), 20)) << "lines so far:\n" << joined(program->ownLines());
    sleepSeconds(1.0);
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_EQ(program->ownLines(), startLines) << "the start wrote:\n" << joined(program->ownLines())
                                               << "the check wrote:\n" << joined(startLines);
}

std::vector<CheckCase> casesLikeAStart()
{
    std::vector<CheckCase> cases;
    for (const CheckCase& c : checkCases)
        if (c.sameAsStart)
            cases.push_back(c);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Intros, CheckAgainstAStart, ::testing::ValuesIn(casesLikeAStart()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
