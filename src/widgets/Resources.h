#pragma once

// Registers the pictures, the icon and the built-in skin (resources/qinghe.qrc)
// compiled into the static qinghe_gui library. Call once, before the first
// window or the skin is made; calling it again does no harm.
void qingheInitResources();
