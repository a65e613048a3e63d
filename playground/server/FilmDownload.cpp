#include "playground/server/FilmDownload.h"
#include "playground/server/SimChild.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern char** environ;

namespace playground {

namespace fs = std::filesystem;

namespace {

// Removes the folder however the run ends.
struct TemporaryFolder {
    fs::path path;
    ~TemporaryFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

} // namespace

FilmAnswer filmScenario(const std::string& simProgram, const std::string& scenario) {
    std::string pattern = (fs::temp_directory_path() / "floattiles-film-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return {{}, std::string("no temporary folder: ") + std::strerror(errno)};
    TemporaryFolder folder{pattern};
    const std::string scenarioPath = (folder.path / "recording.scenario").string();
    const std::string filmPath = (folder.path / "recording.webp").string();
    const std::string logPath = (folder.path / "run.txt").string();
    {
        std::ofstream out(scenarioPath);
        out << scenario;
        if (!out) return {{}, "cannot write the recording for the film"};
    }
    // The run's trace is of no use here; it goes to a file, not the page.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    initChildSpawnAttributes(attr);
    std::vector<std::string> args = {simProgram, "run", "--film", filmPath, scenarioPath};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, simProgram.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return {{}, "cannot start " + simProgram + ": " + std::strerror(rc)};
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::ifstream film(filmPath, std::ios::binary);
    if (!film) {
        std::ifstream log(logPath);
        std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        size_t lastLine = text.find_last_of('\n', text.size() > 1 ? text.size() - 2 : 0);
        return {{}, "no film: " + (lastLine == std::string::npos ? text : text.substr(lastLine + 1))};
    }
    return {std::string((std::istreambuf_iterator<char>(film)), std::istreambuf_iterator<char>()), {}};
}

} // namespace playground
