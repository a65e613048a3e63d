// The settings and state files in the states a scenario cannot make: a
// directory in their place, a file the home screen may not read, a file
// past the size limit, nesting deep enough to exhaust a recursive reader.
// Each gives the fallback (default settings, no store), nothing crashes,
// and the plugin's writes leave what is there as it was.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "HardeningFixture.h"
#include "foundation/PropertyList.h"

namespace fs = std::filesystem;

namespace {

class BadFiles : public HardeningFixture {
protected:
    void SetUp() override {
        HardeningFixture::SetUp();
        installHost({"com.example.a", "com.example.b"});
    }

    // A state file choosing com.example.a, and a settings file of size 70.
    void writeGoodFiles() {
        writeList(kStatePath, *dict({{"FLTTILE-com.example.a", NSNumber::numberWithBool(true)}}));
        writeList(kSettingsPath, *dict({{"bubbleSize", NSNumber::numberWithInteger(70)}}));
    }
};

// {"bubbleSize": 70, "deep": [[[...]]]}, the array nested `levels` deep, in
// XML.
std::string deepXML(size_t levels) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>bubbleSize</key>"
                    "<real>70</real><key>FLTTILE-com.example.a</key><true/><key>deep</key>";
    s.reserve(s.size() + levels * 15 + 32);
    for (size_t i = 0; i < levels; ++i) s += "<array>";
    for (size_t i = 0; i < levels; ++i) s += "</array>";
    return s + "</dict></plist>\n";
}

void putBigEndian(std::vector<uint8_t>& out, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * (n - 1 - i))));
}

// The same as a binary list: references and offsets four bytes wide.
std::vector<uint8_t> deepBinary(size_t levels) {
    const size_t ref = 4;
    std::vector<std::vector<uint8_t>> objects;
    const uint64_t firstArray = 6;
    std::vector<uint8_t> root = {0xD3};
    // Three keys (objects 1 to 3), then their values (4, 5 and the first array).
    for (uint64_t r : std::vector<uint64_t>{1, 2, 3, 4, 5, firstArray}) putBigEndian(root, r, ref);
    objects.push_back(root);
    auto ascii = [](const std::string& s) {
        std::vector<uint8_t> o;
        if (s.size() < 15) {
            o.push_back(static_cast<uint8_t>(0x50 | s.size()));
        } else {
            o.push_back(0x5F);
            o.push_back(0x10);
            o.push_back(static_cast<uint8_t>(s.size()));
        }
        o.insert(o.end(), s.begin(), s.end());
        return o;
    };
    objects.push_back(ascii("bubbleSize"));
    objects.push_back(ascii("FLTTILE-com.example.a"));
    objects.push_back(ascii("deep"));
    std::vector<uint8_t> real = {0x23};
    double seventy = 70;
    uint64_t bits;
    std::memcpy(&bits, &seventy, sizeof bits);
    putBigEndian(real, bits, 8);
    objects.push_back(real);
    objects.push_back({0x09});  // true
    for (size_t i = 0; i < levels; ++i) {
        if (i + 1 == levels) {
            objects.push_back({0xA0});
            continue;
        }
        std::vector<uint8_t> array = {0xA1};
        putBigEndian(array, firstArray + i + 1, ref);
        objects.push_back(array);
    }
    std::vector<uint8_t> out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<uint64_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(out.size());
        out.insert(out.end(), o.begin(), o.end());
    }
    uint64_t table = out.size();
    for (uint64_t off : offsets) putBigEndian(out, off, 4);
    out.insert(out.end(), 6, 0);
    out.push_back(4);
    out.push_back(static_cast<uint8_t>(ref));
    putBigEndian(out, objects.size(), 8);
    putBigEndian(out, 0, 8);
    putBigEndian(out, table, 8);
    return out;
}

// Tests that a directory where either file belongs reads as no file, and
// that the plugin's writes fail without touching it.
TEST_F(BadFiles, DirectoryInPlaceOfAFile) {
    // The settings file is a directory; the state file is good.
    writeList(kStatePath, *dict({{"FLTTILE-com.example.a", NSNumber::numberWithBool(true)}}));
    fs::create_directories(hostPath(kSettingsPath));
    writeFile(std::string(kSettingsPath) + "/inside", {'x'});
    loadPlugin();
    expectDefaultSettings();
    launch();
    ASSERT_EQ(bubbles().size(), 1u);
    ASSERT_TRUE(longPressAndPick(0, "Lock Float Tiles"));
    EXPECT_TRUE(settingsVariables().isLocked) << "the lock still changes in memory";
    EXPECT_TRUE(fs::is_directory(hostPath(kSettingsPath)));
    EXPECT_EQ(readFile(std::string(kSettingsPath) + "/inside"), Bytes{'x'});

    // The state file is a directory: no store, and the blacklist's write
    // fails.
    resetPluginState();
    Process::terminate();
    installHost({"com.example.a"});
    fs::remove(hostPath(kStatePath));
    fs::create_directories(hostPath(kStatePath));
    writeFile(std::string(kStatePath) + "/inside", {'y'});
    loadPlugin();
    EXPECT_EQ(stateStore().floatTilesDict(), nullptr);
    launch();
    EXPECT_TRUE(bubbles().empty());
    ASSERT_NE(controller(), nullptr);
    visibilityState().currentBundle = std::make_shared<NSString>("com.example.a");
    controller()->setDictWithWriting(YES);
    controller()->savePosInPlist();
    EXPECT_TRUE(fs::is_directory(hostPath(kStatePath)));
    EXPECT_EQ(readFile(std::string(kStatePath) + "/inside"), Bytes{'y'});
}

// Tests files the home screen may not read (no read permission). We run as
// root, who reads anything, so the home screen runs in a child that has
// dropped to the "nobody" user. The plugin reads nothing; the preferences
// daemon cannot read the files either, so each counts as empty, as on the
// phone, and the plugin's writes replace them (the folder stays writable).
TEST_F(BadFiles, UnreadableFile) {
    writeGoodFiles();
    std::string prefs = fs::path(hostPath(kSettingsPath)).parent_path().string();
    for (fs::path p = prefs; p.string().size() >= root_.size(); p = p.parent_path())
        ::chmod(p.c_str(), p.string() == prefs ? 0777 : 0755);
    ::chmod(hostPath(kSettingsPath).c_str(), 0);
    ::chmod(hostPath(kStatePath).c_str(), 0);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        int failures = 0;
        resetPluginState();
        loadPlugin();
        if (settingsVariables().bubbleSize != 50.0f) failures |= 1;
        if (stateStore().floatTilesDict()) failures |= 2;
        launch();
        if (!bubbles().empty() || !controller()) failures |= 4;
        // The plugin's writes: the lock toggle's and the blacklist's.
        if (!NSUserDefaults::initWithSuiteName(kSettingsPath)
                 ->setObjectForKey(NSNumber::numberWithBool(true), "isLocked"))
            failures |= 8;
        visibilityState().currentBundle = std::make_shared<NSString>("com.example.a");
        if (controller()) controller()->setDictWithWriting(YES);
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(hostPath(kSettingsPath).c_str(), 0644);
    ::chmod(hostPath(kStatePath).c_str(), 0644);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 100) GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bit 1: settings not default, 2: a store, 4: bubbles, 8: a write failed";
    auto settings = std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(hostPath(kSettingsPath)));
    auto state = std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(hostPath(kStatePath)));
    ASSERT_TRUE(settings && state);
    EXPECT_EQ(settings->allKeys(), std::vector<std::string>{"isLocked"});
    EXPECT_EQ(state->allKeys(), std::vector<std::string>{"HIDAPPS-com.example.a"});
}

// Tests files past the size limit (32 MiB): refused before they are read,
// even when what they hold is a good list padded with white space; a file
// of many keys below the limit reads whole.
TEST_F(BadFiles, FileBeyondTheSizeLimit) {
    auto padded = [](const std::string& list) {
        Bytes bytes(list.begin(), list.end());
        bytes.resize(PropertyListLimits::maxBytes + 1, ' ');
        return bytes;
    };
    std::string settings = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>bubbleSize</key><real>70</real>"
                           "</dict></plist>\n";
    std::string state = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>FLTTILE-com.example.a</key><true/>"
                        "</dict></plist>\n";
    writeFile(kSettingsPath, padded(settings));
    writeFile(kStatePath, padded(state));
    loadPlugin();
    expectDefaultSettings();
    EXPECT_EQ(stateStore().floatTilesDict(), nullptr);
    launch();
    EXPECT_TRUE(bubbles().empty());
    EXPECT_FALSE(NSUserDefaults::initWithSuiteName(kSettingsPath)->setObjectForKey(NSNumber::numberWithBool(true), "isLocked"));
    EXPECT_EQ(fs::file_size(hostPath(kSettingsPath)), PropertyListLimits::maxBytes + 1);
    EXPECT_EQ(readFile(kSettingsPath), padded(settings));

    // Many keys, well below the limit: read whole, the last key included.
    resetPluginState();
    Process::terminate();
    installHost({"com.example.a"});
    auto many = std::make_shared<NSMutableDictionary>();
    for (int i = 0; i < 20000; ++i) many->setObjectForKey(NSNumber::numberWithInteger(i), "unused" + std::to_string(i));
    many->setObjectForKey(NSNumber::numberWithBool(true), "FLTTILE-com.example.a");
    writeList(kStatePath, *many);
    many->setObjectForKey(NSNumber::numberWithInteger(66), "bubbleSize");
    writeList(kSettingsPath, *many, PropertyListFormat::XML);
    loadPlugin();
    EXPECT_EQ(settingsVariables().bubbleSize, 66.0f);
    launch();
    ASSERT_EQ(bubbles().size(), 1u);
    EXPECT_EQ(bubbles()[0]->frame().size.width, 66.0);
}

// Tests nesting far deeper than any reader's stack, in both formats and as
// either file: refused whole (the good keys beside it included), so a
// start gives the defaults and no store. libplist 2.2.0 recurses once per
// level and would take the process down.
TEST_F(BadFiles, DeepNestingInEitherFormat) {
    const size_t levels = 100000;
    std::string xml = deepXML(levels);
    for (const Bytes& file : {Bytes(xml.begin(), xml.end()), deepBinary(levels)}) {
        resetPluginState();
        Process::terminate();
        installHost({"com.example.a"});
        writeFile(kSettingsPath, file);
        writeFile(kStatePath, file);
        loadPlugin();
        expectDefaultSettings();
        EXPECT_EQ(stateStore().floatTilesDict(), nullptr);
        launch();
        EXPECT_TRUE(bubbles().empty());
        postSettingsChanged();
        expectDefaultSettings();
        EXPECT_EQ(readFile(kSettingsPath), file);
        EXPECT_EQ(readFile(kStatePath), file);
    }
    // The same shape a few levels deep reads, so the refusal is the depth's.
    std::string shallow = deepXML(5);
    Bytes ok(shallow.begin(), shallow.end());
    for (const Bytes& file : {ok, deepBinary(5)}) {
        resetPluginState();
        Process::terminate();
        installHost({"com.example.a"});
        writeFile(kSettingsPath, file);
        writeFile(kStatePath, file);
        loadPlugin();
        EXPECT_EQ(settingsVariables().bubbleSize, 70.0f);
        ASSERT_NE(stateStore().floatTilesDict(), nullptr);
        launch();
        EXPECT_EQ(bubbles().size(), 1u);
    }
}

} // namespace
