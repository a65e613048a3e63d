// Foundation's readings of odd values, formatting, the log, device paths and
// bundles.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/foundation/TempDir.h"
#include "foundation/DevicePaths.h"
#include "foundation/Foundation.h"
#include "foundation/NSBundle.h"
#include "foundation/NSLog.h"
#include "runtime/Process.h"

namespace {

std::optional<bool> boolOf(const std::string& s) {
    NSString v(s);
    return readBool(&v);
}
std::optional<int64_t> intOf(const std::string& s) {
    NSString v(s);
    return readInteger(&v);
}
std::optional<double> doubleOf(const std::string& s) {
    NSString v(s);
    return readDouble(&v);
}

} // namespace

// Tests the truth reading of strings as documented: after white space, an
// optional sign and zeros, a Y, y, T, t or digit 1-9 is YES; else NO.
TEST(Readings, StringTruth) {
    for (const char* yes : {"yes", "Y", "T", "true", "  t", "1", "-5", " 12abc", "00012", "+7", "99999999999999999999",
                            "+Y", "-0t", "+000009", "00y", " -T"})
        EXPECT_EQ(boolOf(yes), true) << yes;
    for (const char* no : {"", "no", "0", "+0", "-00", "0.5", ".5", "false", "abc", "   ", "N", "x1", "+-1", "+ Y",
                           "0n"})
        EXPECT_EQ(boolOf(no), false) << no;
}

// Tests the integer and real readings of strings: the leading number after
// white space, 0 without one, saturating beyond 64 bits.
TEST(Readings, StringNumbers) {
    EXPECT_EQ(intOf(" 12abc"), 12);
    EXPECT_EQ(intOf("-5"), -5);
    EXPECT_EQ(intOf("+0"), 0);
    EXPECT_EQ(intOf("00012"), 12);
    EXPECT_EQ(intOf("0.5"), 0);
    EXPECT_EQ(intOf("1e3"), 1);
    EXPECT_EQ(intOf("yes"), 0);
    EXPECT_EQ(intOf(""), 0);
    EXPECT_EQ(intOf("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(intOf("-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(doubleOf("0.5"), 0.5);
    EXPECT_EQ(doubleOf(" 12abc"), 12.0);
    EXPECT_EQ(doubleOf("1e3"), 1000.0);
    EXPECT_EQ(doubleOf(".25x"), 0.25);
    EXPECT_EQ(doubleOf("-"), 0.0);
    EXPECT_EQ(doubleOf("inf"), 0.0);
    EXPECT_EQ(doubleOf("0x10"), 0.0);
    EXPECT_EQ(NSString("70").floatValue(), 70.0f);
    EXPECT_EQ(NSString("3000000000").intValue(), INT32_MAX);
}

// Tests number readings: any non-zero number is true, 0.5 included, unlike
// the string "0.5"; reals truncate towards zero when read as integers.
TEST(Readings, Numbers) {
    auto half = NSNumber::numberWithDouble(0.5);
    EXPECT_EQ(readBool(half.get()), true);
    EXPECT_EQ(readInteger(half.get()), 0);
    EXPECT_EQ(readBool(NSNumber::numberWithDouble(0.0).get()), false);
    EXPECT_EQ(readInteger(NSNumber::numberWithDouble(-2.9).get()), -2);
    EXPECT_EQ(readInteger(NSNumber::numberWithDouble(1e300).get()), INT64_MAX);
    EXPECT_EQ(readBool(NSNumber::numberWithInteger(-1).get()), true);
    EXPECT_EQ(readDouble(NSNumber::numberWithBool(true).get()), 1.0);
    auto huge = NSNumber::numberWithUnsignedLongLong(UINT64_MAX);
    EXPECT_EQ(huge->unsignedLongLongValue(), UINT64_MAX);
    EXPECT_EQ(readBool(huge.get()), true);
    EXPECT_EQ(NSNumber::numberWithFloat(0.1f)->doubleValue(), static_cast<double>(0.1f));
    EXPECT_TRUE(NSNumber::numberWithFloat(0.1f)->isSinglePrecision());
    EXPECT_FALSE(NSNumber::numberWithDouble(0.1)->isSinglePrecision());
    EXPECT_EQ(NSNumber::numberWithUnsignedLongLong(5)->kind(), NSNumber::Kind::Integer);
    EXPECT_TRUE(NSNumber::numberWithInteger(1)->isEqualToNumber(NSNumber::numberWithDouble(1.0).get()));
    EXPECT_FALSE(huge->isEqualToNumber(NSNumber::numberWithInteger(-1).get()));
}

// Tests that values with no reading answer nothing rather than a guess.
TEST(Readings, NonScalarsHaveNoReading) {
    NSArray array;
    NSMutableDictionary dict;
    NSData data;
    EXPECT_FALSE(readBool(nullptr));
    EXPECT_FALSE(readBool(&array));
    EXPECT_FALSE(readInteger(&dict));
    EXPECT_FALSE(readDouble(&data));
    EXPECT_FALSE(readBool(NSNull::null().get()));
}

// Tests the printf-style formatter with %@, star widths and long lengths.
TEST(Formatting, StringWithFormat) {
    auto name = str("siri");
    EXPECT_EQ(NSString::stringWithFormat("HIDAPPS-%@", name.get())->UTF8String(), "HIDAPPS-siri");
    EXPECT_EQ(NSString::stringWithFormat("%@|%d", static_cast<const NSObject*>(nullptr), 3)->UTF8String(), "(null)|3");
    EXPECT_EQ(NSString::stringWithFormat("%5.2f|%-4d|%%|%s", 3.14159, 7, "x")->UTF8String(), " 3.14|7   |%|x");
    EXPECT_EQ(NSString::stringWithFormat("%*d|%.*f", 4, 9, 1, 2.25)->UTF8String(), "   9|2.2");
    EXPECT_EQ(NSString::stringWithFormat("%lld %llu %ld %zu", -1LL, 18446744073709551615ULL, -2L, size_t{5})->UTF8String(),
              "-1 18446744073709551615 -2 5");
    EXPECT_EQ(NSString::stringWithFormat("%x %X %o %c", 255u, 255u, 8u, 'A')->UTF8String(), "ff FF 10 A");
    std::string wide = NSString::stringWithFormat("%600d", 1)->UTF8String();
    EXPECT_EQ(wide.size(), 600u);
    EXPECT_EQ(wide.back(), '1');
    EXPECT_EQ(NSString::stringWithFormat("%s", static_cast<const char*>(nullptr))->UTF8String(), "(null)");
    EXPECT_EQ(NSString::stringWithFormat("trailing %")->UTF8String(), "trailing %");
    EXPECT_EQ(NSString::stringWithFormat("%k")->UTF8String(), "%k");
}

// Tests NSLog: lines are kept for the process and handed to the host's
// handler, which outlives a respring.
TEST(Logging, LinesPerProcessHandlerPerDevice) {
    Process::terminate();
    std::vector<std::string> handled;
    LogSink::setHandler([&](const std::string& line) { handled.push_back(line); });
    NSLog("zefran call status :%d", 4);
    auto who = str("SpringBoard");
    NSLog("%@ ready", who.get());
    EXPECT_EQ(LogSink::lines(), (std::vector<std::string>{"zefran call status :4", "SpringBoard ready"}));
    EXPECT_EQ(handled, LogSink::lines());
    Process::terminate();
    EXPECT_TRUE(LogSink::lines().empty());
    NSLog("again");
    EXPECT_EQ(handled.size(), 3u);
    LogSink::setHandler(nullptr);
    NSLog("unhandled");
    EXPECT_EQ(handled.size(), 3u);
    EXPECT_EQ(LogSink::lines().size(), 2u);
    Process::terminate();
}

// Tests the mapping of device paths under the root and the refusals.
TEST(DevicePathsTest, MapsUnderTheRootAndRefusesEscapes) {
    DevicePaths::setRoot("/tmp/device-root/");
    EXPECT_EQ(DevicePaths::root(), "/tmp/device-root");
    EXPECT_EQ(DevicePaths::map("/var/mobile/Library/Preferences/a.plist"),
              "/tmp/device-root/var/mobile/Library/Preferences/a.plist");
    EXPECT_EQ(DevicePaths::map("/"), "/tmp/device-root/");
    EXPECT_EQ(DevicePaths::map("/var/..hidden/x"), "/tmp/device-root/var/..hidden/x");
    for (const char* bad : {"", "var/mobile", "../etc/passwd", "/var/../../etc", "/..", "/var/mobile/..", "./x"})
        EXPECT_EQ(DevicePaths::map(bad), "") << bad;
    EXPECT_EQ(DevicePaths::map(std::string("/var/a\0b", 8)), "");
    Process::terminate();
    EXPECT_EQ(DevicePaths::root(), "/tmp/device-root") << "the root belongs to the device";
    DevicePaths::setRoot("");
    EXPECT_EQ(DevicePaths::map("/var/mobile"), "") << "without a root nothing maps";
}

// Tests bundles: only existing directories, one object per path within a
// process, load once with the observer told, and unloaded after a respring.
TEST(Bundles, BundleWithPathAndLoad) {
    Process::terminate();
    TempDir root;
    DevicePaths::setRoot(root.path());
    const std::string path = "/System/Library/PrivateFrameworks/AccessibilityPhysicalInteraction.framework";
    std::filesystem::create_directories(root / path.substr(1));
    writeText(root / "System/file", "x");
    std::vector<std::string> told;
    NSBundle::setLoadObserver([&](const std::string& p) { told.push_back(p); });

    EXPECT_FALSE(NSBundle::bundleWithPath("/System/Library/Missing.framework"));
    EXPECT_FALSE(NSBundle::bundleWithPath("/System/file"));
    EXPECT_FALSE(NSBundle::bundleWithPath("/System/../System"));
    EXPECT_FALSE(NSBundle::bundleWithPath(""));

    auto bundle = NSBundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(NSBundle::bundleWithPath(path + "/"), bundle);
    EXPECT_EQ(NSBundle::bundleWithPath(path + "//"), bundle);
    EXPECT_EQ(bundle->bundlePath(), path);
    // The root is a directory like any other; its slashes come down to one.
    auto top = NSBundle::bundleWithPath("//");
    ASSERT_TRUE(top);
    EXPECT_EQ(top->bundlePath(), "/");
    EXPECT_EQ(NSBundle::bundleWithPath("/"), top);
    EXPECT_FALSE(bundle->isLoaded());
    EXPECT_TRUE(bundle->load());
    EXPECT_TRUE(bundle->isLoaded());
    EXPECT_TRUE(bundle->load());
    EXPECT_EQ(told, std::vector<std::string>{path});

    Process::terminate();
    auto fresh = NSBundle::bundleWithPath(path);
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh, bundle);
    EXPECT_FALSE(fresh->isLoaded());
    std::filesystem::remove_all(root / path.substr(1));
    EXPECT_FALSE(fresh->load()) << "the directory is gone";
    EXPECT_EQ(told.size(), 1u);
    NSBundle::setLoadObserver(nullptr);
    Process::terminate();
}
