#pragma once

/// Makes the application's own painted views readable by screen readers.
namespace accessibility {

/// Installs the interfaces of the painted views (the roll, the card's controls,
/// the edge tab, the settings switches). Call once, after the application object
/// exists, so they take precedence over Qt's generic ones.
void install();

} // namespace accessibility
