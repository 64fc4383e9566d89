// The one pair of conversions between the 8-bit text the XML layer stores and the QString that
// everything above it works with (local 8-bit encoding, which is UTF-8).
#pragma once

#include <QString>

#include <string>

namespace ldweave {

/// The bytes as a QString.
QString fromBytes(const std::string &bytes);
/// The QString as 8-bit text.
std::string toBytes(const QString &text);

} // namespace ldweave
