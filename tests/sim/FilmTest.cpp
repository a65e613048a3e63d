#include <gtest/gtest.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "Pictures.h"
#include "sim/Film.h"
#include "sim/Simulator.h"
#include "uikit/UIColor.h"
#include "uikit/UIWindow.h"

namespace {

struct DecodedFrame {
    int endMs = 0;
    std::vector<uint8_t> rgba;
};

std::vector<DecodedFrame> decodeFilm(const std::string& path, int& width, int& height, int* loops = nullptr,
                                     uint32_t* background = nullptr) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    std::vector<DecodedFrame> frames;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (!decoder) return frames;
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    width = static_cast<int>(info.canvas_width);
    height = static_cast<int>(info.canvas_height);
    if (loops) *loops = static_cast<int>(info.loop_count);
    if (background) *background = info.bgcolor;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        uint8_t* pixels = nullptr;
        int end = 0;
        if (!WebPAnimDecoderGetNext(decoder, &pixels, &end)) break;
        frames.push_back({end, std::vector<uint8_t>(pixels, pixels + static_cast<size_t>(width) * height * 4)});
    }
    WebPAnimDecoderDelete(decoder);
    return frames;
}

// The still picture drawn on its own, in the decoder's byte order.
std::vector<uint8_t> stillPixels(const std::string& svg, int width, int height) {
    Pixels b = drawnPixels(svg, width, height);
    EXPECT_EQ(b.argb.size(), static_cast<size_t>(width) * static_cast<size_t>(height));
    std::vector<uint8_t> rgba;
    rgba.reserve(b.argb.size() * 4);
    for (uint32_t p : b.argb) {
        rgba.push_back(static_cast<uint8_t>(p >> 16));
        rgba.push_back(static_cast<uint8_t>(p >> 8));
        rgba.push_back(static_cast<uint8_t>(p));
        rgba.push_back(static_cast<uint8_t>(p >> 24));
    }
    return rgba;
}

// A phone for a film: the device's template, nothing else.
std::unique_ptr<Simulator> newPhone() {
    Simulator::Options o;
    o.deviceTemplate = FT_DEVICE_TEMPLATE;
    return std::make_unique<Simulator>(std::move(o));
}

// The pixels that differ between two frames, as {those `in` says yes to,
// the others}.
std::pair<int, int> changedPixels(const DecodedFrame& a, const DecodedFrame& b, int width, int height,
                                  const std::function<bool(int, int)>& in) {
    std::pair<int, int> counts{0, 0};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = (static_cast<size_t>(y) * width + x) * 4;
            if (std::equal(&a.rgba[at], &a.rgba[at] + 4, &b.rgba[at])) continue;
            (in(x, y) ? counts.first : counts.second)++;
        }
    return counts;
}

// How many `tag` elements follow the group of `group` in a picture (0
// when there is no such group).
size_t elementsAfter(const std::string& svg, const std::string& group, const std::string& tag) {
    const size_t start = svg.find("class=\"" + group + "\"");
    size_t n = 0;
    if (start != std::string::npos)
        for (size_t at = svg.find(tag, start); at != std::string::npos; at = svg.find(tag, at + 1)) ++n;
    return n;
}

} // namespace

// Tests that a film runs at 30 frames a second of the phone's clock, with
// frames of their own for the finger and a still stretch cut to a second,
// and that its first and last frames are the still pictures of those
// moments to the pixel (the film is lossless), playing on in a loop.
TEST(Film, FramesAndTheStillPicturesAtEitherEnd) {
    auto phone = newPhone();
    Simulator& sim = *phone;
    Film film;
    film.attach(sim);
    for (const char* line : {"screen 320x480 scale=1", "app com.example.mail",
                             "state FLTTILE-com.example.mail=true POSAPPS-com.example.mail=[100.0,300.0]",
                             "settings isSticky=true", "boot"})
        ASSERT_EQ(sim.execute(line), "") << line;
    const std::string first = sim.snapshotSvg();
    // Down and up are held 3 frames each, each of the 4 moves is one; the
    // snap then slides for 0.3 s and the phone stands still: of the 2.5 s
    // wait, the slide's frames and one still second are kept.
    for (const char* line : {"drag bubble:com.example.mail to 120,300 steps=4", "wait 2.5"})
        ASSERT_EQ(sim.execute(line), "") << line;
    const std::string last = sim.snapshotSvg();
    film.detach();

    // The finger's trail starts at its down: the down's frame has the dot
    // alone, each move's one line more.
    ASSERT_GE(film.frames().size(), 6u);
    for (size_t move = 0; move <= 4; ++move) {
        const std::string& svg = film.frames()[1 + move].svg;
        const size_t finger = svg.find("class=\"finger\"");
        ASSERT_NE(finger, std::string::npos) << "frame " << 1 + move;
        EXPECT_EQ(elementsAfter(svg, "finger", "<line"), move) << "frame " << 1 + move;
        // Its newest line joins the point before to the finger's own, the
        // line before it fainter.
        if (move == 0) continue;
        char newest[96];
        std::snprintf(newest, sizeof newest, "<line x1=\"%.1f\" y1=\"300.0\" x2=\"%.1f\" y2=\"300.0\"",
                      100.0 + 5.0 * static_cast<double>(move - 1), 100.0 + 5.0 * static_cast<double>(move));
        EXPECT_NE(svg.find(newest, finger), std::string::npos) << "frame " << 1 + move << ": " << svg.substr(finger);
        if (move < 2) continue;
        auto opacityOf = [&](size_t nth) {
            size_t at = finger;
            for (size_t k = 0; k <= nth; ++k) at = svg.find("<line", at + 1);
            size_t o = svg.find("stroke-opacity=\"", at) + 16;
            return std::stod(svg.substr(o));
        };
        EXPECT_LT(opacityOf(move - 2), opacityOf(move - 1)) << "frame " << 1 + move;
    }
    const long slideFrames = 9;
    const long expected = Film::kChangeFrames + 2 * Film::kFingerFrames + 4 + slideFrames + 30;
    EXPECT_EQ(film.frameCount(), expected);
    EXPECT_NEAR(film.secondsLeftOut(), 2.5 - (slideFrames + 30) / 30.0, 1e-6);

    const std::string path = (std::filesystem::temp_directory_path() / "film-test.webp").string();
    ASSERT_EQ(film.write(path), "");
    int width = 0, height = 0, loops = -1;
    uint32_t background = 0;
    std::vector<DecodedFrame> frames = decodeFilm(path, width, height, &loops, &background);
    std::filesystem::remove(path);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(loops, 0) << "a film plays on and on";
    // A player that clears to the film's background clears to opaque black,
    // the phone's own dark screen (alpha in the top byte).
    EXPECT_EQ(background, 0xff000000u);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 480);
    // Its length is the frames' count at 30 a second, to the millisecond.
    EXPECT_EQ(frames.back().endMs, static_cast<int>(std::lround(expected * 1000.0 / 30)));
    EXPECT_TRUE(frames.front().rgba == stillPixels(first, width, height))
        << "the first frame is not the boot's picture";
    EXPECT_TRUE(frames.back().rgba == stillPixels(last, width, height)) << "the last frame is not the end's picture";
    // The touch-down frame comes next: the boot's picture with the
    // finger's dot where it pressed, and nothing else changed.
    ASSERT_GE(frames.size(), 2u);
    auto [insideDot, outsideDot] = changedPixels(frames[0], frames[1], width, height, [](int x, int y) {
        return (x - 100) * (x - 100) + (y - 300) * (y - 300) <= 17 * 17;
    });
    EXPECT_GT(insideDot, 300);
    EXPECT_EQ(outsideDot, 0);
    // The dot is translucent white: inside its rim, a little more than half
    // white over what it covers, so the bubble under the finger shows.
    int far = 0;
    for (int y = 290; y <= 310; ++y)
        for (int x = 90; x <= 110; ++x) {
            if ((x - 100) * (x - 100) + (y - 300) * (y - 300) > 10 * 10) continue;
            const size_t at = (static_cast<size_t>(y) * width + x) * 4;
            for (size_t channel = 0; channel < 3; ++channel) {
                const double under = frames[0].rgba[at + channel];
                far += under < 200;
                EXPECT_NEAR(frames[1].rgba[at + channel], 0.55 * 255 + 0.45 * under, 2.0) << x << "," << y;
            }
        }
    EXPECT_GT(far, 0) << "nothing dark under the dot to show through";

    phone.reset();
    // A longer drag's trail is its last six points: five lines at most.
    {
        auto other = newPhone();
        Film trail;
        trail.attach(*other);
        for (const char* line : {"screen 320x480 scale=1", "boot", "drag 20,20 to 100,20 steps=8"})
            ASSERT_EQ(other->execute(line), "") << line;
        size_t most = 0;
        for (const auto& frame : trail.frames()) most = std::max(most, elementsAfter(frame.svg, "finger", "<line"));
        EXPECT_EQ(most, 5u);
    }
}

// Tests that an `echo` line is a caption: its text held long enough to read,
// in a band at the foot of the screen only, kept under the pictures after it
// for three seconds of the clock, then gone; a long text wraps and is cut to
// three lines.
TEST(Film, AnEchoIsACaption) {
    auto phone = newPhone();
    Simulator& sim = *phone;
    Film film;
    film.attach(sim);
    for (const char* line :
         {"screen 320x480 scale=1", "app com.example.mail", "state FLTTILE-com.example.mail=true", "boot", "wait 0.5"})
        ASSERT_EQ(sim.execute(line), "") << line;
    const size_t before = film.frames().size();
    ASSERT_EQ(sim.execute("echo \"tap the <Mail> bubble\""), "");
    ASSERT_EQ(film.frames().size(), before + 1);
    const Film::Frame& captioned = film.frames().back();
    EXPECT_GE(captioned.count, Film::kCaptionFrames);
    EXPECT_NE(captioned.svg.find(">tap the &lt;Mail&gt; bubble</text>"), std::string::npos);
    EXPECT_EQ(xmlError(captioned.svg), "");
    // Centred across the screen, in a band a margin in from either side.
    const size_t caption = captioned.svg.find("<g class=\"caption\"><rect x=\"6.4\"");
    ASSERT_NE(caption, std::string::npos);
    EXPECT_NE(captioned.svg.find("width=\"307.2\"", caption), std::string::npos);
    EXPECT_NE(captioned.svg.find("<text x=\"160.0\"", caption), std::string::npos);
    EXPECT_NE(captioned.svg.find("text-anchor=\"middle\"", caption), std::string::npos);
    // The same words again are held again, to be read again.
    const long held = film.frameCount();
    ASSERT_EQ(sim.execute("echo \"tap the <Mail> bubble\""), "");
    EXPECT_EQ(film.frameCount(), held + Film::kCaptionFrames);
    ASSERT_EQ(sim.execute("wait 2"), "");
    EXPECT_NE(film.frames().back().svg.find("class=\"caption\""), std::string::npos) << "still up after 2 s";
    ASSERT_EQ(sim.execute("wait 1.5"), "");
    EXPECT_EQ(film.frames().back().svg.find("class=\"caption\""), std::string::npos) << "gone after 3 s";

    auto captionLines = [&](const std::string& text) {
        EXPECT_EQ(sim.execute("echo " + text), "");
        return elementsAfter(film.frames().back().svg, "caption", "<text");
    };
    // On this screen a line holds 40 characters, the space between two
    // words among them.
    EXPECT_EQ(captionLines(std::string(19, 'a') + " " + std::string(20, 'b')), 1u);
    EXPECT_EQ(captionLines(std::string(19, 'a') + " " + std::string(21, 'b')), 2u);
    std::string words;
    for (int i = 0; i < 60; ++i) words += " word" + std::to_string(i);
    EXPECT_EQ(captionLines(words), 3u);
    EXPECT_NE(film.frames().back().svg.find(" …</text>"), std::string::npos);
    film.detach();

    // Drawn, it changes nothing above the band.
    const std::string path = (std::filesystem::temp_directory_path() / "film-caption.webp").string();
    ASSERT_EQ(film.write(path), "");
    int width = 0, height = 0;
    std::vector<DecodedFrame> frames = decodeFilm(path, width, height);
    std::filesystem::remove(path);
    // The caption comes in at the frames' count before the echo; the picture
    // that ends there is the one before it (the encoder joins pictures whose
    // pixels are the same).
    long startMs = 0;
    for (size_t i = 0; i < before; ++i) startMs += film.frames()[i].count;
    startMs = std::lround(static_cast<double>(startMs) * 1000 / 30);
    size_t at = 0;
    while (at + 1 < frames.size() && frames[at].endMs < startMs) ++at;
    ASSERT_EQ(frames[at].endMs, startMs);
    ASSERT_LT(at + 1, frames.size());
    const int bandTop = height - 80;
    auto [changedBelow, changedAbove] =
        changedPixels(frames[at], frames[at + 1], width, height, [&](int, int y) { return y >= bandTop; });
    EXPECT_EQ(changedAbove, 0);
    EXPECT_GT(changedBelow, 1000);

    phone.reset();
    // However narrow the screen, the words stay large enough to read.
    auto narrow = newPhone();
    Film small;
    small.attach(*narrow);
    for (const char* line : {"screen 200x400", "boot", "echo small"}) ASSERT_EQ(narrow->execute(line), "") << line;
    EXPECT_NE(small.frames().back().svg.find("font-size=\"12.0\" fill=\"#ffffff\">small</text>"), std::string::npos);
}

// Tests that the film's clock leaps over a still phone only while nothing
// waits to move: a fade that starts two seconds into a wait is filmed frame
// by frame, though the picture stood still for longer than a still stretch.
TEST(Film, ADelayedAnimationIsFilmed) {
    auto phone = newPhone();
    Simulator& sim = *phone;
    Film film;
    film.attach(sim);
    for (const char* line : {"screen 320x480 scale=1", "plugin none", "boot"}) ASSERT_EQ(sim.execute(line), "") << line;
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    window->setBackgroundColor(UIColor::colorWithRed(1, 0, 0, 1));
    window->setHidden(false);
    UIView::animateWithDuration(0.5, 2, UIViewAnimationOptionCurveLinear, [&] { window->setAlpha(0); });
    const size_t before = film.frames().size();
    ASSERT_EQ(sim.execute("wait 3"), "");
    film.detach();
    // The first still picture, then one frame of each of the fade's 1/30 s.
    EXPECT_GE(film.frames().size(), before + 15);
}
