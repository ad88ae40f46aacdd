#include "virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

extern char** environ;

VirtualDisplay::VirtualDisplay(unsigned width, unsigned height)
{
    // NOTE: Xvfb picks a free display number itself and writes it to the
    // pipe once it takes connections; guessing a number races other servers.
    // -noreset: by default it resets whenever its last client leaves, and
    // refuses the connections that come meanwhile
    int ready[2];
    if (pipe(ready) != 0) {
        why = "no pipe";
        return;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", size,
                                     "-nolisten", "tcp", "-noreset"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (spawned != 0) {
        pid = -1;
        close(ready[0]);
        why = std::string("cannot start Xvfb: ") + std::strerror(spawned);
        return;
    }
    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    while (poll(&wait, 1, 15000) > 0) {
        char c = 0;
        if (read(ready[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(ready[0]);
    if (number.empty()) {
        why = "Xvfb did not say which display it took within 15 s";
        return;
    }
    displayName = ":" + number;
}

VirtualDisplay::~VirtualDisplay()
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }
}
