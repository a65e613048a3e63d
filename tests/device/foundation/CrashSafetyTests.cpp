// The preferences store when things go wrong around it: a writer killed at
// every moment of a write, several processes writing at once while one of
// them keeps dying, and writes into a full or read-only place. Each case
// checks what a later reader finds: the old file or the new one, whole,
// with every key written before, and no litter that grows.
//
// Kill points: a writer changes the file system only through system calls,
// so a kill between two calls leaves exactly what a kill at the entry of
// the next one leaves. The writer runs under ptrace and is killed at a
// chosen system-call stop (entry or exit), which reaches every distinct
// moment of a write. The runs are seeded (FT_CRASH_SEED; FT_CRASH_RUNS
// scales their number) and a failure names the seed and the run.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "device/foundation/PlistTestSupport.h"
#include "device/foundation/TempDir.h"
#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"
#include "tests/support/FileSizeLimit.h"

namespace {

constexpr const char* kFile = "/var/mobile/Library/Preferences/com.example.crash.plist";

uint64_t envNumber(const char* name, uint64_t fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    char* end = nullptr;
    unsigned long long n = std::strtoull(v, &end, 10);
    return end && *end == '\0' ? n : fallback;
}

uint64_t crashSeed() { return envNumber("FT_CRASH_SEED", 20240611); }
uint64_t crashRuns(uint64_t fallback) { return std::max<uint64_t>(1, envNumber("FT_CRASH_RUNS", fallback)); }

// Exit codes of the children.
constexpr int kChildNoPtrace = 71;
constexpr int kChildWriteFailed = 72;
constexpr int kChildSkip = 73;

// One write of a dying writer's sequence: a new key, a removal of the key
// written just before, or a new value for a key every run shares. Some
// values are long, so that a write is more than one block.
struct WriteOp {
    std::string key;
    id value; // nil: removal
};

std::string runKey(uint64_t run, int j) { return "run" + std::to_string(run) + "." + std::to_string(j); }

WriteOp opAt(uint64_t run, int j) {
    if (j % 5 == 4) return {"shared", NSNumber::numberWithInteger(static_cast<int64_t>(run) * 1000 + j)};
    if (j % 5 == 2) return {runKey(run, j - 1), nullptr};
    std::string text = "run " + std::to_string(run) + " write " + std::to_string(j);
    if (j % 3 == 0) text.append(3000, 'x');
    return {runKey(run, j), str(text)};
}

std::shared_ptr<NSMutableDictionary> copyOf(const NSDictionary& d) {
    auto out = std::make_shared<NSMutableDictionary>();
    for (const auto& [k, v] : d.entries()) out->setObjectForKey(v, k);
    return out;
}

std::shared_ptr<NSMutableDictionary> applied(const NSDictionary& d, const WriteOp& op) {
    auto out = copyOf(d);
    out->setObjectForKey(op.value, op.key);
    return out;
}

// Runs work in a child process and answers what it reported: an empty text
// when all was well, or its problems. A child that cannot set up its
// conditions exits with kChildSkip, answered as "skip: REASON".
std::string runInChild(const std::function<std::string()>& work) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return "pipe failed";
    pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        ::close(fds[0]);
        std::string problems = work();
        size_t done = 0;
        while (done < problems.size()) {
            ssize_t n = ::write(fds[1], problems.data() + done, problems.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::_exit(problems.rfind("skip:", 0) == 0 ? kChildSkip : 0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) return "the child died (signal " + std::to_string(WTERMSIG(status)) + "): " + out;
    return out;
}

class CrashSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A memory file system when there is one: this is about the lock,
        // the temporary file and the rename, not the disk, and thousands of
        // fsyncs to a disk take minutes.
        if (::access("/dev/shm", W_OK) == 0) memoryRoot = std::make_unique<TempDir>("/dev/shm");
        if (!memoryRoot || memoryRoot->path().empty()) memoryRoot = std::make_unique<TempDir>();
        ASSERT_FALSE(memoryRoot->path().empty());
        useRoot(memoryRoot->path());
        NSUserDefaults::setWriteObserver(nullptr);
    }

    void useRoot(const std::string& root) {
        DevicePaths::setRoot(root);
        host = DevicePaths::map(kFile);
        dir = std::filesystem::path(host).parent_path().string();
        std::filesystem::create_directories(dir);
    }

    std::shared_ptr<NSDictionary> onDisk(PropertyListFormat* format = nullptr) const {
        return std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(host, format));
    }

    void seed(const NSDictionary& dict, PropertyListFormat format) const {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(PropertyList::serialize(dict, format, bytes));
        writeBytes(host, bytes);
        // A file laid down before the device starts: its daemon has not read it.
        NSUserDefaults::forgetCopies();
    }

    // The temporary files of the store's file now in its folder.
    std::vector<std::string> temporaries() const {
        std::vector<std::string> names;
        std::string prefix = "." + std::filesystem::path(host).filename().string() + ".";
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir, ec))
            if (e.path().filename().string().rfind(prefix, 0) == 0) names.push_back(e.path().filename().string());
        return names;
    }

    std::unique_ptr<TempDir> memoryRoot;
    std::string host;
    std::string dir;
};

// One life of a traced writer: it runs the write sequence of `run` and is
// killed at system-call stop `killAt` (never, for 0).
struct TracedRun {
    bool ptraceMissing = false;
    bool killed = false;
    bool failedWrite = false;
    int reported = 0;      // writes that answered true before the end
    uint64_t stops = 0;    // system-call stops seen
};

TracedRun runTracedWriter(uint64_t run, int writes, uint64_t killAt) {
    TracedRun result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;
    pid_t pid = ::fork();
    if (pid < 0) return result;
    if (pid == 0) {
        ::close(fds[0]);
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(kChildNoPtrace);
        ::raise(SIGSTOP);
        auto defaults = NSUserDefaults::initWithSuiteName(kFile);
        for (int j = 0; j < writes; ++j) {
            WriteOp op = opAt(run, j);
            if (!defaults->setObjectForKey(op.value, op.key)) ::_exit(kChildWriteFailed);
            int32_t done = j;
            if (::write(fds[1], &done, sizeof done) != sizeof done) ::_exit(kChildWriteFailed);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        result.ptraceMissing = WEXITSTATUS(status) == kChildNoPtrace;
        ::close(fds[0]);
        return result;
    }
    if (::ptrace(PTRACE_SETOPTIONS, pid, nullptr,
                 reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL)) != 0) {
        // Tracing was refused after all: do not leave the child stopped.
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ::close(fds[0]);
        result.ptraceMissing = true;
        return result;
    }
    int pass = 0;
    for (;;) {
        if (::ptrace(PTRACE_SYSCALL, pid, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(pass))) != 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.killed = true;
            break;
        }
        pass = 0;
        if (::waitpid(pid, &status, 0) != pid) break;
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            result.failedWrite = WIFEXITED(status) && WEXITSTATUS(status) == kChildWriteFailed;
            break;
        }
        if (!WIFSTOPPED(status)) continue;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            pass = WSTOPSIG(status); // a signal of its own: deliver it
            continue;
        }
        if (++result.stops == killAt) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.killed = true;
            break;
        }
    }
    int32_t done;
    while (::read(fds[0], &done, sizeof done) == sizeof done) result.reported = done + 1;
    ::close(fds[0]);
    return result;
}

} // namespace

// Tests that a writer killed at any system-call stop of its writes leaves
// the file whole: it reads as the old dictionary or the new one, exactly,
// with every key of every earlier write; in its own format; and killed
// writers' temporary files never pile up (the next write clears them).
TEST_F(CrashSafetyTest, KilledWriterLeavesTheOldOrTheNewFile) {
    const uint64_t seedValue = crashSeed();
    std::mt19937_64 rng(seedValue);
    const uint64_t runsPerFormat = crashRuns(80);
    int killedWithTemporary = 0, killedBeforeAnyChange = 0, killedAfterNewContent = 0;

    for (PropertyListFormat format : {PropertyListFormat::XML, PropertyListFormat::Binary}) {
        auto start = std::make_shared<NSMutableDictionary>();
        start->setObjectForKey(str("kept through every kill"), "first");
        start->setObjectForKey(NSNumber::numberWithInteger(-1), "shared");
        seed(*start, format);
        std::shared_ptr<NSMutableDictionary> model = start;

        // A first, untouched life counts the stops of a write, to aim the
        // kills across about three writes.
        const int calibrationWrites = 10;
        TracedRun calibration = runTracedWriter(0, calibrationWrites, 0);
        if (calibration.ptraceMissing) GTEST_SKIP() << "ptrace is not allowed here";
        ASSERT_FALSE(calibration.failedWrite);
        ASSERT_EQ(calibration.reported, calibrationWrites);
        for (int j = 0; j < calibrationWrites; ++j) model = applied(*model, opAt(0, j));
        ASSERT_TRUE(plistEqual(onDisk().get(), model.get()));
        const uint64_t stopsPerWrite = std::max<uint64_t>(1, calibration.stops / calibrationWrites);

        for (uint64_t run = 1; run <= runsPerFormat; ++run) {
            SCOPED_TRACE("FT_CRASH_SEED=" + std::to_string(seedValue) + " run " + std::to_string(run) +
                         (format == PropertyListFormat::XML ? " (XML)" : " (binary)"));
            const int writes = 4;
            uint64_t killAt = 1 + rng() % (3 * stopsPerWrite);
            std::vector<std::string> before = temporaries();
            TracedRun r = runTracedWriter(run, writes, killAt);
            ASSERT_FALSE(r.failedWrite) << "a write answered false";

            for (int j = 0; j < r.reported; ++j) model = applied(*model, opAt(run, j));
            PropertyListFormat found = format == PropertyListFormat::XML ? PropertyListFormat::Binary
                                                                         : PropertyListFormat::XML;
            auto d = onDisk(&found);
            ASSERT_TRUE(d) << "the file is missing or unreadable after a kill at stop " << killAt;
            EXPECT_EQ(found, format) << "the file changed its format";
            if (!plistEqual(d.get(), model.get())) {
                ASSERT_LT(r.reported, writes);
                auto next = applied(*model, opAt(run, r.reported));
                ASSERT_TRUE(plistEqual(d.get(), next.get()))
                    << "neither the old nor the new content after a kill at stop " << killAt << " of write "
                    << r.reported;
                model = next;
                ++killedAfterNewContent;
            } else if (r.reported == 0) {
                ++killedBeforeAnyChange;
            }
            auto temps = temporaries();
            EXPECT_LE(temps.size(), 1u) << "temporary files pile up";
            if (temps.size() > before.size() || (temps.size() == 1 && before.size() == 1 && temps != before))
                ++killedWithTemporary;
            // A reader is not confused by a leftover temporary file.
            auto reread = NSUserDefaults::initWithSuiteName(kFile)->objectForKey("first");
            ASSERT_TRUE(plistEqual(reread.get(), str("kept through every kill").get()));
        }
        // The next write clears what the last kill left.
        ASSERT_TRUE(NSUserDefaults::initWithSuiteName(kFile)->setObjectForKey(str("end"), "last"));
        EXPECT_TRUE(temporaries().empty());
        model->setObjectForKey(str("end"), "last");
        EXPECT_TRUE(plistEqual(onDisk().get(), model.get()));
    }
    // The kills did reach the moments that matter: with a temporary file
    // written but not yet in place, and right after the rename.
    EXPECT_GT(killedWithTemporary, 0);
    EXPECT_GT(killedAfterNewContent, 0);
    EXPECT_GT(killedBeforeAnyChange, 0);
}

// Tests a stale temporary file from a writer that died long ago: a reader
// ignores it, the next write removes it and nothing else, and names that
// merely look alike (another file's, a longer suffix) are left alone.
TEST_F(CrashSafetyTest, NextWriteRemovesOnlyOrphanedTemporaries) {
    auto start = std::make_shared<NSMutableDictionary>();
    start->setObjectForKey(str("v"), "k");
    seed(*start, PropertyListFormat::Binary);
    std::string name = std::filesystem::path(host).filename().string();
    writeText(dir + "/." + name + ".a1B2c3", "half a plist <dict><key>");
    writeText(dir + "/." + name + ".Zz9Yy8", "");
    writeText(dir + "/." + name + ".toolong1", "someone else's");
    writeText(dir + "/.other.plist.a1B2c3", "another file's temporary");
    writeText(dir + "/" + name + ".a1B2c3", "not hidden: not ours");

    auto defaults = NSUserDefaults::initWithSuiteName(kFile);
    ASSERT_TRUE(plistEqual(defaults->objectForKey("k").get(), str("v").get()));
    ASSERT_TRUE(defaults->setObjectForKey(str("w"), "k2"));
    EXPECT_EQ(temporaries(), std::vector<std::string>{"." + name + ".toolong1"});
    EXPECT_TRUE(std::filesystem::exists(dir + "/.other.plist.a1B2c3"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/" + name + ".a1B2c3"));
    EXPECT_EQ(onDisk()->allKeys(), (std::vector<std::string>{"k", "k2"}));
}

// Tests three writers of different keys running together while a fourth is
// killed over and over at random moments and started again: no writer
// loses a key, the dying writer's finished writes stay, a reader always
// finds a whole dictionary that never shrinks, and killed writers leave at
// most one temporary file behind at a time.
TEST_F(CrashSafetyTest, ConcurrentWritersLoseNoKeyWhileOneKeepsDying) {
    const uint64_t seedValue = crashSeed();
    std::mt19937_64 rng(seedValue + 1);
    SCOPED_TRACE("FT_CRASH_SEED=" + std::to_string(seedValue));
    seed(*std::make_shared<NSMutableDictionary>(), PropertyListFormat::Binary);
    const int perWriter = static_cast<int>(crashRuns(150));
    const std::vector<std::string> prefixes{"a", "b", "c"};

    std::vector<pid_t> writers;
    for (const auto& prefix : prefixes) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto defaults = NSUserDefaults::initWithSuiteName(kFile);
            for (int i = 0; i < perWriter; ++i)
                if (!defaults->setObjectForKey(NSNumber::numberWithInteger(i), prefix + std::to_string(i)))
                    ::_exit(kChildWriteFailed);
            ::_exit(0);
        }
        writers.push_back(pid);
    }

    std::vector<std::pair<int, int>> victimKeys; // (life, write) reported done
    uint64_t lastCount = 0;
    int lives = 0, shrinks = 0, unreadable = 0, tooManyTemporaries = 0;
    size_t running = writers.size();
    while (running > 0) {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        const int life = lives++;
        pid_t victim = ::fork();
        ASSERT_GE(victim, 0);
        if (victim == 0) {
            ::close(fds[0]);
            auto defaults = NSUserDefaults::initWithSuiteName(kFile);
            for (int32_t j = 0;; ++j) {
                if (!defaults->setObjectForKey(str(std::string(j % 4 == 0 ? 2000 : 10, 'd')),
                                               "d" + std::to_string(life) + "." + std::to_string(j)))
                    ::_exit(kChildWriteFailed);
                if (::write(fds[1], &j, sizeof j) != sizeof j) ::_exit(kChildWriteFailed);
            }
        }
        ::close(fds[1]);
        // Let it finish a few writes, then kill it somewhere in the next.
        int wanted = static_cast<int>(rng() % 3), reported = 0;
        int32_t done;
        while (reported < wanted && ::read(fds[0], &done, sizeof done) == sizeof done) reported = done + 1;
        volatile uint64_t spin = rng() % 400000;
        while (spin > 0) spin = spin - 1;
        ::kill(victim, SIGKILL);
        int status = 0;
        ::waitpid(victim, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the dying writer's write failed";
        while (::read(fds[0], &done, sizeof done) == sizeof done) reported = done + 1;
        ::close(fds[0]);
        for (int j = 0; j < reported; ++j) victimKeys.emplace_back(life, j);

        auto d = onDisk();
        if (!d) ++unreadable;
        else {
            if (d->count() < lastCount) ++shrinks;
            lastCount = d->count();
        }
        // One orphan of the last kill, and one live writer's temporary.
        if (temporaries().size() > 2) ++tooManyTemporaries;

        running = 0;
        for (pid_t& pid : writers) {
            if (pid <= 0) continue;
            pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a steady writer's write failed";
                pid = 0;
            } else {
                ++running;
            }
        }
    }
    EXPECT_EQ(unreadable, 0);
    EXPECT_EQ(shrinks, 0);
    EXPECT_EQ(tooManyTemporaries, 0);
    EXPECT_GT(lives, 1);

    auto d = onDisk();
    ASSERT_TRUE(d);
    for (const auto& prefix : prefixes)
        for (int i = 0; i < perWriter; ++i) {
            auto n = std::dynamic_pointer_cast<NSNumber>(d->objectForKey(prefix + std::to_string(i)));
            ASSERT_TRUE(n) << "lost " << prefix << i;
            EXPECT_EQ(n->integerValue(), i);
        }
    for (const auto& [life, j] : victimKeys)
        ASSERT_TRUE(d->objectForKey("d" + std::to_string(life) + "." + std::to_string(j)))
            << "lost the dying writer's finished write " << life << "." << j;
    ASSERT_TRUE(NSUserDefaults::initWithSuiteName(kFile)->setObjectForKey(str("end"), "last"));
    EXPECT_TRUE(temporaries().empty());
}

// Tests writes into a full place (a file-size limit: a write past it fails
// as on a full disk): with no room at all, and with room for all but the
// last byte, so that the temporary file is half written. Each answers
// false, leaves the old file byte for byte and no temporary file; a new
// file is not created; once there is room again the next write succeeds
// with every old key.
TEST_F(CrashSafetyTest, FullPlaceFailsCleanly) {
    auto start = std::make_shared<NSMutableDictionary>();
    start->setObjectForKey(str("me"), "keep");
    start->setObjectForKey(NSNumber::numberWithBool(false), "isLocked");
    seed(*start, PropertyListFormat::XML);
    const std::vector<uint8_t> before = readBytes(host);
    auto defaults = NSUserDefaults::initWithSuiteName(kFile);
    auto big = str(std::string(5000, 'b'));

    std::vector<uint8_t> wouldBe;
    ASSERT_TRUE(PropertyList::setValueForKey(before, "big", big.get(), wouldBe));
    for (rlim_t limit : {rlim_t{0}, rlim_t{wouldBe.size() / 2}, rlim_t{wouldBe.size() - 1}}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        bool written;
        {
            FileSizeLimit full(limit);
            ASSERT_TRUE(full.ok());
            written = defaults->setObjectForKey(big, "big");
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(readBytes(host), before);
        EXPECT_TRUE(temporaries().empty());
        EXPECT_TRUE(plistEqual(defaults->objectForKey("keep").get(), str("me").get()));
    }
    {
        FileSizeLimit full(0);
        EXPECT_FALSE(NSUserDefaults::initWithSuiteName("/var/mobile/Library/Preferences/new.plist")
                         ->setObjectForKey(str("v"), "k"));
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/new.plist"));

    ASSERT_TRUE(defaults->setObjectForKey(big, "big"));
    EXPECT_EQ(readBytes(host), wouldBe);
    EXPECT_EQ(onDisk()->allKeys(), (std::vector<std::string>{"big", "isLocked", "keep"}));
}

// Tests a real full file system and a real read-only one (a tiny memory
// file system mounted in a child's own mount namespace; skipped where
// mounting is not allowed). Full: the write fails with the old file whole
// and no temporary file, and succeeds once room is made. Read-only, which
// stops even a privileged writer: writes fail both when the lock file is
// there and when it would have to be made, and nothing changes.
TEST_F(CrashSafetyTest, FullAndReadOnlyFileSystems) {
    TempDir mountPoint;
    ASSERT_FALSE(mountPoint.path().empty());
    std::string problems = runInChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0) return "skip: no mount namespace";
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return "skip: mounts are shared";
        if (::mount("ft-crash", mountPoint.path().c_str(), "tmpfs", 0, "size=128k,mode=0755") != 0)
            return "skip: cannot mount a memory file system";
        std::string out;
        auto check = [&](bool ok, const std::string& what) {
            if (!ok) out += what + "\n";
        };
        useRoot(mountPoint.path());
        auto start = std::make_shared<NSMutableDictionary>();
        for (int i = 0; i < 40; ++i) start->setObjectForKey(str(std::string(400, 'a' + i % 26)), "k" + std::to_string(i));
        std::vector<uint8_t> bytes;
        PropertyList::serialize(*start, PropertyListFormat::Binary, bytes);
        writeBytes(host, bytes);
        auto defaults = NSUserDefaults::initWithSuiteName(kFile);
        check(defaults->setObjectForKey(str("x"), "made the lock"), "a write with room failed");
        const std::vector<uint8_t> before = readBytes(host);

        // Fill what is left.
        std::string filler = mountPoint.path() + "/filler";
        int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        std::vector<char> block(4096, 'f');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
        }
        bool full = fd >= 0 && errno == ENOSPC;
        if (fd >= 0) ::close(fd);
        if (!full) return "skip: the memory file system did not fill";
        check(!defaults->setObjectForKey(str("more"), "new key"), "a write into a full file system answered true");
        check(readBytes(host) == before, "a failed write changed the file");
        check(temporaries().empty(), "a failed write left a temporary file");
        ::unlink(filler.c_str());
        check(defaults->setObjectForKey(str("more"), "new key"), "a write after room was made failed");
        auto d = onDisk();
        check(d && d->count() == 42, "keys were lost");
        const std::vector<uint8_t> after = readBytes(host);

        if (::mount(nullptr, mountPoint.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return out.empty() ? "skip: cannot remount read-only" : out;
        check(!defaults->setObjectForKey(str("no"), "read-only"), "a write into a read-only place answered true");
        check(!NSUserDefaults::initWithSuiteName("/var/mobile/Library/Preferences/fresh.plist")
                   ->setObjectForKey(str("no"), "k"),
              "a new file in a read-only place answered true");
        check(readBytes(host) == after, "a failed write changed the file");
        check(!std::filesystem::exists(dir + "/fresh.plist.lock"), "a lock file was made");
        auto again = defaults->objectForKey("new key");
        check(again && plistEqual(again.get(), str("more").get()), "the file cannot be read in a read-only place");
        return out;
    });
    if (problems.rfind("skip:", 0) == 0) GTEST_SKIP() << problems;
    EXPECT_EQ(problems, "");
}
