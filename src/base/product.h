// The product's fixed identity: the title shown in the banner and in the descriptions of the
// system macros, and the release number.
#pragma once

namespace ldweave {

/// Product title printed in the usage banner and named by the system macro descriptions.
inline constexpr char kProductTitle[] = "Weave Embedded Tools";
/// Release number printed as major part joined directly to minor part ("4." + "22").
inline constexpr char kReleaseMajor[] = "4.";
inline constexpr char kReleaseMinor[] = "22";

} // namespace ldweave
