#include "playground/server/PluginDescription.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace playground {

nlohmann::json describePlugin(const std::string& program) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> args = {program, "describe"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
    }
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    auto description = nlohmann::json::parse(text, nullptr, false);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !description.is_object() ||
        !description["settings"].is_array())
        throw std::runtime_error(program + " describe gave no description of the plugin");
    return description;
}

} // namespace playground
