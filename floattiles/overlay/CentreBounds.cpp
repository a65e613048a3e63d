#include "overlay/CentreBounds.h"

#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
#include "uikit/UIApplication.h"

FTLandscapeOffsets landscapeOffsets(long orientation) {
    FTLandscapeOffsets offsets;
    if (orientation == UIInterfaceOrientationLandscapeRight) {
        offsets.bottom = 45;
        offsets.left = 25;
    } else if (orientation == UIInterfaceOrientationLandscapeLeft) {
        offsets.bottom = 45;
        offsets.right = 25;
    }
    return offsets;
}

// The drag takes its right edge in the screen's single precision, the
// pull in double, as each always has: on an odd screen size the two can
// differ in the last bits, and a drag must end where it always ended.
FTDragBounds dragBounds(long orientation) {
    const FTOverlayState& o = overlayState();
    const FTLandscapeOffsets off = landscapeOffsets(orientation);
    return {off.left, static_cast<double>(o.screenWidth - static_cast<float>(off.right)), 30,
            static_cast<double>(o.screenHeight - 55.0f) + off.bottom};
}

FTDragBounds centreLimits(bool orientationChange) {
    const FTOverlayState& o = overlayState();
    FTDragBounds l;
    l.maxX = orientationChange ? static_cast<double>(o.screenWidth) : static_cast<double>(o.screenWidth - 25.0f);
    l.minX = orientationChange ? 0.0 : 15.0;
    l.minY = 30.0;
    l.maxY = static_cast<double>(o.screenHeight - 55.0f);
    const FTLandscapeOffsets off = landscapeOffsets(host::frontMostAppOrientation());
    l.maxY += off.bottom;
    l.minX += off.left;
    l.maxX -= off.right;
    return l;
}
