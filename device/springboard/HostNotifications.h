// The notifications that tell the home screen the phone has turned: the
// host's own on the Darwin centre, then UIKit's on the process's local
// centre. Named here once, by the host; whoever turns the phone posts them
// (springboard-sim's `orientation`), and a plugin observes them by these
// names.
#pragma once

inline constexpr const char* kScreenChangedNotification = "com.apple.springboard.screenchanged";
inline constexpr const char* kWindowDidRotateNotification = "UIWindowDidRotateNotification";
