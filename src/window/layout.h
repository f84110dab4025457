#pragma once

#include "core/form.h"
#include "core/messages.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

// The window's design: every control with its container, place and size in twips, caption and font. The window
// builds itself from these tables and the tests compare its widgets against them.
namespace clipnest::window {

inline constexpr int TwipsPerPixel = 15;

// Twips to device-independent pixels, to the nearest pixel.
int toPixels(int twips);

// Points to pixels at the design resolution (96 dots per inch), so text keeps its size relative to the controls
// whatever logical resolution the platform reports.
int pointsToPixels(double points);

enum class Kind { Viewport, Surface, ScrollBar, Frame, Label, LineBox, MultiBox, HelpBox, Button, CheckBox };

// Faces of the design; each also names the metric twin that stands in where the face is missing.
enum class Face { Default, Cambria, TimesNewRoman, MsSansSerif };

enum class Back { Green, Grey, White };

struct ControlDef {
    const char* name;
    Kind kind;
    // The design name of the container; "frmScroll" is the window itself.
    const char* container;
    int left, top, width, height;
    const char* caption;
    Face face;
    double points;
    bool bold;
    Back back;
    // What the control is to the Form: the box whose text it shows, what a click on the button does (and whether
    // it starts a chain of Steps, which keeps it disabled while one runs), the switch the check box sets.
    std::optional<Box> box = std::nullopt;
    void (*action)(Form&) = nullptr;
    bool startsChain = false;
    bool& (*check)(Controls&) = nullptr;
};

struct PanelDef {
    Message panel;
    // The design name, which the panel's widget takes as its object name.
    const char* name;
    const char* container;
    int left, top, width, height;
    double points;
};

inline constexpr const char* WindowName = "frmScroll";
// The Quit button, which takes the focus when the surface scrolls.
inline constexpr const char* QuitButton = "cmdExit";
// Inner size of the window.
inline constexpr int DesignWidth = 18570;
inline constexpr int DesignHeight = 12960;

// In creation order; a later control stands in front of an earlier one in the same container, except that labels
// always stand behind the other controls.
std::span<const ControlDef> controlTable();
std::span<const PanelDef> panelTable();
// The panel's design name, from the panel table.
const char* panelName(Message panel);

const ControlDef* findControl(std::string_view name);

// The help text of the read-only help box: paragraphs of one line each, which the box wraps, an empty line (CR LF)
// between them.
std::string helpText();

} // namespace clipnest::window
