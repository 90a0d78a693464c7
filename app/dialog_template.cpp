#include "app/dialog_template.h"

#include <array>

#include "sequencer/control_ids.h"

namespace flashwell::app {

namespace {

using namespace flashwell::sequencer;
using K = ControlKind;

constexpr std::array<ControlSpec, 24> kControls{{
    {kIdExit, K::defaultPushButton, "E X I T ", 186, 293, 90, 17,
     kVisible | kTabStop | kStaticEdge | kModalFrame},
    {kIdCancel, K::pushButton, "canc", 84, 0, 22, 9, kDisabled | kTabStop},
    {kIdUnused1015, K::staticText, "aaaaa", 207, 0, 25, 8, kDisabled | kClientEdge},
    {kIdUnused1004, K::staticText, "", 123, 292, 12, 10, kDisabled},
    {kIdProgress, K::progressBar, "", 12, 129, 131, 6, kVisible | kSmooth | kModalFrame},
    {kIdUnused1008, K::staticText, "---", 245, 107, 17, 8, kDisabled},
    {kIdNone, K::staticBitmap, "", 238, 5, 25, 11, kVisible},
    {kIdNone, K::staticBitmap, "", 12, 5, 25, 11, kVisible},
    {kIdModeGroup, K::groupBox, "", 12, 160, 263, 25, kVisible | kFlat},
    {kIdModePrompt, K::staticText, " .", 21, 170, 250, 9, kVisible},
    {kIdOnly, K::autoCheckBox, "Only", 28, 195, 262, 26, kVisible | kTabStop | kMultiLine},
    {kIdAlways, K::autoCheckBox, "Always", 28, 227, 262, 26, kVisible | kTabStop | kMultiLine},
    {kIdProceed, K::pushButton, "PROCEED", 12, 293, 90, 17, kVisible | kTabStop | kModalFrame},
    {kIdNever, K::autoCheckBox, "Never", 28, 259, 262, 26, kVisible | kTabStop | kMultiLine},
    {kIdNone, K::groupBox, "", 9, 18, 263, 106, kVisible | kFlat},
    {kIdLabels, K::staticText, kTemplateLabels, 18, 27, 47, 92, kVisible},
    {kIdToolHeading, K::staticText, "Vers.  in  FLASHWELL", 75, 27, 74, 9, kVisible},
    {kIdKeyHeading, K::staticText, "Vers.  in  MEMPOD", 173, 27, 79, 12, kVisible},
    {kIdStatus, K::staticText, "", 17, 143, 247, 17, kVisible},
    {kIdToolColumn, K::staticText, ".", 70, 43, 84, 78, kVisible},
    // Wider than the tool's column, so that the longest connect prompt ("am PC (USB)
    // anschließen.") keeps its line.
    {kIdKeyColumn, K::staticText, ".", 170, 43, 100, 77, kVisible},
    {kIdMarkOnly, K::staticText, "", 7, 204, 17, 8, kVisible},
    {kIdMarkNever, K::staticText, "", 8, 268, 17, 8, kVisible},
    {kIdMarkAlways, K::staticText, "", 8, 235, 17, 8, kVisible},
}};

constexpr DialogTemplate kTemplate{102, "Vers.", "System", 10, 294, 323, kControls};

}  // namespace

const DialogTemplate& mainDialogTemplate() {
  return kTemplate;
}

}  // namespace flashwell::app
