// The preferences store: one key merged into the file at a time, under a
// lock, atomically, in the file's own format; failures leave the file whole.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "device/foundation/LibplistReference.h"
#include "device/foundation/PlistTestSupport.h"
#include "device/foundation/TempDir.h"
#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"

namespace {

constexpr const char* kFile = "/var/mobile/Library/Preferences/com.example.test.plist";

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root.path().empty());
        DevicePaths::setRoot(root.path());
        NSUserDefaults::setWriteObserver(nullptr);
        host = DevicePaths::map(kFile);
    }
    void TearDown() override { NSUserDefaults::setWriteObserver(nullptr); }

    std::shared_ptr<NSDictionary> onDisk(PropertyListFormat* format = nullptr) {
        return std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(host, format));
    }
    void seed(const NSDictionary& dict, PropertyListFormat format) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(PropertyList::serialize(dict, format, bytes));
        writeBytes(host, bytes);
    }
    // Every name in the preferences folder, to see that no temporary file
    // was left behind.
    std::vector<std::string> folder() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(host).parent_path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir root;
    std::string host;
};

std::shared_ptr<NSMutableDictionary> dictOf(std::initializer_list<std::pair<std::string, id>> entries) {
    auto d = std::make_shared<NSMutableDictionary>();
    for (const auto& [k, v] : entries) d->setObjectForKey(v, k);
    return d;
}

std::string runPython(const std::string& script, const std::string& arg) {
    std::string cmd = "python3 -c '" + script + "' '" + arg + "' 2>&1";
    std::string out;
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (!pipe) return "popen failed";
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    ::pclose(pipe);
    return out;
}

bool hasPython() { return std::system("python3 -c 'import plistlib' >/dev/null 2>&1") == 0; }

} // namespace

// Tests that the first write creates the folders and a binary file, and
// that later writes merge one key at a time: other keys keep their values
// and order, a rewritten key keeps its place, a nil value removes the key.
TEST_F(UserDefaultsTest, MergesOneKeyAtATime) {
    auto defaults = NSUserDefaults::initWithSuiteName(kFile);
    ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithBool(true), "isLocked"));
    std::vector<uint8_t> bytes = readBytes(host);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "bplist00") << "a new file is binary";

    ASSERT_TRUE(defaults->setObjectForKey(str("b"), "second"));
    ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithFloat(2.5f), "third"));
    ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithBool(false), "isLocked"));
    auto d = onDisk();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->allKeys(), (std::vector<std::string>{"isLocked", "second", "third"}));
    EXPECT_FALSE(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("isLocked"))->boolValue());

    ASSERT_TRUE(defaults->removeObjectForKey("second"));
    EXPECT_EQ(onDisk()->allKeys(), (std::vector<std::string>{"isLocked", "third"}));
    EXPECT_TRUE(defaults->removeObjectForKey("neverThere"));
    EXPECT_EQ(onDisk()->count(), 2u);
    EXPECT_EQ(folder(), (std::vector<std::string>{"com.example.test.plist", "com.example.test.plist.lock"}));
}

// Tests that the file keeps its format: XML stays XML, binary stays binary,
// and the keys already there stay first in the file.
TEST_F(UserDefaultsTest, KeepsTheFileFormat) {
    for (PropertyListFormat format : {PropertyListFormat::XML, PropertyListFormat::Binary}) {
        seed(*dictOf({{"z", str("first")}, {"a", NSNumber::numberWithInteger(-3)}}), format);
        auto defaults = NSUserDefaults::initWithSuiteName(kFile);
        ASSERT_TRUE(defaults->setObjectForKey(str("new"), "m"));
        PropertyListFormat found = format == PropertyListFormat::XML ? PropertyListFormat::Binary : PropertyListFormat::XML;
        auto d = onDisk(&found);
        ASSERT_TRUE(d);
        EXPECT_EQ(found, format);
        EXPECT_EQ(keysInFileOrder(readBytes(host)), (std::vector<std::string>{"a", "z", "m"}));
        EXPECT_EQ(d->allKeys(), (std::vector<std::string>{"a", "m", "z"}));
        EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("a"))->integerValue(), -3);
    }
}

// Tests that a rewrite keeps the permissions the file had (a private file
// stays private, whatever the replacement file was made with), and that a
// new file is readable by all, as the daemon's own files are.
TEST_F(UserDefaultsTest, KeepsTheFilePermissions) {
    auto defaults = NSUserDefaults::initWithSuiteName(kFile);
    ASSERT_TRUE(defaults->setObjectForKey(str("a"), "first"));
    struct stat st {};
    ASSERT_EQ(::stat(host.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    for (mode_t mode : {0600, 0640, 0664}) {
        ASSERT_EQ(::chmod(host.c_str(), mode), 0);
        ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithInteger(mode), "mode"));
        ASSERT_EQ(::stat(host.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
    EXPECT_EQ(onDisk()->count(), 2u);
}

// Tests that a merge leaves the other keys exactly as stored, even values
// with no Foundation form (a keyed-archiver UID), 16-byte integers and
// dates before 2001 with a fraction.
TEST_F(UserDefaultsTest, OtherKeysKeepTheirExactValues) {
    BinaryPlistBuilder b;
    size_t kUid = b.add(b.ascii("uid"));
    size_t uid = b.add({0x80, 7});
    size_t kHuge = b.add(b.ascii("huge"));
    size_t huge = b.add(b.integer16(0, UINT64_MAX));
    size_t kDate = b.add(b.ascii("date"));
    BinaryPlistBuilder::Bytes date{0x33};
    double when = -1234.75;
    uint64_t bits;
    std::memcpy(&bits, &when, sizeof bits);
    for (int i = 7; i >= 0; --i) date.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    size_t d = b.add(date);
    size_t root = b.add(b.dict({kUid, kHuge, kDate}, {uid, huge, d}));
    writeBytes(host, b.build(root));

    ASSERT_TRUE(NSUserDefaults::initWithSuiteName(kFile)->setObjectForKey(str("v"), "added"));
    auto after = onDisk();
    ASSERT_TRUE(after);
    EXPECT_EQ(keysInFileOrder(readBytes(host)), (std::vector<std::string>{"uid", "huge", "date", "added"}));
    EXPECT_TRUE(std::dynamic_pointer_cast<NSNull>(after->objectForKey("uid"))) << "the UID was dropped";
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(after->objectForKey("huge"))->unsignedLongLongValue(), UINT64_MAX);
    EXPECT_EQ(std::dynamic_pointer_cast<NSDate>(after->objectForKey("date"))->timeIntervalSinceReferenceDate(), when);
}

// Tests that reads go to the file each time, so a change made by another
// writer is seen at once.
TEST_F(UserDefaultsTest, ReadsAfresh) {
    auto defaults = NSUserDefaults::initWithSuiteName(kFile);
    EXPECT_FALSE(defaults->objectForKey("k"));
    seed(*dictOf({{"k", str("one")}}), PropertyListFormat::XML);
    auto v = std::dynamic_pointer_cast<NSString>(defaults->objectForKey("k"));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->UTF8String(), "one");
    seed(*dictOf({{"k", str("two")}}), PropertyListFormat::Binary);
    EXPECT_EQ(std::dynamic_pointer_cast<NSString>(defaults->objectForKey("k"))->UTF8String(), "two");
    writeText(host, "garbage");
    EXPECT_FALSE(defaults->objectForKey("k"));
}

// Tests that an existing file that is not a dictionary list is never
// overwritten: the write is refused and the bytes stay as they were.
TEST_F(UserDefaultsTest, RefusesToReplaceAnUnreadableFile) {
    auto defaults = NSUserDefaults::initWithSuiteName(kFile);
    for (std::string content : {std::string("not a plist"), std::string("<plist><array><true/></array></plist>"),
                                std::string("bplist00\x01\x02", 10)}) {
        writeText(host, content);
        EXPECT_FALSE(defaults->setObjectForKey(str("v"), "k")) << content;
        auto bytes = readBytes(host);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
    }
    EXPECT_EQ(folder(), (std::vector<std::string>{"com.example.test.plist", "com.example.test.plist.lock"}));
}

// Tests that an empty file counts as an empty dictionary: it holds nothing
// a rewrite could lose.
TEST_F(UserDefaultsTest, EmptyFileIsAnEmptyDictionary) {
    writeText(host, "");
    ASSERT_TRUE(NSUserDefaults::initWithSuiteName(kFile)->setObjectForKey(str("v"), "k"));
    EXPECT_EQ(onDisk()->allKeys(), std::vector<std::string>{"k"});
}

// Tests failed writes: the target is a directory, the lock cannot be made,
// the value has no property-list form, the folder is read-only. Each answers
// false and leaves the old file whole, with no temporary file left.
TEST_F(UserDefaultsTest, FailedWritesLeaveTheOldFileWhole) {
    seed(*dictOf({{"keep", str("me")}}), PropertyListFormat::Binary);
    const std::vector<uint8_t> before = readBytes(host);
    auto defaults = NSUserDefaults::initWithSuiteName(kFile);

    EXPECT_FALSE(defaults->setObjectForKey(NSNull::null(), "null"));
    EXPECT_FALSE(defaults->setObjectForKey(std::make_shared<NSObject>(), "object"));
    EXPECT_EQ(readBytes(host), before);

    EXPECT_FALSE(std::filesystem::exists(host + ".lock")) << "a doomed write takes no lock";
    std::filesystem::create_directory(host + ".lock");
    EXPECT_FALSE(defaults->setObjectForKey(str("v"), "k")) << "lock path is a directory";
    EXPECT_EQ(readBytes(host), before);
    std::filesystem::remove(host + ".lock");

    std::string dirTarget = "/var/mobile/Library/Preferences/folder.plist";
    std::filesystem::create_directories(DevicePaths::map(dirTarget) + "/inside");
    EXPECT_FALSE(NSUserDefaults::initWithSuiteName(dirTarget)->setObjectForKey(str("v"), "k"));
    EXPECT_TRUE(std::filesystem::is_directory(DevicePaths::map(dirTarget) + "/inside"));

    EXPECT_EQ(folder(), (std::vector<std::string>{"com.example.test.plist", "folder.plist", "folder.plist.lock"}))
        << "a temporary file was left behind";
    EXPECT_EQ(readBytes(host), before);
}

// Tests a write into a read-only folder: with the lock file already there it
// gets as far as its temporary file, fails there, answers false and leaves
// neither a changed file nor a temporary one. A privileged user writes
// anywhere, so then the write runs in a child that gives up its privileges.
TEST_F(UserDefaultsTest, ReadOnlyFolderFailsCleanly) {
    seed(*dictOf({{"keep", str("me")}}), PropertyListFormat::XML);
    const std::vector<uint8_t> before = readBytes(host);
    writeText(host + ".lock", "");
    std::string dir = std::filesystem::path(host).parent_path().string();
    ::chmod((host + ".lock").c_str(), 0666);
    ::chmod(dir.c_str(), 0555);
    bool written;
    if (::geteuid() != 0) {
        written = NSUserDefaults::initWithSuiteName(kFile)->setObjectForKey(str("v"), "k");
    } else {
        // The unprivileged child must be able to reach the folder.
        for (auto p = std::filesystem::path(dir).parent_path(); p.string().size() >= root.path().size();
             p = p.parent_path())
            ::chmod(p.c_str(), 0755);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
            bool ok = NSUserDefaults::initWithSuiteName(kFile)->setObjectForKey(str("v"), "k");
            ::_exit(ok ? 1 : 0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 3) << "could not drop privileges";
        written = WEXITSTATUS(status) == 1;
    }
    ::chmod(dir.c_str(), 0755);
    EXPECT_FALSE(written);
    EXPECT_EQ(readBytes(host), before);
    EXPECT_EQ(folder(), (std::vector<std::string>{"com.example.test.plist", "com.example.test.plist.lock"}));
}

// Tests that the write observer hears every write with its outcome.
TEST_F(UserDefaultsTest, WriteObserverHearsEveryWrite) {
    struct Heard {
        std::string path, key;
        id value;
        bool ok;
    };
    std::vector<Heard> heard;
    NSUserDefaults::setWriteObserver([&](const std::string& p, const std::string& k, const id& v, bool ok) {
        heard.push_back({p, k, v, ok});
    });
    auto defaults = NSUserDefaults::initWithSuiteName(kFile);
    auto value = NSNumber::numberWithBool(true);
    defaults->setObjectForKey(value, "isLocked");
    defaults->setObjectForKey(NSNull::null(), "bad");
    defaults->removeObjectForKey("isLocked");
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].path, kFile);
    EXPECT_EQ(heard[0].key, "isLocked");
    EXPECT_EQ(heard[0].value, value);
    EXPECT_TRUE(heard[0].ok);
    EXPECT_FALSE(heard[1].ok);
    EXPECT_EQ(heard[2].value, nullptr);
    EXPECT_TRUE(heard[2].ok);
}

// Tests suite names: an absolute path is the file itself, a domain name is
// a file in the preferences folder, an empty name writes nothing.
TEST_F(UserDefaultsTest, SuiteNames) {
    EXPECT_EQ(NSUserDefaults::initWithSuiteName("com.example.domain")->filePath(),
              "/var/mobile/Library/Preferences/com.example.domain.plist");
    ASSERT_TRUE(NSUserDefaults::initWithSuiteName("com.example.domain")->setObjectForKey(str("v"), "k"));
    EXPECT_TRUE(std::filesystem::exists(DevicePaths::map("/var/mobile/Library/Preferences/com.example.domain.plist")));
    EXPECT_FALSE(NSUserDefaults::initWithSuiteName("")->setObjectForKey(str("v"), "k"));
    EXPECT_FALSE(NSUserDefaults::initWithSuiteName("/var/../../escape.plist")->setObjectForKey(str("v"), "k"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(root.path()).parent_path() / "escape.plist"));
}

// Tests two processes writing different keys into one file a thousand times
// each while a third keeps reading it: every read sees a whole dictionary
// that never shrinks, and no key is lost.
TEST_F(UserDefaultsTest, ConcurrentWritersLoseNoKey) {
    // On a memory file system when there is one: this is about the lock and
    // the atomic replacement, and 2,000 fsyncs to a disk take half a minute.
    std::unique_ptr<TempDir> memoryRoot;
    if (::access("/dev/shm", W_OK) == 0) {
        memoryRoot = std::make_unique<TempDir>("/dev/shm");
        if (!memoryRoot->path().empty()) {
            DevicePaths::setRoot(memoryRoot->path());
            host = DevicePaths::map(kFile);
        }
    }
    const int perWriter = 1000;
    std::vector<pid_t> writers;
    for (const char* prefix : {"a", "b"}) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto defaults = NSUserDefaults::initWithSuiteName(kFile);
            int failures = 0;
            for (int i = 0; i < perWriter; ++i)
                if (!defaults->setObjectForKey(NSNumber::numberWithInteger(i), prefix + std::to_string(i))) ++failures;
            ::_exit(failures == 0 ? 0 : 1);
        }
        writers.push_back(pid);
    }
    int reads = 0, unreadable = 0;
    uint64_t lastCount = 0, shrinks = 0;
    size_t running = writers.size();
    while (running > 0) {
        std::vector<uint8_t> bytes;
        if (PropertyList::readFileBytes(host, bytes) == PropertyList::ReadResult::Ok) {
            ++reads;
            auto d = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(bytes));
            if (!d) ++unreadable;
            else {
                if (d->count() < lastCount) ++shrinks;
                lastCount = d->count();
            }
        }
        running = 0;
        for (pid_t& pid : writers) {
            if (pid <= 0) continue;
            int status = 0;
            pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
                pid = 0;
            } else {
                ++running;
            }
        }
    }
    EXPECT_GT(reads, 0);
    EXPECT_EQ(unreadable, 0);
    EXPECT_EQ(shrinks, 0u);
    auto d = onDisk();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->count(), 2u * perWriter);
    for (const char* prefix : {"a", "b"})
        for (int i = 0; i < perWriter; ++i) {
            auto n = std::dynamic_pointer_cast<NSNumber>(d->objectForKey(prefix + std::to_string(i)));
            ASSERT_TRUE(n) << prefix << i;
            EXPECT_EQ(n->integerValue(), i);
        }
    EXPECT_EQ(folder(), (std::vector<std::string>{"com.example.test.plist", "com.example.test.plist.lock"}));
}

// Tests that an independent reader (python3's plistlib) reads what the store
// wrote, in both formats, with floats at single precision, signs and order
// intact.
TEST_F(UserDefaultsTest, IndependentReaderReadsBothFormats) {
    if (!hasPython()) GTEST_SKIP() << "python3 is missing";
    const std::string script =
        "import plistlib, sys\n"
        "d = plistlib.load(open(sys.argv[1], \"rb\"))\n"
        "for k, v in d.items():\n"
        "    print(k, type(v).__name__, repr(v))\n";
    const std::string expected =
        "existing str 'kept'\n"
        "isLocked bool True\n"
        "neg int -5\n"
        "huge int 18446744073709551615\n"
        "f float 0.10000000149011612\n"
        "d float 0.1\n"
        "s str 'héllo ✓'\n"
        "pos list [12.5, 300.25]\n"
        "data bytes b'\\x00\\xff'\n";
    for (PropertyListFormat format : {PropertyListFormat::Binary, PropertyListFormat::XML}) {
        seed(*dictOf({{"existing", str("kept")}}), format);
        auto defaults = NSUserDefaults::initWithSuiteName(kFile);
        auto pos = NSMutableArray::arrayWithCapacity(2);
        pos->addObject(NSNumber::numberWithFloat(12.5f));
        pos->addObject(NSNumber::numberWithFloat(300.25f));
        ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithBool(true), "isLocked"));
        ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithInteger(-5), "neg"));
        ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithUnsignedLongLong(UINT64_MAX), "huge"));
        ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithFloat(0.1f), "f"));
        ASSERT_TRUE(defaults->setObjectForKey(NSNumber::numberWithDouble(0.1), "d"));
        ASSERT_TRUE(defaults->setObjectForKey(str("héllo ✓"), "s"));
        ASSERT_TRUE(defaults->setObjectForKey(pos, "pos"));
        ASSERT_TRUE(defaults->setObjectForKey(std::make_shared<NSData>(std::vector<uint8_t>{0, 255}), "data"));
        EXPECT_EQ(runPython(script, host), expected) << (format == PropertyListFormat::XML ? "XML" : "binary");
    }
}
