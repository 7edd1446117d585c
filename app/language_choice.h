// Choosing the interface language once the settings are loaded: the text table, and the face of
// the presenter's information overlay (text 37), which follows the language. Every kind of run calls
// it before any window or layer exists.
#pragma once

#include <string_view>

void ApplyLanguage(std::string_view code);
