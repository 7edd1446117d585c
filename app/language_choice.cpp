#include "app/language_choice.h"

#include "app/language_table.h"
#include "scene/info_layer.h"

void ApplyLanguage(std::string_view code) {
    SetLanguage(code);
    CInfoLayer::SetFaceName(GetText(kTextInfoFontFace));
}
