// What the page is sent: the latest picture of the screen, the latest dump,
// a few facts about the phone (its virtual time, how many times the home
// screen started), and the trace as it grows. Each page keeps a cursor and
// is sent only what changed since; a page that connects late gets the
// current picture and as much of the trace as is kept.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace playground {

class FrameHub {
public:
    using Json = nlohmann::json;

    // The kinds of trace line: what the home screen printed, what the
    // playground told it (a person's input), and the playground's notes.
    enum class TraceKind { Sim, Input, Note };

    struct Cursor {
        uint64_t svg = 0, dump = 0, meta = 0, trace = 0;
    };

    explicit FrameHub(size_t traceCapacity = 4000);

    // Each replaces what the page is shown; an equal value is no change.
    // A page that has the picture before is sent only what changed in it:
    // {"svgPatch": {"at", "cut", "text"}}, the new picture being the old
    // one with `cut` characters at `at` replaced by `text`.
    void setSvg(const std::string& svg);
    void setDump(const std::string& dumpJson);
    void setMeta(const Json& meta);
    void addTrace(TraceKind kind, const std::string& text);
    // Wakes the pages' connections once a step's changes are all in.
    void flush();

    // The changes since `cursor` as one JSON object, and the cursor moved
    // past them. Waits up to `timeout` for a change; nullopt when there was
    // none, or when the hub stopped.
    std::optional<std::string> next(Cursor& cursor, std::chrono::milliseconds timeout);
    // Everything, as for a page that has seen nothing.
    std::string full();

    // Ends every wait, for good: the server is going down.
    void stop();
    bool stopped() const;

    Json meta() const;

private:
    std::string deltaLocked(Cursor& cursor) const;
    bool changedLocked(const Cursor& cursor) const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopped_ = false;
    size_t traceCapacity_;

    std::string svg_, svgJson_;
    uint64_t svgVersion_ = 0;
    // The change from the picture before: what a page that has that one
    // is sent instead of the whole picture (empty when there is none).
    std::string svgPatchJson_;
    std::string dump_;
    uint64_t dumpVersion_ = 0;
    Json meta_ = Json::object();
    std::string metaText_ = "{}";
    uint64_t metaVersion_ = 0;
    struct TraceEntry {
        uint64_t seq;
        TraceKind kind;
        std::string text;
    };
    std::deque<TraceEntry> trace_;
    uint64_t traceSeq_ = 0;
};

} // namespace playground
