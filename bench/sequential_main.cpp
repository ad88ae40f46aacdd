// The program with every image decoded on the main thread, one after
// another: the same code as orvalen-intro but for the number of decoding
// threads, to measure what decoding ahead buys.

#include "program/play.h"
#include "app/platform.h"
#include "assets/texture_prefetch.h"

int main()
{
    Platform::returnLargeBlocksWhenFreed();
    TexturePrefetch::threads = 0;
    return runApp();
}
