// floattiles-playground: the simulated phone in a web page.
//
//   floattiles-playground [--host ADDR] [--port N] [--root DIR] [--sim PROGRAM] [--web DIR]
//
// Starts the home screen (springboard-sim) as a child, serves the page, and
// prints the address to open. Listens on 127.0.0.1 unless told otherwise.
#include <pthread.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "playground/server/FrameHub.h"
#include "playground/server/HttpApi.h"
#include "playground/server/Phone.h"
#include "sim/ProgramPaths.h"

using namespace playground;

namespace {

// Installed, the page is under share/ and springboard-sim beside this
// program, and the phone's files go to the user's state folder; as built,
// each is in its own folder of the build tree and the phone's files stay
// there too.
struct Defaults {
    std::string web, sim, root;
};

Defaults defaults() {
    namespace fs = std::filesystem;
    fs::path installedWeb = programpaths::companion({FT_INSTALLED_WEB});
    std::error_code ec;
    if (fs::is_directory(installedWeb, ec)) {
        const char* state = std::getenv("XDG_STATE_HOME");
        const char* home = std::getenv("HOME");
        fs::path stateDir = state && *state ? fs::path(state) : fs::path(home && *home ? home : ".") / ".local/state";
        return {installedWeb.string(), programpaths::companion({"springboard-sim"}).string(),
                (stateDir / "floattiles/playground-device").string()};
    }
    return {programpaths::companion({"web"}).string(), programpaths::companion({"../sim/springboard-sim"}).string(),
            (programpaths::programDir() / "../playground-device").lexically_normal().string()};
}

int usage(std::ostream& out, int status, const Defaults& d) {
    out << "usage: floattiles-playground [--host ADDR] [--port N] [--root DIR] [--sim PROGRAM] [--web DIR]\n"
           "  --host ADDR    address to listen on (default 127.0.0.1, this machine only)\n"
           "  --port N       port (default 8377; 0 picks a free one)\n"
           "  --root DIR     the phone's device root, kept between runs (default "
        << d.root << ")\n  --sim PROGRAM  springboard-sim (default " << d.sim
        << ")\n  --web DIR      the page's files (default " << d.web << ")\n";
    return status;
}

// Reads the options into `http` and `phone`; answers an exit status when
// the program should end at once (help, or a word it does not take).
std::optional<int> readOptions(const std::vector<std::string>& args, const Defaults& found, HttpOptions& http,
                               Phone::Options& phone) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") return usage(std::cout, 0, found);
        if (i + 1 >= args.size()) return usage(std::cerr, 2, found);
        const std::string& v = args[++i];
        if (a == "--host") http.host = v;
        else if (a == "--root") phone.root = v;
        else if (a == "--sim") phone.simProgram = v;
        else if (a == "--web") http.webRoot = v;
        else if (a == "--port") {
            try {
                http.port = std::stoi(v);
            } catch (const std::exception&) {
                return usage(std::cerr, 2, found);
            }
            if (http.port < 0 || http.port > 65535) return usage(std::cerr, 2, found);
        } else {
            return usage(std::cerr, 2, found);
        }
    }
    return std::nullopt;
}

// Signals are taken by one thread, which shuts the server down in order;
// every other thread, the child's spawner included, has them blocked. A
// write to a page that has gone must not end the process.
sigset_t blockSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

void printAddress(const HttpOptions& http, int port) {
    std::string shown = http.host.find(':') != std::string::npos ? "[" + http.host + "]" : http.host;
    if (shown == "0.0.0.0") shown = "127.0.0.1";
    std::cout << "FloatTiles playground: http://" << shown << ":" << port << "/" << std::endl;
    if (!isLoopbackHost(http.host))
        std::cout << "(listening on " << http.host << ": anyone who can reach this machine can use the phone)"
                  << std::endl;
    std::cout << "Press Ctrl-C to stop." << std::endl;
}

// The phone's clock follows the wall clock, in steps: one a display frame
// while anything moves, none while all is still but for the timers the
// phone has set, and one at once (at most a frame after the last) when a
// request comes.
void stepPhone(Phone& phone, const std::atomic<bool>& running) {
    using namespace std::chrono;
    constexpr auto frame = duration_cast<steady_clock::duration>(duration<double>(1.0 / 60));
    while (running) {
        auto started = steady_clock::now();
        double wanted = std::clamp(phone.tick(), 0.0, 3600.0);
        phone.waitForStep(started + frame, started + duration_cast<steady_clock::duration>(duration<double>(wanted)));
    }
}

} // namespace

int main(int argc, char** argv) {
    const Defaults found = defaults();
    HttpOptions http;
    http.webRoot = found.web;
    Phone::Options phoneOptions;
    phoneOptions.simProgram = found.sim;
    phoneOptions.root = found.root;
    if (auto status = readOptions(std::vector<std::string>(argv + 1, argv + argc), found, http, phoneOptions))
        return *status;
    sigset_t signals = blockSignals();

    FrameHub hub;
    Phone phone(phoneOptions, hub);
    HttpApi api(phone, hub, http);
    int port = api.bind();
    if (port < 0) {
        std::cerr << "floattiles-playground: cannot listen on " << http.host << ":" << http.port
                  << " (in use? --port 0 picks a free port)\n";
        return 1;
    }
    phone.start();

    std::atomic<bool> running{true};
    std::atomic<bool> signalled{false};
    std::thread signalThread([&] {
        int sig = 0;
        sigwait(&signals, &sig);
        signalled = true;
        running = false;
        hub.stop();
        api.stop();
        phone.wake();
    });
    std::thread pump([&] { stepPhone(phone, running); });
    printAddress(http, port);

    bool served = api.listen();
    running = false;
    hub.stop();
    phone.wake();
    if (!signalled) pthread_kill(signalThread.native_handle(), SIGUSR1);
    signalThread.join();
    pump.join();
    return served ? 0 : 1;
}
