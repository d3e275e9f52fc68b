#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

/// The desktop's own screenshot settings: where its screenshot tool saves,
/// in which format, and with which name prefix. Stateless; every read goes to
/// the tool's configuration at the moment of the call.
namespace SystemCapture {

/// The folder where the desktop's tool saves screenshots (existing directory).
QString location();
/// The tool's file-name prefix, when it has one.
std::optional<QString> namePrefix();
/// Human-readable name of the detected desktop and tool.
QString toolName();

} // namespace SystemCapture
