#pragma once

namespace services {

// String table ids of the services' texts.
inline constexpr int kStringTrayTip = 128;           // the icon's first tip, replaced by the frame
inline constexpr int kStringWarningText = 1058;      // "Detected audio program executed before ..."
inline constexpr int kStringDontShowAgain = 61467;   // "Don´t show this warning again"
inline constexpr int kStringUpdatePrompt = 61458;    // "Click on <OK> button to verify ..."
inline constexpr int kStringUpdateWait = 61466;      // "Wait a moment please..."
inline constexpr int kStringUnknownVersion = 61451;  // "Cannot identify the version ..."
inline constexpr int kStringCannotConnect = 61452;   // "Cannot connect to server. ..."
inline constexpr int kStringVersionCurrent = 61459;  // "There is not yet a new version ..."
inline constexpr int kStringNewVersion = 61460;      // "There is a new version ..."
inline constexpr int kStringUpdateTitle = 62305;     // "Check for Updates"
inline constexpr int kStringWarningTitle = 62306;    // "Warning"
inline constexpr int kStringDownloadTip = 62307;     // "Click Here to go website"

}  // namespace services
