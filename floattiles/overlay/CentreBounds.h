// Where a bubble's centre is held, in screen points of the screen as the
// overlay took it at creation (W, H): while a finger drags it, and when a
// turn of the phone, the first placement or a size change pulls it back.
// Both rectangles turn with the front app by the same offsets.
#pragma once

// The rectangle a centre is held in.
struct FTDragBounds {
    double minX, maxX, minY, maxY;
};

// Held sideways, a bubble may go 45 points lower (the dock no longer takes
// the bottom) and keeps 25 points from one side: the left in landscape
// right, the right in landscape left. Zero otherwise.
struct FTLandscapeOffsets {
    double left = 0, right = 0, bottom = 0;
};
FTLandscapeOffsets landscapeOffsets(long orientation);

// Where a drag holds a centre with the app in front held in `orientation`:
// 0 to W across, 30 to H - 55 down, turned by the offsets.
FTDragBounds dragBounds(long orientation);

// Where a pass over the bubbles pulls a centre back, turned by the offsets
// of the front app as it now stands (before the offsets):
//
//   call                 L    R        top  B
//   orientation change   0    W        30   H - 55
//   initial placement    15   W - 25   30   H - 55
FTDragBounds centreLimits(bool orientationChange);
