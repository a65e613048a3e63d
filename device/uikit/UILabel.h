#pragma once

#include "uikit/UIView.h"

enum NSTextAlignment : long { NSTextAlignmentLeft = 0, NSTextAlignmentCenter = 1, NSTextAlignmentRight = 2 };

class UIFont : public NSObject {
public:
    explicit UIFont(double pointSize) : pointSize_(pointSize) {}
    static std::shared_ptr<UIFont> systemFontOfSize(double size) { return std::make_shared<UIFont>(size); }
    std::string className() const override { return "UIFont"; }
    double pointSize() const { return pointSize_; }

private:
    double pointSize_;
};

class UILabel : public UIView {
public:
    UILabel();
    explicit UILabel(const CGRect& frame);
    static std::shared_ptr<UILabel> init() { return std::make_shared<UILabel>(); }
    static std::shared_ptr<UILabel> initWithFrame(const CGRect& frame) { return std::make_shared<UILabel>(frame); }
    std::string className() const override { return "UILabel"; }

    const std::string& text() const { return text_; }
    void setText(const std::string& text) { text_ = text; }
    std::shared_ptr<UIFont> font() const { return font_; }
    void setFont(std::shared_ptr<UIFont> font) { font_ = std::move(font); }
    std::shared_ptr<UIColor> textColor() const { return textColor_; }
    void setTextColor(std::shared_ptr<UIColor> color) { textColor_ = std::move(color); }
    long textAlignment() const { return alignment_; }
    void setTextAlignment(long alignment) { alignment_ = alignment; }

private:
    std::string text_;
    std::shared_ptr<UIFont> font_;          // the platform default: system font of size 17
    std::shared_ptr<UIColor> textColor_;    // black
    long alignment_ = NSTextAlignmentLeft;
};
