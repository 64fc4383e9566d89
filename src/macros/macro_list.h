// Macro definition lists: "NAME=VALUE;NAME=VALUE", with "\" making the next character literal.
#pragma once

#include <QStringList>

namespace ldweave {

/// Splits a definition list at every unescaped ";". A backslash makes the next character
/// literal and is dropped (a backslash that is the last character stays); empty items are
/// dropped; nothing is trimmed.
QStringList splitMacroList(const QString &text);

} // namespace ldweave
