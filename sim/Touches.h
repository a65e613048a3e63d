// The scenario's finger: `touch`, `tap`, `drag`, `longpress` on a TARGET
// (X,Y, bubble:BUNDLE or bubble#N), `menu` on the alert's buttons, and
// `wait`, the time between them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/CommandRow.h"
#include "uikit/Geometry.h"

class PhoneBehaviour;
class SimulatorCore;
class UIView;

class Touches {
public:
    Touches(SimulatorCore& core, PhoneBehaviour& phone) : core_(core), phone_(phone) {}
    static const std::vector<CommandRow<Touches>>& rows();

    // A screen point where a touch would land on view, if any.
    std::optional<CGPoint> reachablePoint(const std::shared_ptr<UIView>& view);

private:
    std::string cmdTouch(const CommandCall& c);
    std::string cmdTap(const CommandCall& c);
    std::string cmdDrag(const CommandCall& c);
    std::string cmdLongPress(const CommandCall& c);
    std::string cmdMenu(const CommandCall& c);
    std::string cmdWait(const CommandCall& c);

    // A TARGET as a screen point.
    bool resolveTarget(const std::string& target, double& x, double& y, std::string& error);
    std::string touchDown(double x, double y);
    void touchMove(double x, double y);
    void touchUp(double x, double y);

    SimulatorCore& core_;
    // Follows the finger for taps on its own screen.
    PhoneBehaviour& phone_;
};
