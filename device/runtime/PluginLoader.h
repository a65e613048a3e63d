// Loads the plugins of a device root as CydiaSubstrate does: every library
// in Library/MobileSubstrate/DynamicLibraries whose filter plist
// (Filter -> Bundles, an array of bundle identifiers) names the host's
// bundle identifier is opened with dlopen, which runs its module
// initialisers. At the end of the process the plugins are closed again, so
// the next process loads them afresh.
#pragma once

#include <string>
#include <vector>

struct LoadedPlugin {
    std::string name;   // file name, e.g. "Tweak.so"
    std::string path;   // path on this machine
    void* handle = nullptr;
};

class PluginLoader {
public:
    // Loads the matching plugins in file-name order; answers their names.
    // Problems (a library that fails to open, a malformed filter) are
    // reported through `errors` and skip that library.
    static std::vector<std::string> loadPlugins(const std::string& hostBundleIdentifier,
                                                std::vector<std::string>* errors = nullptr);
    static const std::vector<LoadedPlugin>& loaded();
    // dlsym in the loaded plugins, first match; nullptr if none has it.
    static void* findSymbol(const std::string& name);
};
