// The playground's screens: a small phone, a large phone, a tablet. The
// phone restarts on the chosen one, and a recording begins again with it,
// since a scenario's `screen` line comes before its boot.
#include "playground/server/Phone.h"

namespace playground {

namespace {

struct ScreenPreset {
    const char* name;
    const char* label;
    double width, height, scale;
};

const ScreenPreset kScreenPresets[] = {
    {"small", "Small phone, 320x568", 320, 568, 2},
    {"phone", "Phone, 375x667", 375, 667, 2},
    {"large", "Large phone, 414x896", 414, 896, 3},
    {"tablet", "Tablet, 768x1024", 768, 1024, 2},
};

} // namespace

Json screenPresets() {
    Json list = Json::array();
    for (const auto& p : kScreenPresets)
        list.push_back(
            {{"name", p.name}, {"label", p.label}, {"width", p.width}, {"height", p.height}, {"scale", p.scale}});
    return list;
}

Json Phone::actScreen(const Json& r) {
    const Json& wanted = r.is_object() && r.contains("preset") ? r["preset"] : Json();
    const ScreenPreset* preset = nullptr;
    for (const auto& p : kScreenPresets)
        if (wanted == p.name) preset = &p;
    if (!preset) return {{"ok", false}, {"error", "no such screen (small, phone, large or tablet)"}};
    hub_.addTrace(FrameHub::TraceKind::Input, std::string("screen: ") + preset->label);
    options_.width = preset->width;
    options_.height = preset->height;
    options_.scale = preset->scale;
    stopChild();
    recentFailures_ = 0;
    startChild();
    return {{"ok", true}};
}

} // namespace playground
