// Decodes a sound file with the audio library's own readers and nothing of
// the program's, and writes what it read: the reference for the program's
// own WAV reader, which a process of the program always has registered.
//
//   media_library_samples FILE OUT
//
// OUT gets "unopenable", or "CHANNELS RATE COUNT" and a line of every sample,
// then a line of the samples read after seeking to a third of the file.

#include <SFML/Audio/InputSoundFile.hpp>
#include <SFML/System/Err.hpp>

#include <fstream>
#include <sstream>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    std::ostringstream quiet;
    sf::err().rdbuf(quiet.rdbuf());
    std::ofstream out(argv[2]);
    sf::InputSoundFile file;
    if (!file.openFromFile(argv[1])) {
        out << "unopenable\n";
        return 0;
    }
    out << file.getChannelCount() << " " << file.getSampleRate() << " " << file.getSampleCount() << "\n";
    // Blocks of an odd size, so that reads end inside a frame
    std::vector<sf::Int16> block(1001);
    for (sf::Uint64 got; (got = file.read(block.data(), block.size())) > 0;)
        for (sf::Uint64 i = 0; i < got; ++i)
            out << block[i] << " ";
    out << "\n";
    file.seek(file.getSampleCount() / 3 / file.getChannelCount() * file.getChannelCount());
    const sf::Uint64 got = file.read(block.data(), 300);
    for (sf::Uint64 i = 0; i < got; ++i)
        out << block[i] << " ";
    out << "\n";
    return 0;
}
