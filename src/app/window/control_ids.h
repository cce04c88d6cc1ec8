// The main window's controls by their numbers: every control carries the object name
// "ctl" followed by its number ("ctl1003" is the Start button), so tests and tools find
// them. The one unnumbered static is "ctlCurrentSn"; the password box is "dlg3031".
#pragma once

#include <QString>

namespace vantor::window {

inline constexpr int kIdcImageText = 1000;       // read-only edit: image path or version text
inline constexpr int kIdcBrowser = 1001;         // button "Browser": never shown
inline constexpr int kIdcStart = 1003;           // button "Start"
inline constexpr int kIdcGetVersion = 1004;      // button "Get Version": hidden
inline constexpr int kIdcLoopCount = 1009;       // edit: remaining loop count
inline constexpr int kIdcLoopLeft = 1011;        // static "Left:"
inline constexpr int kIdcResult = 1016;          // static: "N/A", "PASS", "FAIL"
inline constexpr int kIdcSerial = 1028;          // static: the device's serial text
inline constexpr int kIdcVersion = 1030;         // static "Ver: "
inline constexpr int kIdcProgress = 1031;        // progress bar 0..100
inline constexpr int kIdcStatus = 1033;          // static: status text
inline constexpr int kIdcDeviceList = 1050;      // drop-down list of the accepted devices
inline constexpr int kIdcIcType = 1069;          // static: shown for IC type codes 10 and 15
inline constexpr int kIdcLoopTotal = 1071;       // static "Total"
inline constexpr int kIdcPassword = 1137;        // edit: hidden (the password box's edit too)
inline constexpr int kIdcAudioIcLabel = 1143;    // static "Audio IC:"
inline constexpr int kIdcFwVersionLabel = 1188;  // static: hidden
inline constexpr int kIdcStatusLabel = 1189;     // static "Status: "
inline constexpr int kIddPassword = 3031;        // the password box

inline QString ControlName(int id) { return QStringLiteral("ctl%1").arg(id); }
inline const QString kCurrentSnLabelName = QStringLiteral("ctlCurrentSn");
inline QString DialogName(int id) { return QStringLiteral("dlg%1").arg(id); }

}  // namespace vantor::window
