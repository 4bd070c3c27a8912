#pragma once

// Looks at the simulated runtime's application registry and call trace the way a third party
// would: through the public API, with a connection of its own.

#include <QString>
#include <QStringList>

namespace RegistryProbe {

// Forgets this process's runtime state and connects as a utility application; false on failure.
bool connect();
// Whether any registered manifest declares the program's key.
bool isInstalled();
// Whether the runtime has `manifest` registered (asked by unregistering it and putting it back).
bool isRegistered(const QString& manifest);
// The key's working directory as the runtime reports it, with "/"; empty when unknown.
QString workingDirectory();
// A path as it appears quoted in the trace.
QString quoted(const QString& path);
// The lines of `lines` that record a call of `call`.
QStringList callsOf(const QStringList& lines, const QString& call);

} // namespace RegistryProbe
