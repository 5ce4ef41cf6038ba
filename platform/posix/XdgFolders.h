#pragma once
#include <QString>

namespace tw::platform {

// An XDG base directory ($XDG_CONFIG_HOME, $XDG_STATE_HOME, ...): the
// variable's value when it is an absolute path, otherwise the home folder
// followed by fallbackUnderHome (".config", ".local/state"). An unset, empty
// or relative value counts as unset, as the XDG rules say.
QString xdgFolder(const char* variable, const QString& fallbackUnderHome);

} // namespace tw::platform
