// Loading plugins from a device root by their filter, and unloading them at
// the end of the process so that the next process runs their initialisers
// again.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "device/foundation/TempDir.h"
#include "foundation/DevicePaths.h"
#include "runtime/PluginLoader.h"
#include "runtime/Process.h"
#include "runtime/Runtime.h"

namespace {

constexpr const char* kHost = "com.apple.springboard";

std::map<int64_t, int>& loads() {
    static std::map<int64_t, int> counts;
    return counts;
}

Value probeValue(const id&, const SEL&, const Args&) { return Value(1); }
Value pluginLoaded(const id&, const SEL&, const Args& args) {
    ++loads()[args.empty() ? 0 : args[0].intValue()];
    return {};
}

class ProbeObject : public NSObject {
public:
    std::string className() const override { return "FTPluginProbe"; }
};

void defineProbe() {
    Class* cls = Runtime::current().defineClass("FTPluginProbe");
    cls->addMethod("value", probeValue);
    cls->addClassMethod("pluginLoaded:", pluginLoaded);
}

std::string filterPlist(const std::vector<std::string>& bundles) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                      "<key>Filter</key><dict><key>Bundles</key><array>";
    for (const auto& b : bundles) xml += "<string>" + b + "</string>";
    return xml + "</array></dict></dict></plist>";
}

class PluginLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Process::terminate();
        ASSERT_FALSE(root.path().empty());
        DevicePaths::setRoot(root.path());
        dir = root / "Library/MobileSubstrate/DynamicLibraries";
        std::filesystem::create_directories(dir);
        loads().clear();
        defineProbe();
    }
    void TearDown() override { Process::terminate(); }

    void install(const std::string& built, const std::string& name, const std::string& filter) {
        std::filesystem::copy_file(built, dir + "/" + name + ".so");
        if (!filter.empty()) writeText(dir + "/" + name + ".plist", filter);
    }

    int hookedValue() { return static_cast<int>(msg(std::make_shared<ProbeObject>(), "value").intValue()); }

    TempDir root;
    std::string dir;
};

} // namespace

// Tests that only the plugin whose filter names the host is opened, that its
// initialiser hooks the host class, and that its symbols can be found.
TEST_F(PluginLoaderTest, LoadsOnlyPluginsWhoseFilterNamesTheHost) {
    install(FT_TEST_HOOK_PLUGIN, "Hook", filterPlist({"com.apple.mobilesafari", kHost}));
    install(FT_TEST_OTHER_PLUGIN, "Other", filterPlist({"com.apple.mobilesafari"}));
    std::vector<std::string> errors;
    auto names = PluginLoader::loadPlugins(kHost, &errors);

    EXPECT_EQ(names, std::vector<std::string>{"Hook.so"});
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(loads()[1], 1);
    EXPECT_EQ(loads()[2], 0) << "a plugin for another process was opened";
    EXPECT_EQ(hookedValue(), 101);
    ASSERT_EQ(PluginLoader::loaded().size(), 1u);
    EXPECT_EQ(PluginLoader::loaded()[0].name, "Hook.so");
    EXPECT_NE(PluginLoader::findSymbol("FTTestHookPluginMarker"), nullptr);
    EXPECT_EQ(PluginLoader::findSymbol("NoSuchSymbolAnywhere"), nullptr);

    // Loading again in the same process opens nothing twice.
    EXPECT_TRUE(PluginLoader::loadPlugins(kHost).empty());
    EXPECT_EQ(loads()[1], 1);
}

// Tests that the end of the process really unloads the plugin, so the next
// process runs its initialiser again and gets its hook again.
TEST_F(PluginLoaderTest, TerminationUnloadsSoTheNextProcessReloads) {
    install(FT_TEST_HOOK_PLUGIN, "Hook", filterPlist({kHost}));
    ASSERT_EQ(PluginLoader::loadPlugins(kHost).size(), 1u);
    std::string path = PluginLoader::loaded()[0].path;
    EXPECT_EQ(hookedValue(), 101);

    Process::terminate();
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the plugin is still mapped";
    EXPECT_TRUE(PluginLoader::loaded().empty());

    defineProbe();
    EXPECT_EQ(hookedValue(), 1) << "the new process starts unhooked";
    ASSERT_EQ(PluginLoader::loadPlugins(kHost).size(), 1u);
    EXPECT_EQ(loads()[1], 2);
    EXPECT_EQ(hookedValue(), 101);
}

// Tests that plugins load in file-name order, each hooking on top of the one
// before, and that one broken library does not stop the others.
TEST_F(PluginLoaderTest, LoadsInNameOrderAndSkipsBrokenLibraries) {
    install(FT_TEST_HOOK_PLUGIN, "Zeta", filterPlist({kHost}));
    install(FT_TEST_HOOK_PLUGIN, "Alpha", filterPlist({kHost}));
    writeText(dir + "/Broken.so", "this is not a shared library");
    writeText(dir + "/Broken.plist", filterPlist({kHost}));
    std::vector<std::string> errors;
    auto names = PluginLoader::loadPlugins(kHost, &errors);

    EXPECT_EQ(names, (std::vector<std::string>{"Alpha.so", "Zeta.so"}));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Broken.so"), std::string::npos);
    EXPECT_EQ(loads()[1], 2);
    EXPECT_EQ(hookedValue(), 201) << "both hooks run, each reaching the one before";
}

// Tests that a missing or malformed filter skips the library and says why.
TEST_F(PluginLoaderTest, MissingOrMalformedFiltersSkipTheLibrary) {
    install(FT_TEST_HOOK_PLUGIN, "NoFilter", "");
    install(FT_TEST_HOOK_PLUGIN, "Garbage", "<plist><dict><key>Filter");
    install(FT_TEST_HOOK_PLUGIN, "NotArray", "<plist><dict><key>Filter</key><dict><key>Bundles</key>"
                                             "<string>com.apple.springboard</string></dict></dict></plist>");
    install(FT_TEST_HOOK_PLUGIN, "RootArray", "<plist><array><string>com.apple.springboard</string></array></plist>");
    writeText(dir + "/README.txt", "not a library");
    // A library with no name before its ".so" is no plugin, filter or not.
    install(FT_TEST_HOOK_PLUGIN, "", filterPlist({kHost}));
    std::vector<std::string> errors;
    EXPECT_TRUE(PluginLoader::loadPlugins(kHost, &errors).empty());
    EXPECT_EQ(loads()[1], 0);
    EXPECT_EQ(errors.size(), 4u);
    for (const char* name : {"NoFilter.so", "Garbage.so", "NotArray.so", "RootArray.so"})
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                                [&](const std::string& e) { return e.find(name) != std::string::npos; }))
            << name;
}

// Tests that a device root without the plugin folder loads nothing quietly.
TEST_F(PluginLoaderTest, NoPluginFolderLoadsNothing) {
    std::filesystem::remove_all(root / "Library");
    std::vector<std::string> errors;
    EXPECT_TRUE(PluginLoader::loadPlugins(kHost, &errors).empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(PluginLoader::loaded().empty());
}

// Tests that a host with no device root loads nothing, and says why rather
// than looking anywhere on this machine.
TEST_F(PluginLoaderTest, NoDeviceRootLoadsNothingAndSaysSo) {
    install(FT_TEST_HOOK_PLUGIN, "Hook", filterPlist({kHost}));
    DevicePaths::setRoot("");
    std::vector<std::string> errors;
    EXPECT_TRUE(PluginLoader::loadPlugins(kHost, &errors).empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("no device root"), std::string::npos);
    EXPECT_EQ(loads()[1], 0);
}
