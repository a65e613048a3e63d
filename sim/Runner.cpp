#include "sim/Runner.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "sim/Film.h"
#include "sim/Simulator.h"

namespace fs = std::filesystem;

namespace {

Simulator::Options simulatorOptions(const RunOptions& options, const std::string& root, std::ostream& out) {
    Simulator::Options o;
    o.root = root;
    o.deviceTemplate = options.deviceTemplate;
    o.output = [&out](const std::string& line) { out << line << "\n"; };
    return o;
}

int writeFilm(const std::unique_ptr<Film>& film, const std::string& path, std::ostream& out, std::ostream& err) {
    if (!film) return 0;
    film->detach();
    std::string error = film->write(path);
    if (!error.empty()) {
        err << "film " << path << ": " << error << "\n";
        return 1;
    }
    out << film->summary(path) << "\n";
    return 0;
}

// A failing line, in the trace where it happened and on standard error;
// with --dump-on-fail, the dump and the picture of that moment are kept.
void reportFailure(Simulator& sim, const RunOptions& options, const std::string& file, int number,
                   const std::string& reason, std::ostream& out, std::ostream& err) {
    std::string where = file + ":" + std::to_string(number);
    out << traceTime(sim.now()) << " failed " << where << ": " << reason << "\n";
    if (!options.dumpOnFail.empty()) {
        std::error_code ec;
        fs::create_directories(options.dumpOnFail, ec);
        std::string base =
            (fs::path(options.dumpOnFail) / (fs::path(file).stem().string() + "-line" + std::to_string(number)))
                .string();
        std::ofstream(base + ".json") << sim.dump().dump(2) << "\n";
        std::ofstream(base + ".svg") << sim.snapshotSvg();
        out << "  kept " << base << ".json and " << base << ".svg\n";
    }
    out.flush();
    err << where << ": " << reason << "\n";
}

} // namespace

int runScenarioFiles(const std::vector<std::string>& files, const RunOptions& options, std::ostream& out,
                     std::ostream& err) {
    int failures = 0;
    auto film = options.film.empty() ? nullptr : std::make_unique<Film>();
    for (const auto& file : files) {
        std::ifstream in(file);
        if (!in) {
            err << file << ": cannot read the scenario\n";
            ++failures;
            continue;
        }
        if (files.size() > 1) out << "== " << file << "\n";
        std::string root = options.root;
        if (!root.empty() && files.size() > 1) root = (fs::path(root) / fs::path(file).stem()).string();
        Simulator::Options o = simulatorOptions(options, root, out);
        // Built in a local first: assigning "." over the moved-in string
        // trips a false -Wrestrict in GCC 12 at -O2.
        std::string base = fs::path(file).parent_path().string();
        o.baseDirectory = base.empty() ? std::string(".") : std::move(base);
        Simulator sim(std::move(o));
        if (film) film->attach(sim);
        std::string line;
        int number = 0, fileFailures = 0;
        while (std::getline(in, line)) {
            ++number;
            std::string reason = sim.execute(line);
            if (reason.empty()) continue;
            reportFailure(sim, options, file, number, reason, out, err);
            ++fileFailures;
        }
        if (fileFailures) err << file << ": " << fileFailures << " line(s) failed\n";
        failures += fileFailures;
        if (film) film->detach();
    }
    return failures + writeFilm(film, options.film, out, err);
}

void runInteractive(std::istream& in, const RunOptions& options, std::ostream& out) {
    Simulator::Options o = simulatorOptions(options, options.root, out);
    o.compactDump = true;
    Simulator sim(std::move(o));
    std::string line;
    while (std::getline(in, line)) {
        std::string reason = sim.execute(line);
        std::string oneLine;
        for (char c : reason) oneLine += c == '\n' ? ' ' : c;
        out << (reason.empty() ? "ok" : "error: " + oneLine) << "\n";
        out.flush();
    }
}

int runDemo(const std::string& scenario, const RunOptions& options, std::ostream& out, std::ostream& err) {
    Simulator sim(simulatorOptions(options, options.root, out));
    auto film = options.film.empty() ? nullptr : std::make_unique<Film>();
    if (film) film->attach(sim);
    std::istringstream in(scenario);
    std::string line;
    int number = 0, failures = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string reason = sim.execute(line);
        if (reason.empty()) continue;
        if (sim.booted() && sim.dump()["plugin"].is_null()) {
            out << "-- (skipped without a plugin: " << reason << ")\n";
            continue;
        }
        reportFailure(sim, options, "demo", number, reason, out, err);
        ++failures;
    }
    return failures + writeFilm(film, options.film, out, err);
}

int runDescribe(const RunOptions& options, std::ostream& out, std::ostream& err) {
    // Always a fresh temporary root: describing a plugin must not touch a
    // phone someone keeps.
    Simulator::Options o;
    o.deviceTemplate = options.deviceTemplate;
    o.keepTrace = false;
    Simulator sim(std::move(o));
    Json description = sim.describePlugin();
    if (description.is_null()) {
        err << "springboard-sim: no loaded plugin describes itself\n";
        return 1;
    }
    out << description.dump(2) << "\n";
    return 0;
}
