// FloatTiles when its own writes fail: the disk is full, or the preferences
// folder cannot be written. Through the simulator, with the plugin loaded
// as on the phone. The menu's lock, blacklist and save actions each write a
// file; each write fails cleanly (the files stay byte for byte, no
// temporary file is left), the plugin keeps running with the change in
// memory, and the change is gone after a respring because the file never
// had it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "foundation/DevicePaths.h"
#include "sim/Simulator.h"
#include "tests/support/FileSizeLimit.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> bytesOf(const std::string& devicePath) {
    std::ifstream in(DevicePaths::map(devicePath), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// Collects what went wrong as text, so the same checks can run in a child
// process and be reported by the parent.
struct Problems {
    std::string text;
    void check(bool ok, const std::string& what) {
        if (!ok) text += what + "\n";
    }
};

struct Phone {
    std::vector<std::string> trace;
    std::unique_ptr<Simulator> sim;
    Problems* problems;

    explicit Phone(Problems& p, const std::string& root = "") : problems(&p) {
        Simulator::Options o;
        o.root = root;
        o.deviceTemplate = FT_DEVICE_TEMPLATE;
        o.output = [this](const std::string& line) { trace.push_back(line); };
        sim = std::make_unique<Simulator>(std::move(o));
    }
    void run(const std::string& line) {
        std::string e = sim->execute(line);
        problems->check(e.empty(), "\"" + line + "\" did not run: " + e);
    }
    Json plugin(const std::string& name) { return sim->dump()["plugin"][name]; }
    bool traced(const std::string& text, size_t from) const {
        for (size_t i = from; i < trace.size(); ++i)
            if (trace[i].find(text) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> preferencesFolder() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(DevicePaths::map("/var/mobile/Library/Preferences"), ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Json bubble(int i) { return sim->dump()["bubbles"][i]; }
};

void setUpPhone(Phone& phone) {
    for (const char* line : {"app com.example.one", "app com.example.two",
                             "state FLTTILE-com.example.one=true FLTTILE-com.example.two=true",
                             "settings isLocked=false isDim=false", "boot", "front com.example.one"})
        phone.run(line);
}

// The failing part, shared by both causes: run while writes cannot succeed.
void pickActionsWhileWritesFail(Phone& phone, Problems& p) {
    const std::vector<char> settingsBefore = bytesOf(kSettingsPath);
    const std::vector<char> stateBefore = bytesOf(kStatePath);
    const std::vector<std::string> folderBefore = phone.preferencesFolder();
    const size_t mark = phone.trace.size();

    phone.run("longpress bubble#0");
    phone.run("menu \"Lock Float Tiles\"");
    phone.run("longpress bubble#0");
    phone.run("menu \"Save Current Position\"");
    phone.run("longpress bubble#0");
    phone.run("menu \"Add Current App To Blacklist\"");

    p.check(phone.traced("write settings isLocked=true failed", mark), "the lock's write did not fail");
    p.check(phone.traced("write state POSAPPS-com.example.one=", mark) &&
                phone.traced("write state POSAPPS-com.example.two=", mark),
            "the positions were not written");
    p.check(phone.traced("write state HIDAPPS-com.example.one=true failed", mark), "the blacklist write did not fail");
    for (size_t i = mark; i < phone.trace.size(); ++i) {
        const std::string& line = phone.trace[i];
        bool isWrite = line.find("] write ") != std::string::npos;
        p.check(!isWrite || (line.size() >= 7 && line.compare(line.size() - 7, 7, " failed") == 0),
                "a write succeeded: " + line);
    }
    p.check(bytesOf(kSettingsPath) == settingsBefore, "the settings file changed");
    p.check(bytesOf(kStatePath) == stateBefore, "the state file changed");
    p.check(phone.preferencesFolder() == folderBefore, "a failed write left a file in the preferences folder");

    // The changes hold in memory.
    p.check(phone.plugin("isLocked") == true, "the lock did not change in memory");
    p.check(phone.plugin("floatTilesDict")["HIDAPPS-com.example.one"] == 1, "the blacklist mark is not in memory");
    p.check(phone.bubble(0)["hidden"] == true, "the blacklist action did not hide the bubbles");
}

// After the failures, the plugin goes on working with what it holds.
void keepsRunning(Phone& phone, Problems& p) {
    phone.run("front com.example.two");
    p.check(phone.bubble(0)["hidden"] == false, "another app in front did not show the bubbles");
    Json before = phone.bubble(0)["center"];
    phone.run("drag bubble#0 to 200,400");
    p.check(phone.bubble(0)["center"] == before, "a locked bubble moved");
    phone.run("front com.example.one");
    p.check(phone.bubble(0)["hidden"] == true, "the blacklisted app in front did not hide the bubbles");
    phone.run("front home");
    phone.run("longpress bubble#0");
    Json alert = phone.sim->dump()["alert"];
    p.check(!alert.is_null() && alert["actions"][1]["title"] == "Unlock Float Tiles",
            "the next menu does not offer to unlock");
    phone.run("menu \"Cancel\"");
    p.check(phone.sim->dump()["windows"].size() == 2, "a window was left on screen after the menu");
}

// Once writes work again, a respring reads the files, which never had the
// changes; and the plugin's next writes succeed.
void afterRoomIsBack(Phone& phone, Problems& p) {
    phone.run("respring");
    p.check(phone.plugin("isLocked") == false, "the failed lock survived a respring");
    phone.run("front com.example.one");
    p.check(phone.bubble(0)["hidden"] == false, "the failed blacklist mark survived a respring");
    size_t mark = phone.trace.size();
    phone.run("longpress bubble#0");
    phone.run("menu \"Lock Float Tiles\"");
    p.check(phone.traced("write settings isLocked=true", mark) && !phone.traced("failed", mark),
            "a write with room failed");
    p.check(phone.sim->dump()["files"]["settings"]["isLocked"] == true, "the lock is not in the file");
}

} // namespace

// Tests the plugin's writes on a full disk: they fail, the files stay as
// they were, and the plugin keeps its in-memory changes and keeps running.
TEST(PluginWriteFailure, FullDisk) {
    Problems p;
    Phone phone(p);
    setUpPhone(phone);
    ASSERT_EQ(p.text, "");
    {
        FileSizeLimit full(0);
        ASSERT_TRUE(full.ok());
        pickActionsWhileWritesFail(phone, p);
    }
    EXPECT_EQ(p.text, "");
    keepsRunning(phone, p);
    EXPECT_EQ(p.text, "");
    afterRoomIsBack(phone, p);
    EXPECT_EQ(p.text, "");
}

// Tests the plugin's writes into a preferences folder it may not write: the
// same clean failure. A privileged user writes anywhere, so the phone runs
// in a child that gives up its privileges once booted.
TEST(PluginWriteFailure, ReadOnlyPreferencesFolder) {
    std::string root = (fs::temp_directory_path() / "ft-readonly-XXXXXX").string();
    ASSERT_NE(::mkdtemp(root.data()), nullptr);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(fds[0]);
        Problems p;
        {
            Phone phone(p, root);
            setUpPhone(phone);
            std::string prefs = DevicePaths::map("/var/mobile/Library/Preferences");
            if (::geteuid() == 0) {
                // Readable by all, writable by none but root.
                for (fs::path d = prefs; d.string().size() >= root.size(); d = d.parent_path())
                    ::chmod(d.c_str(), 0755);
                ::chmod(prefs.c_str(), 0555);
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) p.text += "could not drop privileges\n";
            } else {
                ::chmod(prefs.c_str(), 0555);
            }
            if (p.text.empty()) {
                pickActionsWhileWritesFail(phone, p);
                keepsRunning(phone, p);
            }
        }
        ssize_t written = ::write(fds[1], p.text.data(), p.text.size());
        ::_exit(written == static_cast<ssize_t>(p.text.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string problems;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) problems.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child died";
    EXPECT_EQ(problems, "");
}
