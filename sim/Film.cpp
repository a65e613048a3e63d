#include "sim/Film.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/RunLoop.h"
#include "sim/Snapshot.h"

namespace {

// The finger's trail: its last few points, oldest first.
constexpr size_t kTrailPoints = 6;

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

// A caption's lines: words as they fit a line of `columns` characters (a
// word longer than a line has one to itself), at most `most` lines, the last
// ending in an ellipsis where the text goes on.
std::vector<std::string> captionLines(const std::string& text, size_t columns, size_t most) {
    std::vector<std::string> lines;
    std::string line, word;
    auto flush = [&] {
        if (!line.empty()) lines.push_back(line);
        line.clear();
    };
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ' ') {
            word += text[i];
            continue;
        }
        if (word.empty()) continue;
        if (!line.empty() && line.size() + 1 + word.size() > columns) flush();
        line += (line.empty() ? "" : " ") + word;
        word.clear();
    }
    flush();
    if (lines.size() > most) {
        lines.resize(most);
        lines.back() += " …";
    }
    return lines;
}

} // namespace

// The scenario's own words about what happens, over the bottom of the
// screen, in a dark band that reads on any picture.
std::string Film::captionSvg() const {
    const double w = sim_->screenWidth(), h = sim_->screenHeight();
    const double size = std::clamp(w / 25, 12.0, 22.0);
    const double lineHeight = size * 1.3;
    // Glyphs about 0.55 of the size wide on average, a margin either side.
    const auto columns = static_cast<size_t>(std::max(8.0, (w - 3 * size) / (size * 0.55)));
    auto lines = captionLines(caption_, columns, 3);
    if (lines.empty()) return "";
    const double band = static_cast<double>(lines.size()) * lineHeight + size;
    const double top = h - band - size;
    std::string out = "<g class=\"caption\"><rect x=\"" + num(size / 2) + "\" y=\"" + num(top) + "\" width=\"" +
                      num(w - size) + "\" height=\"" + num(band) + "\" rx=\"" + num(size / 2) +
                      "\" fill=\"#000000\" fill-opacity=\"0.7\"/>";
    for (size_t i = 0; i < lines.size(); ++i) {
        const double y = top + size / 2 + lineHeight * (static_cast<double>(i) + 0.8);
        out += "<text x=\"" + num(w / 2) + "\" y=\"" + num(y) + "\" text-anchor=\"middle\" font-size=\"" + num(size) +
               "\" fill=\"#ffffff\">" + escapeXml(lines[i]) + "</text>";
    }
    return out + "</g>\n";
}

void Film::attach(Simulator& sim) {
    sim_ = &sim;
    sim.setWatcher(this);
    fingerDown_ = false;
    trail_.clear();
    lastTick_ = -1;
}

void Film::detach() {
    if (sim_) sim_->setWatcher(nullptr);
    sim_ = nullptr;
}

// The simulator's picture, then the caption, then the finger over
// everything: a translucent dot where it touches and a fading line through
// its last points.
std::string Film::picture() const {
    std::string svg = sim_->snapshotSvg();
    size_t close = svg.rfind("</svg>");
    if (close == std::string::npos) return svg;
    if (!caption_.empty() && NSRunLoop::mainRunLoop().now() < captionUntil_) {
        std::string band = captionSvg();
        svg.insert(close, band);
        close += band.size();
    }
    if (!fingerDown_) return svg;
    std::string finger = "<g class=\"finger\">";
    for (size_t i = 1; i < trail_.size(); ++i) {
        double opacity = 0.5 * static_cast<double>(i) / static_cast<double>(trail_.size());
        finger += "<line x1=\"" + num(trail_[i - 1].first) + "\" y1=\"" + num(trail_[i - 1].second) + "\" x2=\"" +
                  num(trail_[i].first) + "\" y2=\"" + num(trail_[i].second) +
                  "\" stroke=\"#ffffff\" stroke-width=\"8\" stroke-linecap=\"round\" stroke-opacity=\"" + num(opacity) +
                  "\"/>";
    }
    finger += "<circle cx=\"" + num(fingerX_) + "\" cy=\"" + num(fingerY_) +
              "\" r=\"14\" fill=\"#ffffff\" fill-opacity=\"0.55\" stroke=\"#202020\" stroke-opacity=\"0.6\" "
              "stroke-width=\"2\"/></g>\n";
    return svg.insert(close, finger);
}

// A new picture is a new frame; the same one again lengthens the last
// frame when asked to (a finger held still), else adds nothing.
void Film::add(long count, bool lengthen) {
    if (!sim_ || !sim_->booted()) return;
    std::string svg = picture();
    if (!frames_.empty() && frames_.back().svg == svg) {
        if (lengthen) frames_.back().count += count;
        return;
    }
    frames_.push_back({std::move(svg), sim_->screenWidth(), sim_->screenHeight(), sim_->screenScale(), count});
    stillFrames_ = 0;
}

bool Film::still() const { return !fingerDown_ && stillFrames_ >= static_cast<long>(kStillSeconds * kFramesPerSecond); }

void Film::clockTick() {
    if (!sim_ || !sim_->booted()) return;
    const double interval = frameInterval();
    const double now = NSRunLoop::mainRunLoop().now();
    // A leap over a still stretch: the frames it skipped are left out.
    if (lastTick_ >= 0 && now - lastTick_ > interval * 1.5) leftOut_ += now - lastTick_ - interval;
    lastTick_ = now;
    std::string svg = picture();
    if (!frames_.empty() && frames_.back().svg == svg) {
        if (++stillFrames_ > static_cast<long>(kStillSeconds * kFramesPerSecond)) {
            leftOut_ += interval;
            return;
        }
        frames_.back().count += 1;
        return;
    }
    frames_.push_back({std::move(svg), sim_->screenWidth(), sim_->screenHeight(), sim_->screenScale(), 1});
    stillFrames_ = 0;
}

void Film::finger(Finger what, double x, double y) {
    switch (what) {
    case Finger::Down:
        fingerDown_ = true;
        fingerX_ = x;
        fingerY_ = y;
        trail_.assign(1, {x, y});
        add(kFingerFrames, true);
        break;
    case Finger::Move:
        fingerX_ = x;
        fingerY_ = y;
        trail_.emplace_back(x, y);
        while (trail_.size() > kTrailPoints) trail_.pop_front();
        add(1, true);
        break;
    case Finger::Up:
    case Finger::Cancel:
        fingerDown_ = false;
        trail_.clear();
        add(kFingerFrames, true);
        break;
    }
}

void Film::commandEnded() { add(kChangeFrames, false); }

void Film::caption(const std::string& text) {
    caption_ = text;
    captionUntil_ = NSRunLoop::mainRunLoop().now() + kCaptionSeconds;
    // Time to read it before anything else happens.
    add(kCaptionFrames, true);
}

long Film::frameCount() const {
    long n = 0;
    for (const auto& f : frames_) n += f.count;
    const long end = static_cast<long>(kEndSeconds * kFramesPerSecond);
    if (!frames_.empty() && frames_.back().count < end) n += end - frames_.back().count;
    return n;
}

int Film::pixelWidth() const {
    double w = 0;
    for (const auto& f : frames_) w = std::max(w, f.width * f.scale);
    return static_cast<int>(std::lround(w));
}

int Film::pixelHeight() const {
    double h = 0;
    for (const auto& f : frames_) h = std::max(h, f.height * f.scale);
    return static_cast<int>(std::lround(h));
}

std::string Film::summary(const std::string& path) const {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "-- film %s: %ld frames at 30 a second (%.1f s), %dx%d; a still phone's waits over %.0f s "
                  "shortened (%.1f s left out)",
                  path.c_str(), frameCount(), static_cast<double>(frameCount()) / kFramesPerSecond, pixelWidth(),
                  pixelHeight(), kStillSeconds, leftOut_);
    return buf;
}
