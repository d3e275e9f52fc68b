#pragma once

#include <QString>
#include <functional>

/// Whether a program of the current user is running, by its process name.
/// Tests replace the probe so that detection never depends on the machine.
namespace ProcessProbe {

/// True when a process of this user has the command name `name`.
bool isRunning(const QString& name);

using Probe = std::function<bool(const QString& name)>;
/// Replaces the probe; an empty function restores the real one.
void setProbeForTesting(Probe probe);

} // namespace ProcessProbe
