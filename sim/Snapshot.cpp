#include "sim/Snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "sim/HomeScreenLayout.h"
#include "sim/PlistJson.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UIWindow.h"

namespace {

std::string num(double v) {
    if (!std::isfinite(v)) v = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string hexOf(double r, double g, double b) { return CGColor{r, g, b, 1}.hex(); }

void hslToRgb(double h, double s, double l, double& r, double& g, double& b) {
    auto f = [&](double n) {
        double k = std::fmod(n + h / 30.0, 12.0);
        double a = s * std::min(l, 1 - l);
        return l - a * std::max(-1.0, std::min({k - 3, 9 - k, 1.0}));
    };
    r = f(0);
    g = f(8);
    b = f(4);
}

std::string fillOf(const CGColor& c) {
    std::string s = "fill=\"" + c.hex() + "\"";
    if (c.a < 1) s += " fill-opacity=\"" + num(std::max(0.0, c.a)) + "\"";
    return s;
}

std::string textForBadge(const Json& badge) {
    if (badge.is_null()) return "";
    if (badge.is_string()) return badge.get<std::string>();
    return badge.dump();
}

class Painter {
public:
    explicit Painter(const SnapshotScene& scene) : scene_(scene) {}

    std::string render() {
        out_ << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(scene_.width) << "\" height=\""
             << num(scene_.height) << "\" viewBox=\"0 0 " << num(scene_.width) << " " << num(scene_.height)
             << "\" font-family=\"Helvetica, Arial, sans-serif\">\n";
        out_ << "<g id=\"host\">\n";
        drawHost();
        out_ << "</g>\n<g id=\"windows\">\n";
        bool alertDrawn = false;
        for (const auto& w : scene_.windows) {
            auto alert = std::dynamic_pointer_cast<UIAlertController>(w->rootViewController());
            if (alert) {
                drawAlert(*alert);
                alertDrawn = alertDrawn || alert == scene_.alert;
                continue;
            }
            out_ << "<g class=\"window\" data-class=\"" << escapeXml(w->className()) << "\" data-level=\""
                 << num(w->windowLevel()) << "\">\n";
            drawView(*w, 1);
            out_ << "</g>\n";
        }
        out_ << "</g>\n";
        if (scene_.alert && !alertDrawn) drawAlert(*scene_.alert);
        out_ << "</svg>\n";
        return out_.str();
    }

private:
    // ---- the host beneath ----

    void drawHost() {
        const double w = scene_.width, h = scene_.height;
        if (scene_.off) {
            out_ << "<rect class=\"screen-off\" width=\"" << num(w) << "\" height=\"" << num(h) << "\" fill=\"#000000\"/>\n";
            return;
        }
        out_ << "<defs><linearGradient id=\"wallpaper\" x1=\"0\" y1=\"0\" x2=\"0.4\" y2=\"1\">"
                "<stop offset=\"0\" stop-color=\"#2b3a67\"/><stop offset=\"1\" stop-color=\"#b06ab3\"/>"
                "</linearGradient></defs>\n";
        if (scene_.locked) {
            out_ << "<g class=\"lock-screen\"><rect width=\"" << num(w) << "\" height=\"" << num(h)
                 << "\" fill=\"url(#wallpaper)\"/>"
                 << "<text x=\"" << num(w / 2) << "\" y=\"" << num(h * 0.2) << "\" text-anchor=\"middle\" font-size=\"64\" "
                 << "font-weight=\"200\" fill=\"#ffffff\">9:41</text>"
                 << "<text x=\"" << num(w / 2) << "\" y=\"" << num(h * 0.2 + 32) << "\" text-anchor=\"middle\" font-size=\"17\" "
                 << "fill=\"#ffffff\">Locked</text>"
                 << "<rect x=\"" << num(w / 2 - 67) << "\" y=\"" << num(h - 12) << "\" width=\"134\" height=\"5\" rx=\"2.5\" "
                 << "fill=\"#ffffff\"/></g>\n";
        } else if (!scene_.frontApp.empty()) {
            drawFrontApp();
        } else {
            drawHomeScreen();
        }
        if (scene_.controlCenter) {
            out_ << "<g class=\"control-center\"><rect width=\"" << num(w) << "\" height=\"" << num(h)
                 << "\" fill=\"#1c1c1e\" fill-opacity=\"0.85\"/>";
            for (int i = 0; i < 4; ++i) {
                double x = 24 + (i % 2) * (w / 2 - 12), y = 70 + (i / 2) * 80;
                out_ << "<rect x=\"" << num(x) << "\" y=\"" << num(y) << "\" width=\"" << num(w / 2 - 36)
                     << "\" height=\"68\" rx=\"16\" fill=\"#3a3a3c\"/>";
            }
            out_ << "<text x=\"" << num(w / 2) << "\" y=\"44\" text-anchor=\"middle\" font-size=\"15\" fill=\"#ffffff\">"
                    "Control Center</text></g>\n";
        }
        if (scene_.siriVisible) {
            double cx = w / 2, cy = h - 70;
            out_ << "<g class=\"siri\"><defs><radialGradient id=\"siriGlow\"><stop offset=\"0\" stop-color=\"#ffffff\"/>"
                    "<stop offset=\"0.45\" stop-color=\"#5ac8fa\"/><stop offset=\"0.75\" stop-color=\"#af52de\"/>"
                    "<stop offset=\"1\" stop-color=\"#ff2d55\" stop-opacity=\"0\"/></radialGradient></defs>"
                 << "<rect width=\"" << num(w) << "\" height=\"" << num(h) << "\" fill=\"#000000\" fill-opacity=\"0.55\"/>"
                 << "<circle cx=\"" << num(cx) << "\" cy=\"" << num(cy) << "\" r=\"40\" fill=\"url(#siriGlow)\"/>"
                 << "<text x=\"" << num(cx) << "\" y=\"" << num(cy - 60) << "\" text-anchor=\"middle\" font-size=\"20\" "
                 << "fill=\"#ffffff\">What can I help you with?</text></g>\n";
        }
    }

    void drawHomeScreen() {
        const double w = scene_.width, h = scene_.height;
        out_ << "<g class=\"home-screen\"><rect width=\"" << num(w) << "\" height=\"" << num(h)
             << "\" fill=\"url(#wallpaper)\"/>\n";
        const double icon = HomeScreenLayout::kIconSize;
        std::vector<std::string> bundles;
        for (const auto& app : scene_.apps) bundles.push_back(app.bundle);
        const HomeScreenLayout layout(w, h, bundles);
        const auto& places = layout.places();
        for (size_t i = 0; i < places.size(); ++i) {
            const SnapshotApp& app = scene_.apps[i];
            const double x = places[i].x, y = places[i].y;
            AppIconStyle style = appIconStyle(app.bundle);
            out_ << "<g class=\"home-icon\" data-bundle=\"" << escapeXml(app.bundle) << "\">";
            if (app.icon) {
                drawIcon(app.bundle, x, y, icon, icon, icon * 0.225);
            } else {
                out_ << "<rect x=\"" << num(x) << "\" y=\"" << num(y) << "\" width=\"60\" height=\"60\" rx=\"13.5\" "
                     << "fill=\"#ffffff\" fill-opacity=\"0.15\" stroke=\"#ffffff\" stroke-dasharray=\"4 3\"/>";
            }
            out_ << "<text x=\"" << num(x + icon / 2) << "\" y=\"" << num(y + icon + 15)
                 << "\" text-anchor=\"middle\" font-size=\"11\" fill=\"#ffffff\">" << escapeXml(style.name)
                 << "</text>";
            std::string badge = fittedBadge(textForBadge(app.badge));
            if (!badge.empty()) {
                double bw = std::max(22.0, 9.0 + 8.0 * glyphs(badge));
                out_ << "<rect x=\"" << num(x + icon - bw / 2 - 2) << "\" y=\"" << num(y - 9) << "\" width=\""
                     << num(bw) << "\" height=\"22\" rx=\"11\" fill=\"#ff3b30\"/><text x=\"" << num(x + icon - 2)
                     << "\" y=\"" << num(y + 7) << "\" text-anchor=\"middle\" font-size=\"14\" fill=\"#ffffff\">"
                     << escapeXml(badge) << "</text>";
            }
            out_ << "</g>\n";
        }
        out_ << "</g>\n";
    }

    // The characters of a UTF-8 text (its bytes that begin one).
    static size_t glyphs(const std::string& text) {
        return std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    }

    // A badge as the home screen draws it: at most as wide as its icon, a
    // longer text cut short with an ellipsis, as the phone does, rather than
    // drawn across the icons beside it.
    static std::string fittedBadge(const std::string& text) {
        constexpr size_t kMostGlyphs = 6;
        if (glyphs(text) <= kMostGlyphs) return text;
        size_t kept = 0, end = 0;
        for (; end < text.size(); ++end) {
            if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && kept++ == kMostGlyphs - 1) break;
        }
        return text.substr(0, end) + "\u2026";
    }

    void drawFrontApp() {
        const double W = scene_.width, H = scene_.height;
        if (scene_.frontApp == "other") {
            out_ << "<g class=\"front-display\"><rect width=\"" << num(W) << "\" height=\"" << num(H)
                 << "\" fill=\"#f2f2f7\"/><text x=\"" << num(W / 2) << "\" y=\"" << num(H / 2)
                 << "\" text-anchor=\"middle\" font-size=\"20\" fill=\"#3c3c43\">(a display that is not an "
                    "app)</text></g>\n";
            return;
        }
        // An app turns with the phone (the home screen does not): it is
        // laid out on the screen as held, width and height swapped sideways,
        // and turned so that it reads upright to the person holding it.
        const long o = scene_.orientation;
        const bool sideways = o == 3 || o == 4;
        const double w = sideways ? H : W, h = sideways ? W : H;
        std::string turn = o == 2   ? "rotate(180 " + num(W / 2) + " " + num(H / 2) + ")"
                           : o == 3 ? "translate(" + num(W) + " 0) rotate(90)"
                           : o == 4 ? "translate(0 " + num(H) + ") rotate(-90)"
                                    : "";
        AppIconStyle style = appIconStyle(scene_.frontApp);
        out_ << "<g class=\"front-app\" data-bundle=\"" << escapeXml(scene_.frontApp) << "\""
             << (turn.empty() ? "" : " transform=\"" + turn + "\"") << "><rect width=\"" << num(w) << "\" height=\""
             << num(h) << "\" fill=\"#f2f2f7\"/><rect width=\"" << num(w) << "\" height=\"96\" fill=\"" << style.light
             << "\"/>";
        drawIcon(scene_.frontApp, w / 2 - 40, h / 2 - 100, 80, 80, 18);
        out_ << "<text x=\"" << num(w / 2) << "\" y=\"" << num(h / 2 + 15)
             << "\" text-anchor=\"middle\" font-size=\"26\" "
             << "font-weight=\"bold\" fill=\"#1c1c1e\">" << escapeXml(style.name) << "</text><text x=\"" << num(w / 2)
             << "\" y=\"" << num(h / 2 + 40) << "\" text-anchor=\"middle\" font-size=\"13\" fill=\"#8e8e93\">"
             << escapeXml(scene_.frontApp) << "</text></g>\n";
    }

    // The generated icon of an app, filling the rect.
    void drawIcon(const std::string& bundle, double x, double y, double w, double h, double radius) {
        AppIconStyle style = appIconStyle(bundle);
        std::string gid = "icon" + std::to_string(++ids_);
        out_ << "<defs><linearGradient id=\"" << gid << "\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\"><stop offset=\"0\" "
             << "stop-color=\"" << style.light << "\"/><stop offset=\"1\" stop-color=\"" << style.dark
             << "\"/></linearGradient></defs>";
        out_ << "<g class=\"app-icon\" data-bundle=\"" << escapeXml(bundle) << "\"><rect x=\"" << num(x) << "\" y=\""
             << num(y) << "\" width=\"" << num(w) << "\" height=\"" << num(h) << "\" rx=\"" << num(radius)
             << "\" fill=\"url(#" << gid << ")\"/>";
        double s = std::min(w, h);
        out_ << "<circle cx=\"" << num(x + w / 2) << "\" cy=\"" << num(y + h / 2) << "\" r=\"" << num(s * 0.36)
             << "\" fill=\"none\" stroke=\"#ffffff\" stroke-opacity=\"0.35\" stroke-width=\"" << num(s * 0.04) << "\"/>";
        // A bubble as large as a settings file may make it has initials no
        // font can be drawn at (nor any screen show): it goes without them.
        constexpr double kLargestInitials = 10000;
        if (s * 0.4 <= kLargestInitials)
            out_ << "<text x=\"" << num(x + w / 2) << "\" y=\"" << num(y + h / 2 + s * 0.14)
                 << "\" text-anchor=\"middle\" font-size=\"" << num(s * 0.4)
                 << "\" font-weight=\"bold\" fill=\"#ffffff\">" << escapeXml(style.initials) << "</text>";
        out_ << "</g>";
    }

    // ---- views ----

    void drawView(const UIView& v, double parentAlpha) {
        (void)parentAlpha;
        if (v.isHidden()) return;
        const double t = scene_.time;
        CGPoint c = v.presentationCenter(t);
        CGRect b = v.presentationBounds(t);
        CGAffineTransform m = v.presentationTransform(t);
        double alpha = std::clamp(v.presentationAlpha(t), 0.0, 1.0);
        const CALayer* layer = v.layer();
        double radius = std::max(0.0, layer->cornerRadius());
        double bx = b.origin.x, by = b.origin.y, bw = b.size.width, bh = b.size.height;

        out_ << "<g class=\"view\" data-class=\"" << escapeXml(v.className()) << "\" transform=\"translate(" << num(c.x)
             << " " << num(c.y) << ") matrix(" << num(m.a) << " " << num(m.b) << " " << num(m.c) << " " << num(m.d)
             << " " << num(m.tx) << " " << num(m.ty) << ") translate(" << num(-bw / 2 - bx) << " " << num(-bh / 2 - by)
             << ")\"";
        if (alpha < 1) out_ << " opacity=\"" << num(alpha) << "\"";
        out_ << ">";
        std::string rect = "x=\"" + num(bx) + "\" y=\"" + num(by) + "\" width=\"" + num(bw) + "\" height=\"" + num(bh) + "\"";
        if (radius > 0) rect += " rx=\"" + num(std::min(radius, std::min(bw, bh) / 2)) + "\"";

        std::optional<CGColor> bg;
        if (auto color = v.backgroundColor()) bg = color->components();
        else bg = layer->backgroundColor();
        if (bg && bg->a > 0) out_ << "<rect " << rect << " " << fillOf(*bg) << "/>";

        bool clip = v.clipsToBounds();
        if (clip) {
            std::string cid = "clip" + std::to_string(++ids_);
            out_ << "<clipPath id=\"" << cid << "\"><rect " << rect << "/></clipPath><g clip-path=\"url(#" << cid << ")\">";
        }
        if (auto* button = dynamic_cast<const UIButton*>(&v)) {
            if (auto image = button->currentImage()) drawIcon(image->bundleIdentifier(), bx, by, bw, bh, 0);
        }
        if (auto* label = dynamic_cast<const UILabel*>(&v)) drawLabel(*label, bx, by, bw, bh);
        for (const auto& child : v.subviews()) drawView(*child, alpha);
        if (clip) out_ << "</g>";

        double border = layer->borderWidth();
        if (border > 0 && layer->borderColor()) {
            double inset = border / 2;
            out_ << "<rect class=\"border\" x=\"" << num(bx + inset) << "\" y=\"" << num(by + inset) << "\" width=\""
                 << num(std::max(0.0, bw - border)) << "\" height=\"" << num(std::max(0.0, bh - border)) << "\"";
            if (radius > 0) out_ << " rx=\"" << num(std::max(0.0, std::min(radius, std::min(bw, bh) / 2) - inset)) << "\"";
            const CGColor bc = *layer->borderColor();
            out_ << " fill=\"none\" stroke=\"" << bc.hex() << "\" stroke-width=\"" << num(border) << "\"";
            if (bc.a < 1) out_ << " stroke-opacity=\"" << num(std::max(0.0, bc.a)) << "\"";
            out_ << "/>";
        }
        out_ << "</g>\n";
    }

    void drawLabel(const UILabel& l, double x, double y, double w, double h) {
        if (l.text().empty()) return;
        double size = l.font() ? l.font()->pointSize() : 17;
        CGColor color = l.textColor() ? l.textColor()->components() : CGColor{0, 0, 0, 1};
        const char* anchor = "start";
        double tx = x;
        if (l.textAlignment() == NSTextAlignmentCenter) {
            anchor = "middle";
            tx = x + w / 2;
        } else if (l.textAlignment() == NSTextAlignmentRight) {
            anchor = "end";
            tx = x + w;
        }
        out_ << "<text x=\"" << num(tx) << "\" y=\"" << num(y + h / 2 + size * 0.35) << "\" text-anchor=\"" << anchor
             << "\" font-size=\"" << num(size) << "\" " << fillOf(color) << ">" << escapeXml(l.text()) << "</text>";
    }

    // ---- the alert ----

    void drawAlert(const UIAlertController& alert) {
        CGRect box = alert.boxFrame();
        auto frames = alert.actionFrames();
        const auto& actions = alert.actions();
        out_ << "<g class=\"alert\"><rect width=\"" << num(scene_.width) << "\" height=\"" << num(scene_.height)
             << "\" fill=\"#000000\" fill-opacity=\"0.3\"/>";
        out_ << "<rect class=\"alert-box\" x=\"" << num(box.origin.x) << "\" y=\"" << num(box.origin.y) << "\" width=\""
             << num(box.size.width) << "\" height=\"" << num(box.size.height)
             << "\" rx=\"14\" fill=\"#f2f2f7\" fill-opacity=\"0.97\"/>";
        double cx = box.origin.x + box.size.width / 2;
        double y = box.origin.y + 30;
        if (!alert.title().empty()) {
            out_ << "<text class=\"alert-title\" x=\"" << num(cx) << "\" y=\"" << num(y)
                 << "\" text-anchor=\"middle\" font-size=\"17\" font-weight=\"bold\" fill=\"#000000\">"
                 << escapeXml(alert.title()) << "</text>";
            y += 22;
        }
        for (const auto& line : wrap(alert.message(), static_cast<size_t>(std::max(10.0, (box.size.width - 30) / 7)))) {
            out_ << "<text class=\"alert-message\" x=\"" << num(cx) << "\" y=\"" << num(y)
                 << "\" text-anchor=\"middle\" font-size=\"13\" fill=\"#000000\">" << escapeXml(line) << "</text>";
            y += 17;
        }
        for (size_t i = 0; i < actions.size() && i < frames.size(); ++i) {
            const CGRect& f = frames[i];
            const auto& a = *actions[i];
            std::string color = a.style() == UIAlertActionStyleDestructive ? "#ff3b30" : "#007aff";
            // Long titles shrink to fit their button, as the platform's do.
            double size = std::min(17.0, (f.size.width - 16) / (0.56 * std::max<size_t>(1, a.title().size())));
            out_ << "<g class=\"alert-action\"><line x1=\"" << num(f.origin.x) << "\" y1=\"" << num(f.origin.y)
                 << "\" x2=\"" << num(f.origin.x + f.size.width) << "\" y2=\"" << num(f.origin.y)
                 << "\" stroke=\"#c6c6c8\" stroke-width=\"0.5\"/><text x=\"" << num(f.origin.x + f.size.width / 2)
                 << "\" y=\"" << num(f.origin.y + f.size.height / 2 + size * 0.35)
                 << "\" text-anchor=\"middle\" font-size=\"" << num(std::max(8.0, size)) << "\""
                 << (a.style() == UIAlertActionStyleCancel ? " font-weight=\"bold\"" : "") << " fill=\"" << color
                 << "\">" << escapeXml(a.title()) << "</text></g>";
        }
        out_ << "</g>\n";
    }

    static std::vector<std::string> wrap(const std::string& text, size_t width) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        std::string word, line;
        while (in >> word) {
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                lines.push_back(line);
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        if (!line.empty()) lines.push_back(line);
        return lines;
    }

    const SnapshotScene& scene_;
    std::ostringstream out_;
    int ids_ = 0;
};

} // namespace

AppIconStyle appIconStyle(const std::string& bundleIdentifier) {
    // FNV-1a: the same app always gets the same colour.
    uint32_t hash = 2166136261u;
    for (unsigned char c : bundleIdentifier) {
        hash ^= c;
        hash *= 16777619u;
    }
    double hue = hash % 360;
    double r, g, b;
    AppIconStyle style;
    hslToRgb(hue, 0.65, 0.58, r, g, b);
    style.light = hexOf(r, g, b);
    hslToRgb(hue, 0.70, 0.36, r, g, b);
    style.dark = hexOf(r, g, b);

    std::string last = bundleIdentifier.substr(bundleIdentifier.rfind('.') == std::string::npos ? 0 : bundleIdentifier.rfind('.') + 1);
    if (last.empty()) last = bundleIdentifier.empty() ? "?" : bundleIdentifier;
    // Many system apps are called "mobileXxx" ("MobileSMS", "mobilesafari"):
    // the part after it is the one people know.
    if (last.size() > 6) {
        std::string head = last.substr(0, 6);
        for (auto& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (head == "mobile") last = last.substr(6);
    }
    std::string letters;
    for (char c : last)
        if (std::isalnum(static_cast<unsigned char>(c))) letters += c;
    if (letters.empty()) letters = "?";
    style.initials = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letters[0]))));
    if (letters.size() > 1) style.initials += letters[1];
    style.name = last;
    if (!style.name.empty()) style.name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(style.name[0])));
    // The system apps whose identifiers do not say the name the home
    // screen gives them.
    static const std::pair<const char*, const char*> kSystemNames[] = {
        {"com.apple.MobileSMS", "Messages"},     {"com.apple.Preferences", "Settings"},
        {"com.apple.mobileslideshow", "Photos"}, {"com.apple.mobilecal", "Calendar"},
        {"com.apple.mobilenotes", "Notes"},      {"com.apple.MobileAddressBook", "Contacts"},
        {"com.apple.mobiletimer", "Clock"},      {"com.apple.AppStore", "App Store"},
    };
    for (const auto& [bundle, name] : kSystemNames)
        if (bundleIdentifier == bundle) style.name = name;
    if (style.name.size() > 12) style.name = style.name.substr(0, 11) + "…";
    return style;
}

std::string renderSnapshot(const SnapshotScene& scene) { return Painter(scene).render(); }

std::string escapeXml(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
