// Alerts. Presented from a view controller, an alert shows in the middle of
// the screen over that controller's window, with its actions as buttons.
// A finger may slide across the actions: the one under it is highlighted,
// and the one under it when it lifts is picked, whichever it went down on
// (none, when it lifts off the buttons). Picking an action (by a touch, or
// by title) dismisses the alert; the action's handler runs once the alert
// has gone, at the end of the run loop's turn, not inside the touch.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/UIViewController.h"

enum UIAlertControllerStyle : long { UIAlertControllerStyleActionSheet = 0, UIAlertControllerStyleAlert = 1 };
enum UIAlertActionStyle : long { UIAlertActionStyleDefault = 0, UIAlertActionStyleCancel = 1, UIAlertActionStyleDestructive = 2 };

class UIAlertAction : public NSObject {
public:
    using Handler = std::function<void(UIAlertAction*)>;
    static std::shared_ptr<UIAlertAction> actionWithTitle(const std::string& title, long style, Handler handler);
    UIAlertAction(std::string title, long style, Handler handler)
        : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}
    std::string className() const override { return "UIAlertAction"; }
    const std::string& title() const { return title_; }
    long style() const { return style_; }
    const Handler& handler() const { return handler_; }

private:
    std::string title_;
    long style_;
    Handler handler_;
};

class UIAlertController : public UIViewController {
public:
    static std::shared_ptr<UIAlertController> alertControllerWithTitle(const std::string& title,
                                                                       const std::string& message, long preferredStyle);
    UIAlertController(std::string title, std::string message, long style)
        : title_(std::move(title)), message_(std::move(message)), style_(style) {}
    std::string className() const override { return "UIAlertController"; }

    void addAction(std::shared_ptr<UIAlertAction> action);
    const std::vector<std::shared_ptr<UIAlertAction>>& actions() const { return actions_; }
    const std::string& title() const { return title_; }
    const std::string& message() const { return message_; }
    long preferredStyle() const { return style_; }

    // Lays the alert box out (270 points wide, centred) with one button per
    // action; a tap on a button picks it.
    void loadView() override;
    // Dismisses the alert; the action's handler runs at the end of the run
    // loop's turn. Answers false if the alert has no action of that title or
    // is not on screen. With two actions of one title, the first is picked.
    bool pickActionWithTitle(const std::string& title);
    // The same, for the action at index in actions().
    bool pickActionAtIndex(size_t index);
    // Presented, not yet dismissed, and shown (its presenter's window is
    // not hidden).
    bool isOnScreen() const;
    // The on-screen frame of the alert box and of each action's button, in
    // screen coordinates; actionFrames()[i] is the button of actions()[i].
    // Buttons are stacked in the order of the actions, except that cancel
    // actions go to the bottom, as the platform does.
    CGRect boxFrame() const;
    std::vector<CGRect> actionFrames() const;

    // The touches that land on the alert come here up the responder chain
    // (its buttons take none themselves).
    void touchesBegan(const std::vector<UITouch*>& touches, UIEvent* event) override;
    void touchesMoved(const std::vector<UITouch*>& touches, UIEvent* event) override;
    void touchesEnded(const std::vector<UITouch*>& touches, UIEvent* event) override;
    void touchesCancelled(const std::vector<UITouch*>& touches, UIEvent* event) override;

private:
    // The action whose button is under the touch, if any.
    std::optional<size_t> actionUnder(const UITouch* touch) const;
    void highlight(std::optional<size_t> index);

    std::weak_ptr<UIView> box_;
    std::vector<std::weak_ptr<UIView>> buttons_;   // by action index
    std::string title_;
    std::string message_;
    long style_;
    std::vector<std::shared_ptr<UIAlertAction>> actions_;
};
