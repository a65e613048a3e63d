// A fresh home-screen process with the plugin's code started the way the
// host starts it (its two module initialisers' work, in their order), for
// the hardening tests: bad files, odd host answers, notifications at odd
// moments.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PluginFixture.h"
#include "foundation/NotificationCenter.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "overlay/FTCustomViewController.h"
#include "overlay/bothVC.h"
#include "settings/Settings.h"
#include "settings/StateStore.h"
#include "springboard/Hooks.h"
#include "springboard/SpringBoard.h"
#include "springboard/Startup.h"
#include "uikit/UIAlertController.h"
#include "uikit/WindowServer.h"

class HardeningFixture : public PluginFixture {
protected:
    using Bytes = std::vector<uint8_t>;

    void loadPlugin() { startPlugin(); }

    void launch() { SpringBoardHost::current().finishLaunching(); }

    void postSettingsChanged() {
        CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kSettingsChangedNotification,
                                             nullptr, nullptr, true);
    }

    FTCustomViewController* controller() const {
        const auto& instance = overlayState().objSharedInstance;
        return instance ? instance->mainView.get() : nullptr;
    }

    std::vector<std::shared_ptr<UIButtonFT>> bubbles() const {
        return controller() ? controller()->getbuttons() : std::vector<std::shared_ptr<UIButtonFT>>{};
    }

    // A long press on a bubble, then the menu action of that title.
    bool longPressAndPick(size_t index, const std::string& title) {
        auto list = bubbles();
        if (index >= list.size()) return false;
        CGPoint c = list[index]->center();
        CGPoint p = list[index]->superview() ? list[index]->superview()->convertPointToScreen(c) : c;
        auto& ws = WindowServer::shared();
        ws.touchDown(p);
        NSRunLoop::mainRunLoop().advance(0.6);
        ws.touchUp(p);
        auto alert = ws.visibleAlert();
        const bool picked = alert && alert->pickActionWithTitle(title);
        // The action's handler runs at the end of the turn.
        NSRunLoop::mainRunLoop().runPendingBlocks();
        return picked;
    }

    void writeFile(const std::string& devicePath, const Bytes& bytes) {
        std::string path = hostPath(devicePath);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    void writeList(const std::string& devicePath, const NSObject& value,
                   PropertyListFormat format = PropertyListFormat::Binary) {
        Bytes bytes;
        ASSERT_TRUE(PropertyList::serialize(value, format, bytes));
        writeFile(devicePath, bytes);
    }

    Bytes readFile(const std::string& devicePath) const {
        std::ifstream in(hostPath(devicePath), std::ios::binary | std::ios::ate);
        if (!in) return {};
        Bytes bytes(static_cast<size_t>(in.tellg()));
        in.seekg(0);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }

    static std::shared_ptr<NSMutableDictionary> dict(std::vector<std::pair<std::string, id>> entries) {
        auto d = std::make_shared<NSMutableDictionary>();
        for (auto& [k, v] : entries) d->setObjectForKey(v, k);
        return d;
    }

    // The settings as a fresh load leaves them with no file.
    static void expectDefaultSettings() {
        const FTSettings& s = settingsVariables();
        FTSettings d;
        EXPECT_EQ(s.isEnabled, d.isEnabled);
        EXPECT_EQ(s.isCircle, d.isCircle);
        EXPECT_EQ(s.isLocked, d.isLocked);
        EXPECT_EQ(s.isDim, d.isDim);
        EXPECT_EQ(s.isBadgeEnabled, d.isBadgeEnabled);
        EXPECT_EQ(s.bubbleSize, d.bubbleSize);
        EXPECT_EQ(s.globalBoundColor, nullptr);
    }
};
