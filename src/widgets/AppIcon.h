#pragma once

#include <QIcon>

// Registers the pictures of widgets.qrc (:/icons/...). The resources live in a
// static library, so the program has to pull them in explicitly; calling this
// more than once is harmless.
void Widgets_InitResources();

// The program's icon, rendered at 16, 32, 48, 64, 128 and 256 pixels
// (:/icons/orvalis-<size>.png; the drawing itself is :/icons/orvalis.svg).
QIcon Orvalis_AppIcon();
