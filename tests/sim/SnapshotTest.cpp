#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "Pictures.h"
#include "foundation/RunLoop.h"
#include "sim/Simulator.h"
#include "sim/Snapshot.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UIWindow.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

std::unique_ptr<Simulator> bootedDevice(const std::vector<std::string>& setup) {
    Simulator::Options o;
    auto sim = std::make_unique<Simulator>(std::move(o));
    EXPECT_EQ(sim->execute("plugin none"), "");
    for (const auto& line : setup) EXPECT_EQ(sim->execute(line), "") << line;
    EXPECT_EQ(sim->execute("boot"), "");
    return sim;
}

TEST(AppIcon, GeneratedStyleIsStableAndTellsAppsApart) {
    AppIconStyle a = appIconStyle("com.apple.mobilesafari");
    EXPECT_EQ(a.light, appIconStyle("com.apple.mobilesafari").light);
    EXPECT_EQ(a.initials, "Sa");
    EXPECT_EQ(a.name, "Safari");
    EXPECT_EQ(appIconStyle("com.apple.siri").initials, "Si");
    EXPECT_EQ(appIconStyle("com.apple.MobileSMS").initials, "SM");
    EXPECT_EQ(appIconStyle("com.apple.MobileSMS").name, "Messages") << "the home screen's name, not the identifier's";
    EXPECT_EQ(appIconStyle("x").initials, "X");
    EXPECT_EQ(appIconStyle("").initials, "?");
    EXPECT_EQ(appIconStyle("com.example.").initials, "Co");
    EXPECT_NE(appIconStyle("com.example.mail").light, appIconStyle("com.example.maps").light);
    EXPECT_TRUE(std::regex_match(a.light, std::regex("#[0-9a-f]{6}")));
    EXPECT_TRUE(std::regex_match(a.dark, std::regex("#[0-9a-f]{6}")));
}

// Tests the host beneath: the home screen's icons and badges, an app in
// front, the lock screen.
TEST(Snapshot, HostBeneath) {
    auto sim = bootedDevice({"app com.example.mail badge=12", "app com.example.maps icon=no", "app com.a.b&c",
                             "app com.example.news badge=\"Ünread news\""});
    std::string svg = sim->snapshotSvg();
    // A long text badge is cut short to its icon's width, on a character's
    // boundary, rather than drawn across its neighbours.
    EXPECT_NE(svg.find(">Ünrea\u2026</text>"), std::string::npos);
    std::smatch wide;
    ASSERT_TRUE(std::regex_search(svg, wide, std::regex("width=\"([0-9.]+)\" height=\"22\" rx=\"11\" fill=\"#ff3b30\"/><text[^>]*>Ü")));
    EXPECT_LE(std::stod(wide[1]), 60);
    EXPECT_EQ(svg.rfind("<svg", 0), 0u);
    EXPECT_NE(svg.find("width=\"375\" height=\"667\""), std::string::npos);
    EXPECT_EQ(count(svg, "class=\"home-icon\""), 4u);
    EXPECT_NE(svg.find(">12</text>"), std::string::npos);
    EXPECT_EQ(count(svg, "class=\"app-icon\""), 3u);  // the app without an icon has none
    EXPECT_NE(svg.find("com.a.b&amp;c"), std::string::npos);
    EXPECT_EQ(svg.find("com.a.b&c"), std::string::npos);
    EXPECT_EQ(xmlError(svg), "");
    ASSERT_EQ(sim->execute("front com.example.mail"), "");
    svg = sim->snapshotSvg();
    EXPECT_EQ(xmlError(svg), "");
    EXPECT_NE(svg.find("class=\"front-app\" data-bundle=\"com.example.mail\"><rect width=\"375\" height=\"667\""),
              std::string::npos);
    EXPECT_EQ(svg.find("class=\"home-screen\""), std::string::npos);
    // Held sideways, the app is laid out on the long side and turned to
    // read upright to the person holding it; upside down, only turned.
    for (auto [orientation, laidOut] :
         {std::pair{"3", "transform=\"translate(375 0) rotate(90)\"><rect width=\"667\" height=\"375\""},
          {"4", "transform=\"translate(0 667) rotate(-90)\"><rect width=\"667\" height=\"375\""},
          {"2", "transform=\"rotate(180 187.5 333.5)\"><rect width=\"375\" height=\"667\""}}) {
        ASSERT_EQ(sim->execute(std::string("orientation ") + orientation), "");
        EXPECT_NE(sim->snapshotSvg().find(std::string("data-bundle=\"com.example.mail\" ") + laidOut),
                  std::string::npos)
            << "orientation " << orientation;
    }
    // Every picture is a document any SVG reader takes, whatever it shows.
    for (const char* line : {"orientation 2", "orientation 4", "front other", "cc present", "orientation 1",
                             "uilocked yes", "siri visible yes"}) {
        ASSERT_EQ(sim->execute(line), "") << line;
        EXPECT_EQ(xmlError(sim->snapshotSvg()), "") << "after " << line;
    }
    svg = sim->snapshotSvg();
    EXPECT_NE(svg.find("class=\"lock-screen\""), std::string::npos);
    EXPECT_NE(svg.find("class=\"siri\""), std::string::npos);
    EXPECT_NE(svg.find("class=\"control-center\""), std::string::npos);
    sim.reset();
    Simulator::Options o;
    svg = Simulator(std::move(o)).snapshotSvg();
    EXPECT_NE(svg.find("class=\"screen-off\""), std::string::npos);
    EXPECT_EQ(xmlError(svg), "");
}

// Tests that a view is drawn as it is presented at this instant: half-way
// through a fade its opacity is half-way, and its turn, clipping, border,
// corner radius, image and label are all there.
TEST(Snapshot, ViewsAsPresentedNow) {
    auto sim = bootedDevice({"app com.example.mail"});
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
    window->setHidden(false);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(100, 100, 50, 50));
    button->setImage(UIImage::_applicationIconImageForBundleIdentifier("com.example.mail", 2, 2), UIControlStateNormal);
    button->layer()->setCornerRadius(25);
    button->setClipsToBounds(true);
    button->layer()->setBorderWidth(2);
    button->layer()->setBorderColor(UIColor::colorWithRed(0, 0, 1, 1)->CGColor());
    button->setTransform(CGAffineTransformMakeRotation(M_PI / 2));
    auto label = std::make_shared<UILabel>(CGRectMake(0, 0, 20, 20));
    label->setText("7");
    label->setFont(nullptr); // as on the platform: the system font
    button->addSubview(label);
    window->addSubview(button);
    // A clear background is not drawn at all; a coloured one is.
    auto clear = UIView::initWithFrame(CGRectMake(0, 300, 100, 100));
    clear->setBackgroundColor(UIColor::clearColor());
    window->addSubview(clear);
    auto tinted = UIView::initWithFrame(CGRectMake(0, 400, 100, 100));
    tinted->setBackgroundColor(UIColor::colorWithRed(0, 1, 0, 0.5));
    window->addSubview(tinted);
    {
        const std::string still = sim->snapshotSvg();
        EXPECT_EQ(still.find("fill-opacity=\"0\""), std::string::npos);
        EXPECT_NE(still.find("fill=\"#00ff00\" fill-opacity=\"0.5\""), std::string::npos);
    }
    UIView::animateWithDuration(1.0, 0, UIViewAnimationOptionCurveLinear, [&] { button->setAlpha(0); });
    NSRunLoop::mainRunLoop().advance(0.5);

    std::string svg = sim->snapshotSvg();
    EXPECT_EQ(count(svg, "class=\"window\""), 1u);
    EXPECT_NE(svg.find("opacity=\"0.5\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("matrix(0 1 -1 0 0 0)"), std::string::npos);
    EXPECT_NE(svg.find("clip-path=\"url(#"), std::string::npos);
    EXPECT_NE(svg.find("class=\"border\""), std::string::npos);
    EXPECT_NE(svg.find("stroke=\"#0000ff\""), std::string::npos);
    EXPECT_NE(svg.find("rx=\"25\""), std::string::npos);
    EXPECT_NE(svg.find("class=\"app-icon\" data-bundle=\"com.example.mail\""), std::string::npos);
    EXPECT_NE(svg.find(">7</text>"), std::string::npos);
    EXPECT_NE(svg.find("font-size=\"17\" fill=\"#000000\">7</text>"), std::string::npos) << "the system font";
    EXPECT_EQ(xmlError(svg), "");
    // After the fade the model value shows; a hidden view is not drawn.
    NSRunLoop::mainRunLoop().advance(1);
    EXPECT_NE(sim->snapshotSvg().find("opacity=\"0\""), std::string::npos);
    button->setHidden(true);
    EXPECT_EQ(sim->snapshotSvg().find(">7</text>"), std::string::npos);
}

// A picture's fingerprint (FNV-1a over its text).
uint64_t fingerprint(const std::string& svg) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : svg) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// Tests that each kind of picture is, to the byte, the one a person last
// looked at and found right: every colour, place and size in it. A change
// to the drawing made on purpose changes a fingerprint here; the test then
// writes the new picture beside the build to be looked at before its
// fingerprint is recorded.
TEST(Snapshot, EachPictureAsReviewed) {
    std::vector<std::string> setup{"app com.example.mail badge=12", "app com.example.maps icon=no",
                                   "app com.example.news badge=\"Ünread news\""};
    for (int i = 0; i < 26; ++i) setup.push_back("app com.example.app" + std::to_string(i));
    auto sim = bootedDevice(setup);
    const std::pair<const char*, uint64_t> scenes[] = {
        {"", 0x17abaf952256f471ull},
        {"front com.example.mail", 0x5e00619518f0a802ull},
        {"orientation 3", 0x43efe305ee85e168ull},
        {"orientation 1\nfront home\nuilocked yes\ncc present\nsiri visible yes", 0x4de9222ddc0baeull},
    };
    for (const auto& [lines, recorded] : scenes) {
        std::istringstream in(lines);
        for (std::string line; std::getline(in, line);) ASSERT_EQ(sim->execute(line), "") << line;
        const std::string svg = sim->snapshotSvg();
        const uint64_t now = fingerprint(svg);
        if (now == recorded) continue;
        const std::string path = std::string(FT_BINARY_DIR) + "/reviewed-" + std::to_string(now) + ".svg";
        std::ofstream(path) << svg;
        ADD_FAILURE() << "the picture after \"" << lines << "\" changed: look at " << path
                      << "; if it is right, record 0x" << std::hex << now << "ull";
    }
}

// Tests that the alert is drawn with its title, message and buttons.
TEST(Snapshot, AlertWithItsButtons) {
    auto sim = bootedDevice({});
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
    auto root = UIViewController::init();
    window->setRootViewController(root);
    window->setHidden(false);
    auto alert = UIAlertController::alertControllerWithTitle("Choose", "Something <here>", UIAlertControllerStyleAlert);
    alert->addAction(UIAlertAction::actionWithTitle("Go", UIAlertActionStyleDefault, nullptr));
    alert->addAction(UIAlertAction::actionWithTitle("Delete", UIAlertActionStyleDestructive, nullptr));
    alert->addAction(UIAlertAction::actionWithTitle("Cancel", UIAlertActionStyleCancel, nullptr));
    root->presentViewController(alert, false, nullptr);
    std::string svg = sim->snapshotSvg();
    EXPECT_EQ(count(svg, "class=\"alert\""), 1u);
    EXPECT_NE(svg.find(">Choose</text>"), std::string::npos);
    EXPECT_NE(svg.find(">Something &lt;here&gt;</text>"), std::string::npos);
    EXPECT_EQ(count(svg, "class=\"alert-action\""), 3u);
    // The platform's tints: a destructive action red, the others blue, the
    // cancel one bold.
    EXPECT_NE(svg.find("font-size=\"17\" fill=\"#007aff\">Go</text>"), std::string::npos) << svg;
    EXPECT_NE(svg.find("font-size=\"17\" fill=\"#ff3b30\">Delete</text>"), std::string::npos) << svg;
    EXPECT_NE(svg.find("font-weight=\"bold\" fill=\"#007aff\">Cancel</text>"), std::string::npos) << svg;
    EXPECT_EQ(xmlError(svg), "");
    Json dumped = sim->dump();
    EXPECT_EQ(dumped["alert"]["title"], "Choose");
    EXPECT_EQ(dumped["alert"]["actions"][1]["style"], 2);
    EXPECT_EQ(dumped["alert"]["actions"][2]["style"], 1);
    ASSERT_EQ(sim->execute("menu \"Go\""), "");
    EXPECT_EQ(sim->snapshotSvg().find("class=\"alert\""), std::string::npos);
    EXPECT_TRUE(sim->dump()["alert"].is_null());
}

} // namespace

// Tests that a snapshot named .png is the picture drawn as pixels, a pixel
// per point at the screen's scale, as the phone's own screenshot, each the
// SVG's own to the pixel; a picture too large or too small to draw, or a
// file that cannot be written, says so.
TEST(Snapshot, PngAtTheScreensScale) {
    auto sim = bootedDevice({"screen 320x480 scale=3", "app com.example.mail badge=3"});
    const std::string path = (std::filesystem::temp_directory_path() / "snapshot-test.png").string();
    ASSERT_EQ(sim->execute("snapshot \"" + path + "\""), "");
    const Pixels drawn = drawnPixels(sim->snapshotSvg(), 960, 1440);
    std::ifstream in(path, std::ios::binary);
    std::string head(24, '\0');
    in.read(head.data(), 24);
    const Pixels png = pngPixels(path);
    std::filesystem::remove(path);
    ASSERT_EQ(head.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // The header's width and height, big-endian, after "IHDR".
    auto word = [&](size_t at) {
        return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
               (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
    };
    EXPECT_EQ(head.substr(12, 4), "IHDR");
    EXPECT_EQ(word(16), 960);
    EXPECT_EQ(word(20), 1440);
    ASSERT_EQ(drawn.argb.size(), 960u * 1440u);
    EXPECT_TRUE(png == drawn) << "the PNG is not the picture drawn";

    // The edges, on a phone not yet started (its dark screen).
    sim.reset();
    Simulator::Options o;
    Simulator off(std::move(o));
    for (auto [screen, pixels] : {std::pair{"16385x2 scale=1", "16385x2"},
                                  {"2x16385 scale=1", "2x16385"},
                                  {"8x1 scale=0.25", "2x0"},
                                  {"1x8 scale=0.25", "0x2"}}) {
        ASSERT_EQ(off.execute(std::string("screen ") + screen), "");
        EXPECT_EQ(off.execute("snapshot \"" + path + "\""),
                  std::string("cannot draw the picture: a picture of ") + pixels + " pixels cannot be drawn");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(off.execute("screen 16384x1 scale=1"), "");
    EXPECT_EQ(off.execute("snapshot /nonexistent/x.png"),
              "cannot write /nonexistent/x.png (error while writing to output stream)");
    ASSERT_EQ(off.execute("snapshot \"" + path + "\""), "") << "the largest picture";
    EXPECT_EQ(pngPixels(path).width, 16384);
    std::filesystem::remove(path);
}
