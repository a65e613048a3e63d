// A phone for fuzz targets that drive FloatTiles: one device root for the
// fuzzer's life, emptied before every input, and a fresh home-screen
// process for every input, with the plugin's code linked in and started
// the way the host starts it (its two module initialisers' work, in their
// order). Linking the code instead of loading FloatTiles.so keeps the
// plugin's coverage visible to libFuzzer, which cannot follow a library
// that is unloaded at every respring.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Foundation.h"
#include "springboard/SpringBoardHost.h"

class FTCustomViewController;
class UIButtonFT;

namespace fuzz {

// Ends the current process (the plugin's variables back to a fresh load's)
// and empties the device's preferences folder.
void freshDevice();

std::string hostPath(const std::string& devicePath);
void writeDeviceFile(const std::string& devicePath, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readDeviceFile(const std::string& devicePath, bool* exists = nullptr);

// Installs the host with these apps (all with icons, badges as given) and
// loads the plugin: settings, the settings observer, the hooks, then the
// state store.
void bootPlugin(const std::vector<InstalledApp>& apps);
// The host finishes launching: the plugin builds its overlay (when enabled).
void launch();

// The overlay controller, or nil while there is no overlay.
FTCustomViewController* controller();
const std::vector<std::shared_ptr<UIButtonFT>>& bubbles();

// Host events, each sent through the runtime as the host sends it.
void frontApp(const std::string& bundle);
void frontHome();
void postSettingsChanged();
void setBadge(const std::string& bundle, const id& value);
void rotate(long orientation);
void controlCenter(bool present);
void call(int status);
void lockState(uint64_t state);
// A finger on a bubble: a tap, or a long press that picks the menu action
// whose title starts with `action` (nothing is picked if there is none).
void tapBubble(size_t index);
void longPressAndPick(size_t index, const std::string& action);
void wait(double seconds);

// Checks what must hold of the plugin whatever it read: a usable bubble
// size, finite bubble geometry, at most one idle timer.
void checkPluginInvariants();

} // namespace fuzz
