#include "assets/texture_prefetch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace TexturePrefetch {

unsigned int threads = 2;
unsigned int ahead = 2;
std::size_t uploaded = 0;

namespace {

// One planned file, in the order in which the main thread loads it
struct Slot {
    std::string file;      // path as the catalogue gives it; never written while workers run
    bool claimed = false;  // a worker is decoding it, or has
    bool decoded = false;  // the worker is done; `image` has no pixels if decoding failed
    bool dropped = false;  // the main thread passed it by: its pixels are not wanted
    DecodedImage image;    // the pixels, until taken or dropped
};

// The prefetch in progress. `lock` guards every field but `workers`, which
// only the main thread touches.
struct Prefetch {
    std::vector<Slot> slots;         // the plan; never resized while workers run
    std::size_t nextToDecode = 0;    // first slot that no worker may have claimed
    std::size_t nextToTake = 0;      // slots before it are taken or dropped
    unsigned int largest = 0;        // images wider or taller than a texture can be are not decoded
    bool largestKnown = false;       // the graphics card has said `largest`
    bool started = false;            // the workers were started (at start() or the first load)
    bool taking = false;             // the main thread has asked for a file
    bool stopping = false;           // the workers leave when set
    std::mutex lock;
    std::condition_variable changed; // a slot was decoded or taken, or the workers must stop
    std::vector<std::thread> workers;
    // Pixel buffers already uploaded, kept for the next decodes while files
    // remain to be claimed; at most one per worker
    std::vector<DecodedImage> spare;

    // A plan started and never loaded still ends its workers at exit
    ~Prefetch()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread& worker : workers)
            worker.join();
    }
};

Prefetch prefetch;

// NOTE: every graphics card this program can run on takes textures this
// large, so a picture no larger is decoded before the card has been asked
// (making the first GL context takes a while); a larger one waits for its answer
const unsigned int assuredSize = 2048;

// A worker: decodes the next planned file while no more than `ahead` images
// wait beyond the one the main thread is loading. Before its first load, the
// first planned file is the one it will load.
void decodeAhead()
{
    std::unique_lock<std::mutex> guard(prefetch.lock);
    for (;;) {
        prefetch.changed.wait(guard, [] {
            const std::size_t bound = prefetch.nextToTake + ahead + (prefetch.taking ? 0 : 1);
            return prefetch.stopping || prefetch.nextToDecode >= prefetch.slots.size() || prefetch.nextToDecode < bound;
        });
        if (prefetch.stopping || prefetch.nextToDecode >= prefetch.slots.size())
            return;
        Slot& slot = prefetch.slots[prefetch.nextToDecode++];
        slot.claimed = true;
        DecodedImage buffer;
        if (!prefetch.spare.empty()) {
            buffer = std::move(prefetch.spare.back());
            prefetch.spare.pop_back();
        }
        // The last file is claimed: no decode will want the others
        if (prefetch.nextToDecode >= prefetch.slots.size())
            prefetch.spare.clear();
        guard.unlock();
        const ImageSize size = readImageSize(slot.file);
        const bool assured = size.known && size.width <= assuredSize && size.height <= assuredSize;
        guard.lock();
        prefetch.changed.wait(guard, [assured] { return assured || prefetch.largestKnown || prefetch.stopping; });
        const unsigned int largest = prefetch.largestKnown ? prefetch.largest : assuredSize;
        DecodedImage image;
        if (!prefetch.stopping) {
            guard.unlock();
            // NOTE: the main thread refuses an image larger than a texture
            // can be from its header, without decoding it; nor does a worker
            image = decodeImage(slot.file, largest, std::move(buffer));
            guard.lock();
        }
        slot.decoded = true;
        if (!slot.dropped)
            slot.image = std::move(image);
        prefetch.changed.notify_all();
    }
}

// Called with the lock held, at start() or the first load
void startWorkers()
{
    prefetch.started = true;
    const std::size_t count = std::min<std::size_t>(threads, prefetch.slots.size() - prefetch.nextToTake);
    for (std::size_t i = 0; i < count; ++i) {
        try {
            prefetch.workers.emplace_back(decodeAhead);
        } catch (const std::system_error&) {
            break; // fewer workers; unclaimed files load on the main thread
        }
    }
}

// Hands over what a worker made of the file, pixels or not, when one has it
// or is making it; false when the main thread must decode it itself
bool take(const std::string& file, DecodedImage& out)
{
    std::unique_lock<std::mutex> guard(prefetch.lock);
    std::size_t index = prefetch.nextToTake;
    while (index < prefetch.slots.size() && prefetch.slots[index].file != file)
        ++index;
    if (index == prefetch.slots.size())
        return false;
    // The files before it belong to entries the main thread passed by (a key
    // already stored): free their pixels now
    for (std::size_t i = prefetch.nextToTake; i < index; ++i) {
        prefetch.slots[i].dropped = true;
        prefetch.slots[i].image = DecodedImage();
    }
    prefetch.nextToTake = index + 1;
    prefetch.taking = true;
    if (!prefetch.started) {
        // By now the main thread has asked for the limit: asking again writes nothing new
        prefetch.largest = sf::Texture::getMaximumSize();
        prefetch.largestKnown = true;
        startWorkers();
    }
    Slot& slot = prefetch.slots[index];
    if (!slot.claimed) {
        // No worker got to it yet: the main thread loads it while they go on
        slot.dropped = true;
        prefetch.nextToDecode = std::max(prefetch.nextToDecode, index + 1);
    }
    prefetch.changed.notify_all();
    if (slot.dropped)
        return false;
    prefetch.changed.wait(guard, [&slot] { return slot.decoded; });
    out = std::move(slot.image);
    return true;
}

} // namespace

void plan(std::vector<std::string> files)
{
    finish();
    if (threads == 0)
        return;
    prefetch.slots.resize(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        prefetch.slots[i].file = std::move(files[i]);
}

void start()
{
    {
        std::lock_guard<std::mutex> guard(prefetch.lock);
        if (prefetch.started || prefetch.slots.empty())
            return;
        startWorkers();
    }
    // Asked once the workers are off: the first GL context is made here
    const unsigned int largest = sf::Texture::getMaximumSize();
    {
        std::lock_guard<std::mutex> guard(prefetch.lock);
        prefetch.largest = largest;
        prefetch.largestKnown = true;
    }
    prefetch.changed.notify_all();
}

bool load(sf::Texture& texture, const std::string& file)
{
    DecodedImage image;
    if (!take(file, image))
        image = decodeImage(file, sf::Texture::getMaximumSize());
    // NOTE: the media library's own loading is asked only where it is safe,
    // and then writes its own failure lines where it always did
    if (!image.pixels)
        return image.mediaLibraryMayTry && texture.loadFromFile(file);
    // What loadFromFile does after decoding, without first copying the
    // pixels into an sf::Image
    if (!texture.create(image.width, image.height))
        return false;
    texture.update(image.pixels.get());
    ++uploaded;
    std::lock_guard<std::mutex> guard(prefetch.lock);
    if (prefetch.nextToDecode < prefetch.slots.size() && prefetch.spare.size() < prefetch.workers.size())
        prefetch.spare.push_back(std::move(image));
    return true;
}

void finish()
{
    {
        std::lock_guard<std::mutex> guard(prefetch.lock);
        prefetch.stopping = true;
    }
    prefetch.changed.notify_all();
    for (std::thread& worker : prefetch.workers)
        worker.join();
    prefetch.workers.clear();
    prefetch.spare.clear();
    prefetch.slots.clear();
    prefetch.nextToDecode = 0;
    prefetch.nextToTake = 0;
    prefetch.started = false;
    prefetch.largest = 0;
    prefetch.largestKnown = false;
    prefetch.taking = false;
    prefetch.stopping = false;
}

std::size_t waitingImages()
{
    std::lock_guard<std::mutex> guard(prefetch.lock);
    std::size_t count = 0;
    for (const Slot& slot : prefetch.slots)
        if (slot.image.pixels)
            ++count;
    return count;
}

} // namespace TexturePrefetch
