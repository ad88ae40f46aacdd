/* Preloaded into a program under test (LD_PRELOAD): writes the moment the
 * process started and the moment each frame was presented, so frame rate and
 * time to first frame are measured on the program exactly as built.
 *
 *   ORVALEN_SWAP_LOG=FILE         where the lines go (nothing is recorded without it)
 *   ORVALEN_SWAP_EXIT_AFTER=N     end the process right after the Nth frame
 *   ORVALEN_SWAP_EXIT_SECONDS=S   end it at the first frame S seconds after start
 *
 * Lines: "start NS", one "swap NS" per frame (CLOCK_MONOTONIC nanoseconds),
 * "play NS" each time a sound source starts playing (OpenAL's alSourcePlay,
 * which the audio library calls once the song's first buffers are queued),
 * and last "peak_kb KB", the process's peak resident memory (VmHWM).
 *
 * A program that starts itself again (exec, same process) keeps its clock:
 * the start is the first one's, and the peak the last image's. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapFunction)(void* display, unsigned long drawable);
typedef void (*PlayFunction)(unsigned int source);

static FILE* logFile;
static long long startNs;
static long swaps;
static long exitAfter;
static double exitSeconds;

static long long nowNs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static void writePeak(void)
{
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    if (!status)
        return;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "VmHWM:", 6) == 0)
            fprintf(logFile, "peak_kb %ld\n", strtol(line + 6, NULL, 10));
    fclose(status);
}

__attribute__((constructor)) static void startClock(void)
{
    const char* path = getenv("ORVALEN_SWAP_LOG");
    const char* after = getenv("ORVALEN_SWAP_EXIT_AFTER");
    const char* seconds = getenv("ORVALEN_SWAP_EXIT_SECONDS");
    const char* started = getenv("ORVALEN_SWAP_STARTED");
    startNs = nowNs();
    if (!path || !*path)
        return;
    /* "NS PID" from the process's first image; in another process, a child
     * (a shell, a helper), nothing is recorded: the file is not its own */
    if (started) {
        long long first = 0;
        long pid = 0;
        if (sscanf(started, "%lld %ld", &first, &pid) != 2 || pid != (long)getpid())
            return;
        startNs = first;
    } else {
        char text[64];
        snprintf(text, sizeof text, "%lld %ld", startNs, (long)getpid());
        setenv("ORVALEN_SWAP_STARTED", text, 1);
    }
    logFile = fopen(path, "w");
    if (!logFile)
        return;
    exitAfter = after ? strtol(after, NULL, 10) : 0;
    exitSeconds = seconds ? strtod(seconds, NULL) : 0;
    fprintf(logFile, "start %lld\n", startNs);
    fflush(logFile);
}

__attribute__((destructor)) static void stopClock(void)
{
    if (!logFile)
        return;
    writePeak();
    fclose(logFile);
    logFile = NULL;
}

/* Called on the audio library's streaming thread: stdio locks the file */
void alSourcePlay(unsigned int source)
{
    static PlayFunction realPlay;
    if (!realPlay)
        realPlay = (PlayFunction)dlsym(RTLD_NEXT, "alSourcePlay");
    realPlay(source);
    if (logFile)
        fprintf(logFile, "play %lld\n", nowNs());
}

void glXSwapBuffers(void* display, unsigned long drawable)
{
    static SwapFunction realSwap;
    if (!realSwap)
        realSwap = (SwapFunction)dlsym(RTLD_NEXT, "glXSwapBuffers");
    realSwap(display, drawable);
    if (!logFile)
        return;
    const long long now = nowNs();
    fprintf(logFile, "swap %lld\n", now);
    ++swaps;
    if ((exitAfter > 0 && swaps >= exitAfter) || (exitSeconds > 0 && now - startNs >= (long long)(exitSeconds * 1e9))) {
        stopClock();
        _exit(0);
    }
}
