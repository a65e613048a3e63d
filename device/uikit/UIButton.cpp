#include "uikit/UIButton.h"

void UIButton::setImage(std::shared_ptr<UIImage> image, unsigned long state) {
    if (image) images_[state] = std::move(image);
    else images_.erase(state);
}

// A state without its own image shows the normal one, as on the platform.
std::shared_ptr<UIImage> UIButton::imageForState(unsigned long state) const {
    auto it = images_.find(state);
    if (it != images_.end()) return it->second;
    it = images_.find(UIControlStateNormal);
    return it == images_.end() ? nullptr : it->second;
}

std::shared_ptr<UIImage> UIButton::currentImage() const {
    return imageForState(isHighlighted() ? UIControlStateHighlighted : UIControlStateNormal);
}
