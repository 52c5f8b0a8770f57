// The main window's definition: its size, colours, controls and their initial properties.
// Plain data; read on the UI thread when the window is loaded.
#pragma once

#include "platform/window/window_definition.h"

namespace dd {

const WindowDefinition& mainWindowDefinition();

} // namespace dd
