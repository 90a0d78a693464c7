#pragma once

// Dialog template 102 as data: the shells draw the window from it.

#include <cstdint>
#include <span>
#include <string_view>

namespace flashwell::app {

enum class ControlKind {
  pushButton,
  defaultPushButton,
  staticText,
  staticBitmap,  // shows bitmap 130
  groupBox,
  autoCheckBox,  // automatic check box, multi-line caption
  progressBar,
};

// Style flags of a control, as the template sets them.
enum ControlStyle : std::uint32_t {
  kVisible = 1u << 0,
  kDisabled = 1u << 1,
  kTabStop = 1u << 2,
  kStaticEdge = 1u << 3,  // WS_EX_STATICEDGE
  kModalFrame = 1u << 4,  // WS_EX_DLGMODALFRAME border
  kClientEdge = 1u << 5,  // sunken WS_EX_CLIENTEDGE
  kSmooth = 1u << 6,      // PBS_SMOOTH
  kMultiLine = 1u << 7,   // BS_MULTILINE
  kFlat = 1u << 8,        // BS_FLAT
};

struct ControlSpec {
  int id;  // sequencer::kIdNone for controls without one
  ControlKind kind;
  std::string_view text;    // template text (Windows-1252)
  int x, y, width, height;  // dialog units
  std::uint32_t style;
};

struct DialogTemplate {
  int resourceId;
  std::string_view caption;
  std::string_view fontName;
  int fontPoints;
  int width, height;  // dialog units
  std::span<const ControlSpec> controls;
};

// Template 102: popup with caption, system menu and modal frame, shown in the task bar.
const DialogTemplate& mainDialogTemplate();

// The label column's template text (later replaced by text 107).
inline constexpr std::string_view kTemplateLabels =
    "\n\nMEMPOD\n\nLPS4\nLANG\nZUNIT\nLAMBDA\nGPS\nLps4 EXP";

inline constexpr int kIconResource = 128;
inline constexpr int kBitmapResource = 130;

}  // namespace flashwell::app
