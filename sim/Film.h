// A film of a run: the simulator's own pictures at 30 frames a second of
// the phone's clock, with the finger drawn where it touches, written as an
// animated WebP.
//
// What makes a frame:
//
//   the clock reaches a frame's time   one frame, the picture as it stands
//   a finger goes down                 held kFingerFrames, a dot under it
//   a finger moves                     one frame, the dot and a short trail
//   a finger lifts                     held kFingerFrames, the dot gone
//   a command changes the picture      held kChangeFrames
//   an `echo` line                     held kCaptionFrames, its text as a
//                                      caption, kept under the pictures
//                                      after it for kCaptionSeconds of the
//                                      clock or until the next `echo`
//
// Touches and most commands take no time on the phone's clock; they get
// frames of their own so that they can be seen. A picture that stands
// still for more than kStillSeconds of the clock is shortened to that.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "sim/Simulator.h"

class Film : public SimulatorWatcher {
public:
    static constexpr double kFramesPerSecond = 30;
    static constexpr int kFingerFrames = 3;
    static constexpr int kChangeFrames = 10;
    static constexpr double kStillSeconds = 1;
    static constexpr int kCaptionFrames = 45;
    static constexpr double kCaptionSeconds = 3;
    // The last picture is held this long, so a film that loops shows how
    // the run ended before it starts again.
    static constexpr double kEndSeconds = 1;

    struct Frame {
        std::string svg;  // the picture, the finger drawn in
        double width = 0; // the screen, in points
        double height = 0;
        double scale = 1; // its pixels per point
        long count = 1;   // how many frames of 1/30 s it stands for
    };

    Film() = default;

    // The phone being filmed: several in turn make one film.
    void attach(Simulator& sim);
    void detach();

    // SimulatorWatcher
    double frameInterval() const override { return 1 / kFramesPerSecond; }
    bool still() const override;
    void clockTick() override;
    void finger(Finger what, double x, double y) override;
    void commandEnded() override;
    void caption(const std::string& text) override;

    const std::vector<Frame>& frames() const { return frames_; }
    // Frames at 30 a second, the end's hold included.
    long frameCount() const;
    // Seconds of a still phone left out.
    double secondsLeftOut() const { return leftOut_; }
    // The film's size in pixels: the largest screen filmed, at its scale,
    // as the phone's own screenshot has it.
    int pixelWidth() const;
    int pixelHeight() const;

    // Draws every picture and writes the film. Answers why it could not,
    // or "".
    std::string write(const std::string& path) const;
    // One line for the command's output: frames, length, what was left out.
    std::string summary(const std::string& path) const;

private:
    std::string picture() const;
    std::string captionSvg() const;
    void add(long count, bool lengthen);

    Simulator* sim_ = nullptr;
    std::vector<Frame> frames_;
    bool fingerDown_ = false;
    double fingerX_ = 0, fingerY_ = 0;
    std::deque<std::pair<double, double>> trail_;
    std::string caption_;
    double captionUntil_ = 0; // the clock's time it goes at
    long stillFrames_ = 0;    // clock frames in a row that showed nothing new
    double lastTick_ = -1;    // the clock at the last frame it made
    double leftOut_ = 0;
};
