// Writing a film: every picture drawn by librsvg, the frames encoded by
// libwebp's animation encoder, lossless, so a frame is the picture to the
// pixel; the encoder keeps only the rectangle that changed from one frame
// to the next, which is what keeps a film of a mostly still screen small.
#include <webp/encode.h>
#include <webp/mux.h>

#include <cmath>
#include <fstream>
#include <memory>

#include "sim/Film.h"
#include "sim/Raster.h"

namespace {

struct EncoderDelete {
    void operator()(WebPAnimEncoder* e) const { WebPAnimEncoderDelete(e); }
};

// A frame's start in milliseconds: frame n of the film at 30 a second.
int startMs(long frame) {
    return static_cast<int>(std::lround(static_cast<double>(frame) * 1000.0 / Film::kFramesPerSecond));
}

} // namespace

std::string Film::write(const std::string& path) const {
    if (frames_.empty()) return "nothing to film: the phone never started";
    const int width = pixelWidth(), height = pixelHeight();
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) return "libwebp is not the version it was built with";
    options.anim_params.loop_count = 0;
    options.anim_params.bgcolor = 0xff000000;
    std::unique_ptr<WebPAnimEncoder, EncoderDelete> encoder(WebPAnimEncoderNew(width, height, &options));
    if (!encoder) return "cannot start a film of " + std::to_string(width) + "x" + std::to_string(height);
    WebPConfig config;
    if (!WebPConfigInit(&config)) return "libwebp is not the version it was built with";
    config.lossless = 1;
    // A light lossless effort: on the demo, effort 0 makes a film 2.4 times
    // larger and effort 4 one 4% smaller for a tenth more time
    // (docs/performance.md).
    config.method = 2;
    config.quality = 30;

    long at = 0;
    for (size_t i = 0; i < frames_.size(); ++i) {
        const Frame& f = frames_[i];
        std::string error;
        Bitmap bitmap = rasteriseSvg(f.svg, width, height, error);
        if (bitmap.empty()) return "frame " + std::to_string(at) + ": " + error;
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) return "libwebp is not the version it was built with";
        picture.use_argb = 1;
        picture.width = width;
        picture.height = height;
        // Borrowed, not copied: the bitmap outlives the encoder's use of it.
        picture.argb = bitmap.argb.data();
        picture.argb_stride = width;
        bool added = WebPAnimEncoderAdd(encoder.get(), &picture, startMs(at), &config);
        if (!added) return std::string("cannot encode the film: ") + WebPAnimEncoderGetError(encoder.get());
        at += f.count;
    }
    at = frameCount();
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, startMs(at), nullptr))
        return std::string("cannot end the film: ") + WebPAnimEncoderGetError(encoder.get());
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(encoder.get(), &data))
        return std::string("cannot assemble the film: ") + WebPAnimEncoderGetError(encoder.get());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.bytes), static_cast<std::streamsize>(data.size));
    WebPDataClear(&data);
    out.close();
    if (!out) return "cannot write " + path;
    return "";
}
