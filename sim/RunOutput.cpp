// What a run writes out: the dump, the picture and the scenario's own
// captions.
#include "sim/RunOutput.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "sim/DeviceSetUp.h"
#include "sim/Raster.h"
#include "sim/ScenarioParser.h"
#include "sim/SimulatorCore.h"
#include "sim/SimulatorWatcher.h"

namespace fs = std::filesystem;

const std::vector<CommandRow<RunOutput>>& RunOutput::rows() {
    using S = RunOutput;
    using P = CommandPhase;
    static const std::vector<CommandRow<RunOutput>> table = {
        {"dump", "dump [PATH.json|-|host]", P::Any, nullptr, &S::cmdDump},
        {"snapshot", "snapshot PATH.svg | snapshot PATH.png | snapshot -", P::Any, nullptr, &S::cmdSnapshot},
        {"echo", "echo TEXT...", P::Any, nullptr, &S::cmdEcho},
    };
    return table;
}

void RunOutput::print(const std::string& line) const {
    if (output_) output_(line);
}

std::string RunOutput::cmdDump(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() > 2) return c.usage;
    // The host alone, on one line, for a tool that asks often: no plugin,
    // no files read.
    if (w.size() == 2 && w[1].text == "host" && !w[1].quoted) {
        print(Json{{"host", core_.hostDump()}}.dump());
        return "";
    }
    Json d = core_.dump();
    if (w.size() == 1) {
        print(compactDump_ ? d.dump() : d.dump(2));
        return "";
    }
    // "-" is standard output, on one line, as for `snapshot -`.
    if (w[1].text == "-" && !w[1].quoted) {
        print(d.dump());
        return "";
    }
    if (fs::path(w[1].text).extension() != ".json")
        return "dump writes JSON: name the file PATH.json, not " + w[1].text;
    std::ofstream out(core_.resolvePath(w[1].text));
    if (!out) return "cannot write " + core_.resolvePath(w[1].text);
    out << d.dump(2) << "\n";
    return "";
}

std::string RunOutput::cmdSnapshot(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    std::string svg = core_.snapshotSvg();
    if (w[1].text == "-" && !w[1].quoted) {
        // One line, for the interactive protocol.
        std::string oneLine;
        for (char c : svg) oneLine += c == '\n' ? ' ' : c;
        print(oneLine);
        return "";
    }
    std::string path = core_.resolvePath(w[1].text);
    std::string extension = fs::path(path).extension().string();
    for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (extension == ".png") {
        // As the phone's own screenshot: a pixel per point at the screen's
        // scale.
        std::string error;
        const CGSize size = core_.screenSize();
        const double scale = setUp_.screenScale();
        Bitmap bitmap = rasteriseSvg(svg, static_cast<int>(std::lround(size.width * scale)),
                                     static_cast<int>(std::lround(size.height * scale)), error);
        if (bitmap.empty()) return "cannot draw the picture: " + error;
        return writePng(bitmap, path);
    }
    if (extension != ".svg")
        return "snapshot writes a .svg or a .png file (or - for the SVG on standard output), not " +
               quoteText(w[1].text);
    std::ofstream out(path);
    if (!out) return "cannot write " + path;
    out << svg;
    return "";
}

std::string RunOutput::cmdEcho(const CommandCall& c) {
    const Words& w = c.words;
    std::string text;
    for (size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i].text;
    print("-- " + text);
    if (auto* watcher = core_.watcher()) watcher->caption(text);
    return "";
}
