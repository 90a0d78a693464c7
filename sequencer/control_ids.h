#pragma once

// Control identifiers of dialog 102.

namespace flashwell::sequencer {

inline constexpr int kIdExit = 1;            // push button "E X I T", the default
inline constexpr int kIdCancel = 2;          // hidden push button carrying the cancel command
inline constexpr int kIdUnused1004 = 1004;   // hidden static
inline constexpr int kIdProgress = 1005;     // progress bar
inline constexpr int kIdUnused1008 = 1008;   // hidden static
inline constexpr int kIdUnused1015 = 1015;   // hidden static
inline constexpr int kIdOnly = 1093;         // check box, mode 1
inline constexpr int kIdModeGroup = 1094;    // group box around the mode prompt
inline constexpr int kIdAlways = 1095;       // check box, mode 2
inline constexpr int kIdProceed = 1096;      // push button PROCEED
inline constexpr int kIdNever = 1089;        // check box, mode 3
inline constexpr int kIdModePrompt = 1100;   // static: mode prompt
inline constexpr int kIdToolHeading = 1101;  // static: "Vers.  in  FLASHWELL"
inline constexpr int kIdKeyHeading = 1102;   // static: "Vers.  in  MEMPOD"
inline constexpr int kIdStatus = 1103;       // static: status line
inline constexpr int kIdLabels = 1104;       // static: label column
inline constexpr int kIdToolColumn = 1105;   // static: versions the tool carries
inline constexpr int kIdKeyColumn = 1106;    // static: versions on the key, or the connect prompt
inline constexpr int kIdMarkOnly = 1107;     // static: "Key:" beside "Only"
inline constexpr int kIdMarkNever = 1108;    // static: "Key:" beside "Never"
inline constexpr int kIdMarkAlways = 1109;   // static: "Key:" beside "Always"
inline constexpr int kIdNone = -1;           // controls without an identifier

inline constexpr unsigned kTimerId = 10;
inline constexpr unsigned kTimerPeriodMs = 100;

}  // namespace flashwell::sequencer
