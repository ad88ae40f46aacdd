#include "assets/texture_prefetch.h"

#include "pictures/decode.h"
#include "pictures/limits.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

unsigned int TexturePrefetch::threads = 2;
unsigned int TexturePrefetch::ahead = 2;

namespace {

// Marks an entry with no planned file
const std::size_t unplanned = static_cast<std::size_t>(-1);

// One planned file, in the order in which the main thread loads it
struct Slot {
    std::string file;      // path as the catalogue gives it; never written while workers run
    bool claimed = false;  // a worker is decoding it, or has
    bool decoded = false;  // the worker is done; `image` has no pixels if decoding failed
    bool failed = false;   // the worker's decode threw: the picture is refused
    bool dropped = false;  // the main thread passed it by: its pixels are not wanted
    DecodedImage image;    // the pixels, until taken or dropped
};

} // namespace

// The prefetch in progress. `lock` guards every field but `workers` and
// `slotOfEntry`, which only the main thread touches.
struct TexturePrefetch::Plan {
    std::vector<Slot> slots;              // the planned files; never resized while workers run
    std::vector<std::size_t> slotOfEntry; // each entry's slot, or `unplanned`
    std::size_t nextToDecode = 0;         // first slot that no worker may have claimed
    std::size_t nextToTake = 0;           // slots before it are taken or dropped
    unsigned int largest = 0;             // images wider or taller than a texture can be are not decoded
    bool largestKnown = false;            // the graphics card has said `largest`
    bool started = false;                 // the workers were started (at start() or the first load)
    bool taking = false;                  // the main thread has asked for a file
    bool allBeforeTaking = false;         // until then, every file may be decoded
    bool stopping = false;                // the workers leave when set
    std::mutex lock;
    std::condition_variable changed;      // a slot was decoded or taken, or the workers must stop
    std::vector<std::thread> workers;
    // Pixel buffers already uploaded, kept for the next decodes while files
    // remain to be claimed; at most one per worker
    std::vector<DecodedImage> spare;
};

namespace {

using Plan = TexturePrefetch::Plan;

// Decodes a slot's file off the main thread. NOTE: nothing a decode throws
// (an allocation that fails, above all) may end the process from a worker:
// it is handed to the main thread as a refused picture
void decodeSlot(Plan& plan, Slot& slot, DecodedImage buffer, std::unique_lock<std::mutex>& guard)
{
    guard.unlock();
    bool assured = false;
    bool failed = false;
    try {
        const ImageSize size = readImageSize(slot.file);
        assured = size.known && size.width <= pictureLimits.assuredSize && size.height <= pictureLimits.assuredSize;
    } catch (...) {
        failed = true;
    }
    guard.lock();
    plan.changed.wait(guard, [&] { return failed || assured || plan.largestKnown || plan.stopping; });
    const unsigned int largest = plan.largestKnown ? plan.largest : pictureLimits.assuredSize;
    DecodedImage image;
    if (!failed && !plan.stopping) {
        guard.unlock();
        try {
            // NOTE: the main thread refuses an image larger than a texture
            // can be from its header, without decoding it; nor does a worker
            image = decodeImage(slot.file, largest, std::move(buffer));
        } catch (...) {
            failed = true;
        }
        guard.lock();
    }
    slot.decoded = true;
    slot.failed = failed;
    if (!slot.dropped)
        slot.image = std::move(image);
}

// A worker: decodes the next planned file while no more than `ahead` images
// wait beyond the one the main thread is loading. Before its first load, the
// first planned file is the one it will load.
void decodeAhead(Plan& plan)
{
    std::unique_lock<std::mutex> guard(plan.lock);
    for (;;) {
        plan.changed.wait(guard, [&plan] {
            const std::size_t bound = !plan.taking && plan.allBeforeTaking
                                          ? plan.slots.size()
                                          : plan.nextToTake + TexturePrefetch::ahead + (plan.taking ? 0 : 1);
            return plan.stopping || plan.nextToDecode >= plan.slots.size() || plan.nextToDecode < bound;
        });
        if (plan.stopping || plan.nextToDecode >= plan.slots.size())
            return;
        Slot& slot = plan.slots[plan.nextToDecode++];
        slot.claimed = true;
        DecodedImage buffer;
        if (!plan.spare.empty()) {
            buffer = std::move(plan.spare.back());
            plan.spare.pop_back();
        }
        // The last file is claimed: no decode will want the others
        if (plan.nextToDecode >= plan.slots.size())
            plan.spare.clear();
        decodeSlot(plan, slot, std::move(buffer), guard);
        plan.changed.notify_all();
    }
}

// Called with the lock held, at start() or the first load
void startWorkers(Plan& plan)
{
    plan.started = true;
    const std::size_t count = std::min<std::size_t>(TexturePrefetch::threads, plan.slots.size() - plan.nextToTake);
    for (std::size_t i = 0; i < count; ++i) {
        try {
            plan.workers.emplace_back(decodeAhead, std::ref(plan));
        } catch (const std::system_error&) {
            break; // fewer workers; unclaimed files load on the main thread
        }
    }
}

// What a worker made of an entry's file
enum class Taken {
    Here,    // no worker has it: the main thread decodes it itself
    Decoded, // `out` holds what the worker made of it, pixels or not
    Failed,  // the worker's decode threw
};

Taken take(Plan& plan, std::size_t entry, DecodedImage& out)
{
    if (entry >= plan.slotOfEntry.size() || plan.slotOfEntry[entry] == unplanned)
        return Taken::Here;
    const std::size_t index = plan.slotOfEntry[entry];
    std::unique_lock<std::mutex> guard(plan.lock);
    if (index < plan.nextToTake)
        return Taken::Here;
    // The files before it belong to entries the main thread passed by (a key
    // already stored): free their pixels now
    for (std::size_t i = plan.nextToTake; i < index; ++i) {
        plan.slots[i].dropped = true;
        plan.slots[i].image = DecodedImage();
    }
    plan.nextToTake = index + 1;
    plan.taking = true;
    if (!plan.started) {
        // By now the main thread has asked for the limit: asking again writes nothing new
        plan.largest = sf::Texture::getMaximumSize();
        plan.largestKnown = true;
        startWorkers(plan);
    }
    Slot& slot = plan.slots[index];
    if (!slot.claimed) {
        // No worker got to it yet: the main thread loads it while they go on
        slot.dropped = true;
        plan.nextToDecode = std::max(plan.nextToDecode, index + 1);
    }
    plan.changed.notify_all();
    if (slot.dropped)
        return Taken::Here;
    plan.changed.wait(guard, [&slot] { return slot.decoded; });
    if (slot.failed)
        return Taken::Failed;
    out = std::move(slot.image);
    return Taken::Decoded;
}

// Makes the texture from what decodeImage made of the file
bool upload(sf::Texture& texture, const std::string& file, const DecodedImage& image)
{
    // NOTE: the media library's own loading is asked only where it is safe,
    // and then writes its own failure lines where it always did
    if (!image.pixels)
        return image.mediaLibraryMayTry && texture.loadFromFile(file);
    // What loadFromFile does after decoding, without first copying the
    // pixels into an sf::Image
    if (!texture.create(image.width, image.height))
        return false;
    texture.update(image.pixels.get());
    return true;
}

} // namespace

TexturePrefetch::TexturePrefetch(std::vector<std::string> files) : plan(std::make_unique<Plan>())
{
    if (threads == 0)
        return;
    plan->slotOfEntry.assign(files.size(), unplanned);
    for (std::size_t entry = 0; entry < files.size(); ++entry) {
        if (files[entry].empty())
            continue;
        plan->slotOfEntry[entry] = plan->slots.size();
        plan->slots.emplace_back();
        plan->slots.back().file = std::move(files[entry]);
    }
}

TexturePrefetch::~TexturePrefetch()
{
    {
        std::lock_guard<std::mutex> guard(plan->lock);
        plan->stopping = true;
    }
    plan->changed.notify_all();
    for (std::thread& worker : plan->workers)
        worker.join();
}

void TexturePrefetch::start(bool all)
{
    {
        std::lock_guard<std::mutex> guard(plan->lock);
        if (plan->started || plan->slots.empty())
            return;
        plan->allBeforeTaking = all;
        startWorkers(*plan);
    }
    // Asked once the workers are off: the first GL context is made here
    const unsigned int largest = sf::Texture::getMaximumSize();
    {
        std::lock_guard<std::mutex> guard(plan->lock);
        plan->largest = largest;
        plan->largestKnown = true;
    }
    plan->changed.notify_all();
}

bool TexturePrefetch::load(sf::Texture& texture, std::size_t entry, const std::string& file)
{
    DecodedImage image;
    const Taken taken = take(*plan, entry, image);
    if (taken == Taken::Failed)
        return false;
    if (taken == Taken::Here)
        image = decodeImage(file, sf::Texture::getMaximumSize());
    if (!upload(texture, file, image))
        return false;
    if (!image.pixels)
        return true;
    std::lock_guard<std::mutex> guard(plan->lock);
    if (plan->nextToDecode < plan->slots.size() && plan->spare.size() < plan->workers.size())
        plan->spare.push_back(std::move(image));
    return true;
}

bool TexturePrefetch::decoded(std::size_t entry)
{
    if (entry >= plan->slotOfEntry.size() || plan->slotOfEntry[entry] == unplanned)
        return false;
    const std::size_t index = plan->slotOfEntry[entry];
    std::lock_guard<std::mutex> guard(plan->lock);
    return index >= plan->nextToTake && plan->slots[index].decoded && !plan->slots[index].dropped;
}

bool loadTexture(sf::Texture& texture, const std::string& file)
{
    return upload(texture, file, decodeImage(file, sf::Texture::getMaximumSize()));
}
