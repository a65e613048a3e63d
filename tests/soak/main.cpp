// ft-soak: the event storm from the command line.
//
//   ft-soak [--seed N] [--events N] [--full-check-every N] [--print-from STEP]
//           [--template DIR] [--inject window|timer|file|crash --inject-at STEP]
//
// Prints the seed first, then a summary: events per second, how often each
// event came, the menu picks. A failure prints the step, the reason, the
// last events and the command that replays it; a crash prints the seed and
// the step from the signal handler (or, under the sanitizers, from their
// death callback). Exit status: 0 passed, 1 failed, 2 bad arguments.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "soak/Soak.h"

#if defined(__SANITIZE_ADDRESS__)
#define FT_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FT_SOAK_SANITIZED 1
#endif
#endif
#ifdef FT_SOAK_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

// Async-signal-safe: no allocation, no stdio.
void writeNumber(uint64_t n) {
    char buf[24];
    int i = sizeof buf;
    do buf[--i] = static_cast<char>('0' + n % 10);
    while ((n /= 10) != 0 && i > 0);
    ssize_t ignored = ::write(STDERR_FILENO, buf + i, sizeof buf - static_cast<size_t>(i));
    (void)ignored;
}

void writeText(const char* s) {
    ssize_t ignored = ::write(STDERR_FILENO, s, std::strlen(s));
    (void)ignored;
}

void reportDeath() {
    writeText("\nsoak: CRASHED at step ");
    writeNumber(soakCurrentStep());
    writeText(" (seed ");
    writeNumber(soakCurrentSeed());
    writeText(kSoakSanitized ? "); replay with: scripts/soak --sanitize --seed " : "); replay with: scripts/soak --seed ");
    writeNumber(soakCurrentSeed());
    writeText(" --events ");
    writeNumber(soakCurrentStep() + 1);
    writeText(" --print-from ");
    uint64_t step = soakCurrentStep();
    writeNumber(step > 40 ? step - 40 : 0);
    writeText("\n");
}

void onFatalSignal(int sig) {
    reportDeath();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

} // namespace

#ifdef FT_SOAK_SANITIZED
// Undefined behaviour is reported by a runtime of its own, which knows
// nothing of the death callback: it aborts instead, and the SIGABRT
// handler names the step.
extern "C" const char* __ubsan_default_options() { return "abort_on_error=1:print_stacktrace=1"; }
#endif

namespace {

void installCrashReport() {
#ifdef FT_SOAK_SANITIZED
    // The sanitizers report the fault themselves; they call this as they die.
    __sanitizer_set_death_callback(reportDeath);
    ::signal(SIGABRT, onFatalSignal);
#else
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) ::signal(sig, onFatalSignal);
#endif
}

bool parseCount(const char* text, uint64_t& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (*end != '\0' || text[0] == '-') return false;
    out = v;
    return true;
}

int usage() {
    std::cerr << "usage: ft-soak [--seed N] [--events N] [--full-check-every N] [--print-from STEP]\n"
                 "               [--template DIR] [--inject window|timer|file|crash --inject-at STEP]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    SoakOptions options;
#ifdef FT_DEVICE_TEMPLATE
    options.deviceTemplate = FT_DEVICE_TEMPLATE;
#endif
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        uint64_t n = 0;
        if (arg == "--seed" && parseCount(value, n)) options.seed = n;
        else if (arg == "--events" && parseCount(value, n)) options.events = n;
        else if (arg == "--full-check-every" && parseCount(value, n)) options.fullCheckEvery = n;
        else if (arg == "--print-from" && parseCount(value, n)) options.printFrom = static_cast<int64_t>(n);
        else if (arg == "--inject-at" && parseCount(value, n)) options.injectAt = n;
        else if (arg == "--template" && value) options.deviceTemplate = value;
        else if (arg == "--inject" && value) options.inject = value;
        else return usage();
        ++i;
    }
    if (!options.inject.empty() && options.inject != "window" && options.inject != "timer" &&
        options.inject != "file" && options.inject != "crash")
        return usage();

    installCrashReport();
    std::cout << "soak: seed " << options.seed << ", " << options.events << " events" << std::endl;
    SoakReport report = runSoak(options, std::cout);

    std::printf("soak: %llu events in %.1f s: %.0f events/s; %llu boots, %llu alerts, %llu plugin writes, "
                "%llu full checks, %llu pass-through probes; bubbles visible at %.0f%% of the steps\n",
                static_cast<unsigned long long>(report.steps), report.seconds,
                report.seconds > 0 ? static_cast<double>(report.steps) / report.seconds : 0.0,
                static_cast<unsigned long long>(report.boots), static_cast<unsigned long long>(report.alerts),
                static_cast<unsigned long long>(report.pluginWrites),
                static_cast<unsigned long long>(report.fullChecks), static_cast<unsigned long long>(report.probes),
                report.steps ? 100.0 * static_cast<double>(report.stepsWithVisibleBubbles) / static_cast<double>(report.steps)
                             : 0.0);
    std::string counts;
    for (size_t k = 0; k < report.counts.size(); ++k)
        counts += std::string(k ? ", " : "") + soakEventName(static_cast<SoakEventKind>(k)) + " " +
                  std::to_string(report.counts[k]);
    std::printf("soak: events: %s\n", counts.c_str());
    std::string picks;
    for (const auto& [title, n] : report.menuPicks) picks += (picks.empty() ? "" : ", ") + title + " " + std::to_string(n);
    std::printf("soak: menu picks: %s\n", picks.empty() ? "none" : picks.c_str());

    if (!report.passed) return 1;
    // A long storm that never reached some event, or some menu action,
    // tested less than it claims.
    if (options.events >= 50000) {
        std::string missing;
        for (size_t k = 0; k < report.counts.size(); ++k)
            if (report.counts[k] == 0) missing += std::string(" ") + soakEventName(static_cast<SoakEventKind>(k));
        for (const char* action : {"Hide NOW (Current App Until Respring)", "Add Current App To Blacklist",
                                   "Save Current Position", "Align By This Button (Horizontally)",
                                   "Align By This Button (Vertically)", "Cancel", "Lock Float Tiles",
                                   "Unlock Float Tiles"})
            if (!report.menuPicks.count("\"" + std::string(action) + "\"")) missing += std::string(" \"") + action + "\"";
        if (!missing.empty()) {
            std::printf("soak: FAILED (seed %llu): the storm never reached:%s\n",
                        static_cast<unsigned long long>(options.seed), missing.c_str());
            return 1;
        }
    }
    std::printf("soak: passed\n");
    return 0;
}
