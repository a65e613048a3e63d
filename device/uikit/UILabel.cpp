#include "uikit/UILabel.h"

// The platform's label defaults: system font of size 17, black text, and
// no touches of its own (a touch on a label goes to the view beneath).
UILabel::UILabel() : font_(UIFont::systemFontOfSize(17)), textColor_(UIColor::blackColor()) {
    setUserInteractionEnabled(false);
}

UILabel::UILabel(const CGRect& frame) : UIView(frame), font_(UIFont::systemFontOfSize(17)), textColor_(UIColor::blackColor()) {
    setUserInteractionEnabled(false);
}
