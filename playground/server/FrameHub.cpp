#include "playground/server/FrameHub.h"

#include <algorithm>

namespace playground {

namespace {

const char* kindName(FrameHub::TraceKind kind) {
    switch (kind) {
    case FrameHub::TraceKind::Sim: return "sim";
    case FrameHub::TraceKind::Input: return "input";
    case FrameHub::TraceKind::Note: return "note";
    }
    return "sim";
}

} // namespace

FrameHub::FrameHub(size_t traceCapacity) : traceCapacity_(traceCapacity ? traceCapacity : 1) {}

void FrameHub::setSvg(const std::string& svg) {
    std::lock_guard lock(mutex_);
    if (svgVersion_ && svg == svg_) return;
    svgPatchJson_.clear();
    // Offsets count bytes here and characters in the page: they agree
    // only for a picture in ASCII, and any other is sent whole.
    auto ascii = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (svgVersion_ && ascii(svg) && ascii(svg_)) {
        size_t at = 0, most = std::min(svg.size(), svg_.size());
        while (at < most && svg[at] == svg_[at]) ++at;
        size_t tail = 0;
        while (tail < most - at && svg[svg.size() - 1 - tail] == svg_[svg_.size() - 1 - tail]) ++tail;
        std::string text = svg.substr(at, svg.size() - tail - at);
        // A patch worth sending is much smaller than the picture.
        if (text.size() * 4 < svg.size())
            svgPatchJson_ = Json{{"at", at}, {"cut", svg_.size() - tail - at}, {"text", text}}.dump();
    }
    svg_ = svg;
    svgJson_ = Json(svg).dump();
    ++svgVersion_;
}

void FrameHub::setDump(const std::string& dumpJson) {
    std::lock_guard lock(mutex_);
    if (dumpVersion_ && dumpJson == dump_) return;
    dump_ = dumpJson;
    ++dumpVersion_;
}

void FrameHub::setMeta(const Json& meta) {
    std::lock_guard lock(mutex_);
    if (metaVersion_ && meta == meta_) return;
    meta_ = meta;
    metaText_ = meta.dump();
    ++metaVersion_;
}

void FrameHub::addTrace(TraceKind kind, const std::string& text) {
    std::lock_guard lock(mutex_);
    trace_.push_back({++traceSeq_, kind, text});
    while (trace_.size() > traceCapacity_) trace_.pop_front();
}

void FrameHub::flush() { changed_.notify_all(); }

bool FrameHub::changedLocked(const Cursor& c) const {
    return svgVersion_ > c.svg || dumpVersion_ > c.dump || metaVersion_ > c.meta || traceSeq_ > c.trace;
}

std::string FrameHub::deltaLocked(Cursor& c) const {
    // Built by hand: the dump is already JSON text, and the picture's
    // escaped form is made once per picture, not once per page.
    std::string out = "{\"meta\":" + metaText_;
    if (svgVersion_ > c.svg && c.svg && c.svg + 1 == svgVersion_ && !svgPatchJson_.empty())
        out += ",\"svgPatch\":" + svgPatchJson_;
    else if (svgVersion_ > c.svg && !svgJson_.empty()) out += ",\"svg\":" + svgJson_;
    if (dumpVersion_ > c.dump && !dump_.empty()) out += ",\"dump\":" + dump_;
    out += ",\"trace\":[";
    bool first = true;
    for (const auto& e : trace_) {
        if (e.seq <= c.trace) continue;
        if (!first) out += ',';
        first = false;
        out += "{\"seq\":" + std::to_string(e.seq) + ",\"kind\":\"" + kindName(e.kind) + "\",\"text\":" +
               Json(e.text).dump(-1, ' ', false, Json::error_handler_t::replace) + "}";
    }
    out += "]}";
    c.svg = svgVersion_;
    c.dump = dumpVersion_;
    c.meta = metaVersion_;
    c.trace = traceSeq_;
    return out;
}

std::optional<std::string> FrameHub::next(Cursor& cursor, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return stopped_ || changedLocked(cursor); });
    if (stopped_ || !changedLocked(cursor)) return std::nullopt;
    return deltaLocked(cursor);
}

std::string FrameHub::full() {
    std::lock_guard lock(mutex_);
    Cursor none;
    return deltaLocked(none);
}

void FrameHub::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

FrameHub::Json FrameHub::meta() const {
    std::lock_guard lock(mutex_);
    return meta_;
}

bool FrameHub::stopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

} // namespace playground
