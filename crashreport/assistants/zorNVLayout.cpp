// zorNV form layout: button metrics, the form's width, item placement and
// the gaps between items.
#include "crashreport/assistants/zorNVLayout.h"

#include <algorithm>

namespace {

constexpr int32_t ItemLeft = 21;
constexpr int32_t ItemTop = 40;

std::u16string CaptionOf(const TNVItem& item)
{
    switch (item.Kind) {
    case TNVItemKind::Button:
        return static_cast<const TNVButton&>(item).Caption();
    case TNVItemKind::Label:
        return static_cast<const TNVLabel&>(item).Caption();
    case TNVItemKind::CheckBox:
        return static_cast<const TNVCheckBox&>(item).Caption();
    default:
        return u"";
    }
}

// A label that ends in ":" or "?" and stands on one line.
bool HeadLabel(const TNVItem* item, int32_t formWidth, const TNVTextMeasure& measure)
{
    if (item == nullptr || item->Kind != TNVItemKind::Label)
        return false;
    const std::u16string caption = CaptionOf(*item);
    if (caption.empty() || (caption.back() != u':' && caption.back() != u'?'))
        return false;
    const int32_t oneLine = measure(TNVFont::Plain, u"Gg", 0).Height;
    return measure(TNVFont::Plain, caption, formWidth - 46).Height <= oneLine;
}

TNVRect PlaceItem(const TNVItem& item, int32_t x, int32_t& y, int32_t formWidth, const TNVTextMeasure& measure,
                  const TNVLayoutMetrics& metrics)
{
    TNVRect rect{x, y, x, y};
    switch (item.Kind) {
    case TNVItemKind::Button: {
        const auto& button = static_cast<const TNVButton&>(item);
        const TNVTextSize text = measure(TNVFont::Plain, button.Caption(), 0);
        rect.Right = x + std::max({text.Width + 32, 70, button.LeastWidth});
        rect.Bottom = y + text.Height + 10;
        break;
    }
    case TNVItemKind::Label: {
        y -= 2;
        rect.Top = y;
        const int32_t width = formWidth - 46;
        rect.Right = x + width;
        rect.Bottom = y + measure(TNVFont::Plain, CaptionOf(item), width).Height;
        break;
    }
    case TNVItemKind::Edit: {
        const auto& edit = static_cast<const TNVEdit&>(item);
        int32_t line = measure(TNVFont::Plain, u"Gg", 0).Height;
        if (line <= 0)
            line = 13;
        // The line count comes from the form's resource: an edit is never
        // taller than the screen, however many lines it asks for.
        const int64_t wanted = int64_t{line} * std::max(edit.LinesValue, 1) + 2;
        const int64_t tallest = std::max<int64_t>(metrics.ScreenHeight, int64_t{line} + 2);
        const int32_t height = static_cast<int32_t>(std::min(wanted, tallest));
        // The edit window stands 2 pixels in; the frame takes 2 on every side.
        rect.Right = x + 2 + (formWidth - 46) + 2;
        rect.Bottom = y + 2 + height + 2;
        break;
    }
    case TNVItemKind::CheckBox: {
        const TNVTextSize text = measure(TNVFont::Plain, CaptionOf(item), 0);
        rect.Right = x + text.Width + metrics.CheckMarkSize + 8;
        rect.Bottom = y + std::max(text.Height, metrics.CheckMarkSize);
        break;
    }
    case TNVItemKind::Image: {
        const auto& image = static_cast<const TNVImage&>(item);
        const int32_t frame = image.ClickableValue ? 6 + (image.BorderValue ? 2 : 0) : (image.BorderValue ? 2 : 0);
        int32_t width = image.WantedWidth, height = image.WantedHeight;
        if (width <= 0)
            width = image.BitmapValue ? image.BitmapValue->PixelWidth() : 32;
        if (height <= 0)
            height = image.BitmapValue ? image.BitmapValue->PixelHeight() : 32;
        width = std::min(width, formWidth - 42 - frame);
        height = std::min(height, metrics.ScreenHeight / 3);
        rect.Right = x + width + frame;
        rect.Bottom = y + height + frame;
        break;
    }
    }
    y = rect.Bottom;
    return rect;
}

} // namespace

TNVButtonSize NavigationButtonSize(const TNVButton& button, const TNVTextMeasure& measure)
{
    if (button.Invisible)
        return {-8, 0};
    if (button.NoOwnerDraw) {
        const int32_t width = measure(TNVFont::Plain, button.Caption(), 0).Width;
        return {width < 55 ? 75 : width + 20, 23};
    }
    const int32_t width = measure(TNVFont::Drawn, button.Caption(), 0).Width;
    return {width <= 64 ? 85 : width + 20, 32};
}

TNVFormLayout LayoutForm(const TNVForm& form, const TNVTextMeasure& measure, const TNVLayoutMetrics& metrics)
{
    TNVFormLayout layout;
    TNVButtonSize sizes[3];
    int32_t buttons = 0;
    for (int32_t i = 0; i < 3; ++i) {
        sizes[i] = NavigationButtonSize(*form.Button(i), measure);
        buttons += sizes[i].Width;
    }
    const int32_t message = measure(TNVFont::HeadingBold, form.Message(), 0).Width;
    layout.Width = std::max({buttons + 32, 315, form.MinWidth(), message + form.Steps() * 19 + 36});

    int32_t y = ItemTop;
    const int32_t count = form.ItemCount();
    for (int32_t i = 3; i < count; ++i) {
        const TNVItem& item = *form.ItemObject(i);
        layout.ItemRects.push_back(PlaceItem(item, ItemLeft, y, layout.Width, measure, metrics));
        int32_t gap = 0;
        if (item.SpacingValue != 0) {
            gap = item.SpacingValue;
        } else if (i + 1 < count) {
            const TNVItem* next = form.ItemObject(i + 1);
            const TNVItem* previous = i > 3 ? form.ItemObject(i - 1) : nullptr;
            const TNVItem* afterNext = i + 2 < count ? form.ItemObject(i + 2) : nullptr;
            if (HeadLabel(&item, layout.Width, measure))
                gap = 4;
            else if (next->Kind == item.Kind)
                gap = item.Kind == TNVItemKind::Button ? 4 : item.Kind == TNVItemKind::Edit ? 6 : 8;
            else if (HeadLabel(previous, layout.Width, measure) && HeadLabel(next, layout.Width, measure) &&
                     afterNext != nullptr && afterNext->Kind == item.Kind)
                gap = 8;
            else
                gap = 12;
        }
        y += gap;
        layout.GapsAfter.push_back(gap);
    }

    layout.Height = sizes[0].Height + y + 33;
    const TNVButton& continueButton = *form.Button(0);
    const TNVButton& cancelButton = *form.Button(2);
    auto place = [&](int32_t index, int32_t left) {
        layout.Navigation[index] = {left, layout.Height - sizes[index].Height - 9, left + sizes[index].Width,
                                    layout.Height - 9};
    };
    const int32_t cancelLeft = layout.Width - 8 - sizes[2].Width;
    place(2, cancelLeft);
    if (continueButton.NoOwnerDraw && cancelButton.NoOwnerDraw && form.Button(1)->Invisible) {
        place(0, cancelLeft - 8 - sizes[0].Width);
        place(1, cancelLeft - 8 - sizes[0].Width);
    } else {
        place(0, 8);
        place(1, 8 + sizes[0].Width + 8);
    }
    return layout;
}
