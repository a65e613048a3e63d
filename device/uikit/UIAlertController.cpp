#include "uikit/UIAlertController.h"

#include <algorithm>
#include <cmath>

#include "foundation/RunLoop.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"
#include "uikit/WindowServer.h"

std::shared_ptr<UIAlertAction> UIAlertAction::actionWithTitle(const std::string& title, long style, Handler handler) {
    return std::make_shared<UIAlertAction>(title, style, std::move(handler));
}

std::shared_ptr<UIAlertController> UIAlertController::alertControllerWithTitle(const std::string& title,
                                                                             const std::string& message,
                                                                             long preferredStyle) {
    return std::make_shared<UIAlertController>(title, message, preferredStyle);
}

void UIAlertController::addAction(std::shared_ptr<UIAlertAction> action) {
    if (action) actions_.push_back(std::move(action));
}

namespace {

constexpr double kBoxWidth = 270;
constexpr double kMargin = 16;
constexpr double kButtonHeight = 44;

// The alert's box in the coordinates of a view covering the screen, and
// its parts in the box's coordinates.
struct AlertLayout {
    CGRect box;
    CGRect title;
    CGRect message;
    std::vector<CGRect> buttons;  // by action index
};

AlertLayout layOut(const CGRect& screen, const std::string& title, const std::string& message,
                   const std::vector<std::shared_ptr<UIAlertAction>>& actions) {
    AlertLayout l;
    const double textWidth = kBoxWidth - 2 * kMargin;
    double y = 0;
    if (!title.empty() || !message.empty()) {
        y = 20;
        if (!title.empty()) {
            l.title = CGRectMake(kMargin, y, textWidth, 22);
            y += 22;
        }
        if (!message.empty()) {
            if (!title.empty()) y += 4;
            // About 7 points per character of 13-point text; a few lines at
            // most, so that an absurd message still leaves the buttons on
            // screen.
            const double perLine = std::floor(textWidth / 7);
            const double lines = std::clamp(std::ceil(static_cast<double>(message.size()) / perLine), 1.0, 6.0);
            l.message = CGRectMake(kMargin, y, textWidth, 16 * lines);
            y += 16 * lines;
        }
        y += 20;
    }
    // Cancel actions are shown last, below the others.
    std::vector<size_t> order;
    for (size_t i = 0; i < actions.size(); ++i)
        if (actions[i]->style() != UIAlertActionStyleCancel) order.push_back(i);
    for (size_t i = 0; i < actions.size(); ++i)
        if (actions[i]->style() == UIAlertActionStyleCancel) order.push_back(i);
    l.buttons.resize(actions.size());
    for (size_t row = 0; row < order.size(); ++row)
        l.buttons[order[row]] = CGRectMake(0, y + kButtonHeight * static_cast<double>(row), kBoxWidth, kButtonHeight);
    const double height = y + kButtonHeight * static_cast<double>(order.size());
    l.box = CGRectMake(CGRectGetMidX(screen) - kBoxWidth / 2, CGRectGetMidY(screen) - height / 2, kBoxWidth, height);
    return l;
}

std::shared_ptr<UILabel> makeLabel(const CGRect& frame, const std::string& text, double size,
                                   std::shared_ptr<UIColor> color) {
    auto label = UILabel::initWithFrame(frame);
    label->setText(text);
    label->setFont(UIFont::systemFontOfSize(size));
    label->setTextColor(std::move(color));
    label->setTextAlignment(NSTextAlignmentCenter);
    return label;
}

CGRect onScreen(const std::weak_ptr<UIView>& weak) {
    auto view = weak.lock();
    if (!view) return {};
    return {view->convertPointToScreen(view->bounds().origin), view->bounds().size};
}

} // namespace

void UIAlertController::loadView() {
    const CGRect screen = UIScreen::mainScreen()->bounds();
    const AlertLayout l = layOut(screen, title_, message_, actions_);

    // The dimmed backdrop covers the screen and takes every touch that
    // misses the box, as the platform's alert does.
    auto backdrop = UIView::initWithFrame(screen);
    backdrop->setBackgroundColor(UIColor::colorWithWhite(0, 0.2));
    auto box = UIView::initWithFrame(l.box);
    box->setBackgroundColor(UIColor::colorWithWhite(0.97, 1));
    box->layer()->setCornerRadius(14);
    box->setClipsToBounds(true);
    if (!title_.empty()) box->addSubview(makeLabel(l.title, title_, 17, UIColor::blackColor()));
    if (!message_.empty()) box->addSubview(makeLabel(l.message, message_, 13, UIColor::blackColor()));

    buttons_.clear();
    for (size_t i = 0; i < actions_.size(); ++i) {
        auto button = UIButton::buttonWithType(UIButtonTypeSystem);
        button->setFrame(l.buttons[i]);
        button->setTag(static_cast<long>(i));
        auto color = actions_[i]->style() == UIAlertActionStyleDestructive ? UIColor::colorWithRed(1, 59.0 / 255, 48.0 / 255, 1)
                                                                           : UIColor::systemBlueColor();
        button->addSubview(makeLabel({{0, 0}, l.buttons[i].size}, actions_[i]->title(), 17, std::move(color)));
        // The alert tracks the finger across its buttons itself.
        button->setUserInteractionEnabled(false);
        box->addSubview(button);
        buttons_.push_back(button);
    }
    box_ = box;
    backdrop->addSubview(box);
    setView(backdrop);
}

bool UIAlertController::isOnScreen() const {
    const UIWindow* window = presentationWindow();
    return presentingViewController() && window && !window->isHidden();
}

bool UIAlertController::pickActionWithTitle(const std::string& title) {
    for (size_t i = 0; i < actions_.size(); ++i)
        if (actions_[i]->title() == title) return pickActionAtIndex(i);
    return false;
}

bool UIAlertController::pickActionAtIndex(size_t index) {
    if (index >= actions_.size() || !isOnScreen()) return false;
    // The handler may drop every other reference to the alert.
    auto self = weak_from_this().lock();
    const std::shared_ptr<UIAlertAction> action = actions_[index];
    WindowServer::shared().alertActionPicked(*this, action->title());
    highlight(std::nullopt);
    dismissViewControllerAnimated(true, nullptr);
    if (auto handler = action->handler())
        NSRunLoop::mainRunLoop().performBlock([action, handler] { handler(action.get()); });
    return true;
}

std::optional<size_t> UIAlertController::actionUnder(const UITouch* touch) const {
    auto box = box_.lock();
    if (!touch || !box) return std::nullopt;
    const CGPoint p = touch->locationInView(box.get());
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (auto b = buttons_[i].lock(); b && CGRectContainsPoint(b->frame(), p)) return i;
    return std::nullopt;
}

void UIAlertController::highlight(std::optional<size_t> index) {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (auto b = buttons_[i].lock()) b->setBackgroundColor(index == i ? UIColor::colorWithWhite(0.85, 1) : nullptr);
}

void UIAlertController::touchesBegan(const std::vector<UITouch*>& touches, UIEvent*) {
    highlight(actionUnder(UIEvent::anyObject(touches)));
}

void UIAlertController::touchesMoved(const std::vector<UITouch*>& touches, UIEvent*) {
    highlight(actionUnder(UIEvent::anyObject(touches)));
}

void UIAlertController::touchesEnded(const std::vector<UITouch*>& touches, UIEvent*) {
    const std::optional<size_t> picked = actionUnder(UIEvent::anyObject(touches));
    highlight(std::nullopt);
    if (picked) pickActionAtIndex(*picked);
}

void UIAlertController::touchesCancelled(const std::vector<UITouch*>&, UIEvent*) { highlight(std::nullopt); }

CGRect UIAlertController::boxFrame() const {
    if (!box_.expired()) return onScreen(box_);
    return layOut(UIScreen::mainScreen()->bounds(), title_, message_, actions_).box;
}

std::vector<CGRect> UIAlertController::actionFrames() const {
    std::vector<CGRect> frames;
    if (!box_.expired() && buttons_.size() == actions_.size()) {
        for (const auto& b : buttons_) frames.push_back(onScreen(b));
        return frames;
    }
    const AlertLayout l = layOut(UIScreen::mainScreen()->bounds(), title_, message_, actions_);
    for (const CGRect& b : l.buttons) frames.push_back(CGRectOffset(b, l.box.origin.x, l.box.origin.y));
    return frames;
}
