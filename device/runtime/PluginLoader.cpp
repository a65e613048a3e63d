#include "runtime/PluginLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "foundation/DevicePaths.h"
#include "foundation/PropertyList.h"
#include "runtime/Process.h"

namespace {

constexpr const char* kPluginDirectory = "/Library/MobileSubstrate/DynamicLibraries";

// The plugins of this process. They are closed at its end, so that the
// next process opens them afresh and their initialisers run again, as
// after a respring on the device.
struct LoadedPlugins : ProcessComponent {
    std::vector<LoadedPlugin> plugins;
    bool unloadRegistered = false;
};

// Closes the plugins, newest first. Runs after every component's
// shutdown(), so nothing of the process still points into their code.
void unloadPlugins() {
    auto plugins = std::move(Process::current().get<LoadedPlugins>().plugins);
    for (auto it = plugins.rbegin(); it != plugins.rend(); ++it) {
        if (!it->handle) continue;
        if (dlclose(it->handle) != 0) {
            const char* why = dlerror();
            std::fprintf(stderr, "PluginLoader: dlclose(%s) failed: %s\n", it->path.c_str(), why ? why : "?");
            continue;
        }
        // Something (a unique symbol, a thread-local destructor, another
        // handle) can keep a library mapped after its last dlclose; the
        // next process would then not run its initialisers.
        if (void* still = dlopen(it->path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
            std::fprintf(stderr, "PluginLoader: %s is still loaded after dlclose\n", it->path.c_str());
            dlclose(still);
        }
    }
}

void report(std::vector<std::string>* errors, std::string message) {
    if (errors) errors->push_back(std::move(message));
}

// The bundle identifiers of a filter plist ("Filter" -> "Bundles"), or
// nothing when the filter is missing or malformed (reported).
std::optional<std::vector<std::string>> filterBundles(const std::string& plistPath, const std::string& libraryName,
                                                      std::vector<std::string>* errors) {
    std::vector<uint8_t> bytes;
    auto read = PropertyList::readFileBytes(plistPath, bytes);
    if (read == PropertyList::ReadResult::Missing) {
        report(errors, libraryName + ": no filter plist; not loaded");
        return std::nullopt;
    }
    auto root = std::dynamic_pointer_cast<NSDictionary>(
        read == PropertyList::ReadResult::Ok ? PropertyList::parse(bytes) : nullptr);
    auto filter = root ? std::dynamic_pointer_cast<NSDictionary>(root->objectForKey("Filter")) : nullptr;
    auto bundles = filter ? std::dynamic_pointer_cast<NSArray>(filter->objectForKey("Bundles")) : nullptr;
    if (!bundles) {
        report(errors, libraryName + ": malformed filter plist (needs Filter -> Bundles, an array); not loaded");
        return std::nullopt;
    }
    std::vector<std::string> ids;
    for (const id& item : *bundles)
        if (auto s = std::dynamic_pointer_cast<NSString>(item)) ids.push_back(s->UTF8String());
    return ids;
}

} // namespace

std::vector<std::string> PluginLoader::loadPlugins(const std::string& hostBundleIdentifier,
                                                   std::vector<std::string>* errors) {
    namespace fs = std::filesystem;
    std::vector<std::string> loadedNames;
    std::string dir = DevicePaths::map(kPluginDirectory);
    if (dir.empty()) {
        report(errors, "no device root: no plugins loaded");
        return loadedNames;
    }
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return loadedNames; // no plugins installed
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0 && it->is_regular_file(ec))
            names.push_back(name);
    }
    if (ec) report(errors, "cannot list " + dir + ": " + ec.message());
    std::sort(names.begin(), names.end());

    auto& state = Process::current().get<LoadedPlugins>();
    for (const std::string& name : names) {
        std::string path = dir + "/" + name;
        bool already = std::any_of(state.plugins.begin(), state.plugins.end(),
                                   [&](const LoadedPlugin& p) { return p.path == path; });
        if (already) continue;
        auto bundles = filterBundles(dir + "/" + name.substr(0, name.size() - 3) + ".plist", name, errors);
        if (!bundles) continue;
        if (std::find(bundles->begin(), bundles->end(), hostBundleIdentifier) == bundles->end()) continue;
        if (!state.unloadRegistered) {
            // Before the first dlopen: its initialisers may already need it.
            Process::current().atTermination(unloadPlugins);
            state.unloadRegistered = true;
        }
        dlerror();
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            report(errors, name + ": " + (why ? why : "dlopen failed"));
            continue;
        }
        // The initialisers have run inside dlopen; the list is looked up
        // again in case they reached for process state.
        Process::current().get<LoadedPlugins>().plugins.push_back({name, path, handle});
        loadedNames.push_back(name);
    }
    return loadedNames;
}

const std::vector<LoadedPlugin>& PluginLoader::loaded() { return Process::current().get<LoadedPlugins>().plugins; }

void* PluginLoader::findSymbol(const std::string& name) {
    for (const LoadedPlugin& p : loaded()) {
        if (!p.handle) continue;
        if (void* sym = dlsym(p.handle, name.c_str())) return sym;
    }
    return nullptr;
}
