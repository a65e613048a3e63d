// springboard-sim: runs scenarios on the simulated phone.
//
//   springboard-sim                       the built-in demo (writes demo.svg)
//   springboard-sim run [--root DIR] [--dump-on-fail DIR] FILE...
//   springboard-sim run [--root DIR] -    one command per line from stdin
//   springboard-sim help                  this, and every scenario command
//   springboard-sim describe              the plugin's settings table, files, prefixes
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "sim/DemoScenario.h"
#include "sim/ProgramPaths.h"
#include "sim/Runner.h"
#include "sim/Simulator.h"

namespace {

int usage(std::ostream& out, int status) {
    out << "usage: springboard-sim                          run the built-in demo (writes demo.svg)\n"
           "       springboard-sim run [--root DIR] FILE... run scenario files, each on a fresh device\n"
           "       springboard-sim run [--root DIR] -       read commands from standard input, answer each\n"
           "       springboard-sim help                     this, and every command a scenario can use\n"
           "       springboard-sim describe                 print the plugin's settings table and files as JSON\n"
           "--root DIR keeps the device root in DIR instead of a temporary folder.\n"
           "--dump-on-fail DIR keeps the dump (FILE-lineN.json) and the picture (FILE-lineN.svg) of each\n"
           "  failing line in DIR.\n";
    return status;
}

// The scenario commands, one form a line, straight from the simulator's
// own table, so that the list cannot fall behind the language.
int help(std::ostream& out) {
    usage(out, 0);
    out << "\nScenario commands (docs/scenarios.md explains each):\n";
    for (const auto& [name, usageLine] : Simulator::commandUsages()) {
        std::string forms = usageLine;
        size_t start = 0;
        while (true) {
            size_t bar = forms.find(" | ", start);
            out << "  " << forms.substr(start, bar == std::string::npos ? std::string::npos : bar - start) << "\n";
            if (bar == std::string::npos) break;
            start = bar + 3;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    RunOptions options;
    // The plugin and its filter come from the device template, installed or
    // as built; without one the phone would start with no plugin at all.
    std::filesystem::path deviceTemplate = programpaths::companion({FT_INSTALLED_TEMPLATE, "../device-template"});
    std::error_code ec;
    if (!std::filesystem::is_directory(deviceTemplate, ec))
        std::cerr << "springboard-sim: no device template at " << deviceTemplate.string()
                  << ": the phone starts without plugins\n";
    options.deviceTemplate = deviceTemplate.string();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--root") {
            if (i + 1 >= args.size()) return usage(std::cerr, 2);
            options.root = args[++i];
        } else if (args[i] == "--dump-on-fail") {
            if (i + 1 >= args.size()) return usage(std::cerr, 2);
            options.dumpOnFail = args[++i];
        } else if (args[i] == "--help" || args[i] == "-h") {
            return help(std::cout);
        } else {
            positional.push_back(args[i]);
        }
    }
    try {
        if (positional.empty()) {
            int failures = runDemo(kDemoScenario, options, std::cout, std::cerr);
            std::cout << "-- wrote demo.svg\n";
            return failures ? 1 : 0;
        }
        if (positional[0] == "help" && positional.size() == 1) return help(std::cout);
        if (positional[0] == "describe" && positional.size() == 1) return runDescribe(options, std::cout, std::cerr);
        if (positional[0] != "run" || positional.size() < 2) return usage(std::cerr, 2);
        if (positional.size() == 2 && positional[1] == "-") {
            runInteractive(std::cin, options, std::cout);
            return 0;
        }
        std::vector<std::string> files(positional.begin() + 1, positional.end());
        return runScenarioFiles(files, options, std::cout, std::cerr) ? 1 : 0;
    } catch (const std::exception& e) {
        std::cerr << "springboard-sim: " << e.what() << "\n";
        return 2;
    }
}
