#pragma once

#include <map>
#include <memory>

#include "uikit/UIControl.h"
#include "uikit/UIImage.h"

enum UIButtonType : long { UIButtonTypeCustom = 0, UIButtonTypeSystem = 1 };

class UIButton : public UIControl {
public:
    using UIControl::UIControl;
    // `buttonWithType:`. Subclasses make their own instances with
    // UIButton::buttonWithType<Subclass>(type).
    static std::shared_ptr<UIButton> buttonWithType(long type) { return buttonWithType<UIButton>(type); }
    template <class T>
    static std::shared_ptr<T> buttonWithType(long type) {
        auto b = std::make_shared<T>();
        b->buttonType_ = type;
        return b;
    }
    std::string className() const override { return "UIButton"; }

    long buttonType() const { return buttonType_; }
    void setImage(std::shared_ptr<UIImage> image, unsigned long state);
    std::shared_ptr<UIImage> imageForState(unsigned long state) const;
    // The image shown now (highlighted falls back to normal).
    std::shared_ptr<UIImage> currentImage() const;

private:
    long buttonType_ = UIButtonTypeCustom;
    std::map<unsigned long, std::shared_ptr<UIImage>> images_;
};
