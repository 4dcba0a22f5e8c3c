// zorNV form layout: the sizes and places of an assistant form's buttons and
// items, for a presenter that draws the form itself. Text is measured by the
// presenter's fonts through a measurer; everything else is fixed here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crashreport/assistants/zorNVAssistant.h"

enum class TNVFont : uint8_t {
    HeadingBold, // bold Arial 15 px: the message and drawn buttons' captions when bold
    Drawn,       // Arial 15 px: captions of drawn buttons
    Plain,       // Tahoma 11 px: the items and plain buttons
};

struct TNVTextSize {
    int32_t Width = 0;
    int32_t Height = 0;
};

// The size of a text in a font; with a wrap width above 0, wrapped at words
// to that width.
using TNVTextMeasure = std::function<TNVTextSize(TNVFont font, const std::u16string& text, int32_t wrapWidth)>;

struct TNVLayoutMetrics {
    int32_t CheckMarkSize = 13; // the menu check mark's width and height
    int32_t ScreenHeight = 768;
};

struct TNVButtonSize {
    int32_t Width = 0; // -8 for an invisible button
    int32_t Height = 0;
};
TNVButtonSize NavigationButtonSize(const TNVButton& button, const TNVTextMeasure& measure);

struct TNVFormLayout {
    int32_t Width = 0;
    int32_t Height = 0;
    TNVRect Navigation[3];          // Continue, Skip, Cancel
    std::vector<TNVRect> ItemRects; // items from index 3 on
    std::vector<int32_t> GapsAfter; // the gap below each of those items
};
TNVFormLayout LayoutForm(const TNVForm& form, const TNVTextMeasure& measure, const TNVLayoutMetrics& metrics = {});
