// zorNV assistants: the form resource reader, the items, the forms with their
// Continue rule and events, the assistant, and the reporter's assistant run.
#include "crashreport/assistants/zorNVAssistant.h"

#include <mutex>

#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/assistants/zorNVForms.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

namespace {

bool PropertyBool(const std::u16string& value)
{
    return SameTextW(value, u"yes") || SameTextW(value, u"true") || value == u"1";
}

int32_t PropertyInt(const std::u16string& value)
{
    if (!value.empty() && value[0] == u'$')
        return DigitsToIntW(true, value.data() + 1, static_cast<int32_t>(value.size() - 1));
    return DigitsToIntW(false, value.data(), static_cast<int32_t>(value.size()));
}

// The value of a resource property as text: numbers in decimal, booleans
// "0" and "1".
std::u16string ValueText(const TSettingValue& value)
{
    switch (value.Kind) {
    case TSettingKind::Int:
        return Utf8ToWide(std::to_string(value.Int));
    case TSettingKind::Bool:
        return value.Bool ? u"1" : u"0";
    default:
        return value.Text;
    }
}

// A short UTF-8 name: a length byte and the bytes.
bool ReadName(const std::string& data, size_t& at, std::u16string& name)
{
    if (at >= data.size())
        return false;
    const size_t length = static_cast<uint8_t>(data[at++]);
    if (data.size() - at < length)
        return false;
    name = Utf8ToWide(data.substr(at, length));
    at += length;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Items

bool TNVItem::ApplyProperty(const std::u16string& name, const std::u16string& value)
{
    if (name == u"Spacing")
        SpacingValue = PropertyInt(value);
    else if (name == u"Enabled")
        EnabledValue = PropertyBool(value);
    else if (name == u"OutputType")
        OutputTypeValue = PosTextW(u"ownSection", value) > 0 ? 1 : 0;
    else if (name == u"OutputName")
        OutputNameValue = value;
    else
        return false;
    return true;
}

void TNVItem::SetFocus()
{
    if (Owner != nullptr)
        Owner->Focus(this);
}

TNVButton::TNVButton(TNVForm& owner, std::u16string name, std::u16string caption)
    : TNVItem(owner, TNVItemKind::Button, std::move(name)), CaptionValue(std::move(caption))
{
}

bool TNVButton::ApplyProperty(const std::u16string& name, const std::u16string& value)
{
    if (name == u"Caption")
        CaptionValue = value;
    else if (name == u"MinWidth")
        LeastWidth = PropertyInt(value);
    else if (name == u"NoOwnerDraw")
        NoOwnerDraw = PropertyBool(value);
    else if (name == u"Visible")
        Invisible = !PropertyBool(value);
    else
        return TNVItem::ApplyProperty(name, value);
    return true;
}

TNVLabel::TNVLabel(TNVForm& owner, std::u16string name) : TNVItem(owner, TNVItemKind::Label, std::move(name))
{
    TabStopValue = false;
}

bool TNVLabel::ApplyProperty(const std::u16string& name, const std::u16string& value)
{
    if (name == u"Caption")
        CaptionValue = value;
    else
        return TNVItem::ApplyProperty(name, value);
    return true;
}

bool TNVEdit::ApplyProperty(const std::u16string& name, const std::u16string& value)
{
    if (name == u"Text") {
        TextValue = value;
        ReplaceTextW(TextValue, u"%lf%", u"\r\n");
    } else if (name == u"Lines") {
        LinesValue = PropertyInt(value);
    } else if (name == u"Optional") {
        OptionalValue = PropertyBool(value);
    } else if (name == u"Colored") {
        NotColored = !PropertyBool(value);
    } else if (name == u"Valid") {
        NotValid = !PropertyBool(value);
    } else {
        return TNVItem::ApplyProperty(name, value);
    }
    return true;
}

void TNVEdit::SetOptional(bool value)
{
    OptionalValue = value;
    if (Owner != nullptr)
        Owner->UpdateContinue();
}

void TNVEdit::SetText(const std::u16string& text)
{
    TextValue = text;
    if (Owner == nullptr)
        return;
    Owner->RaiseAction(NVActionItem, this);
    Owner->UpdateContinue();
}

void TNVEdit::SetValid(bool value)
{
    NotValid = !value;
    if (Owner != nullptr)
        Owner->UpdateContinue();
}

bool TNVCheckBox::ApplyProperty(const std::u16string& name, const std::u16string& value)
{
    if (name == u"Caption" || name == u"Text")
        CaptionValue = value;
    else if (name == u"Checked")
        CheckedValue = PropertyBool(value);
    else
        return TNVItem::ApplyProperty(name, value);
    return true;
}

bool TNVImage::ApplyProperty(const std::u16string& name, const std::u16string& value)
{
    if (name == u"File")
        FileValue = value;
    else if (name == u"Border")
        BorderValue = PropertyBool(value);
    else if (name == u"Clickable")
        ClickableValue = PropertyBool(value);
    else if (name == u"Width")
        WantedWidth = PropertyInt(value);
    else if (name == u"Height")
        WantedHeight = PropertyInt(value);
    else
        return TNVItem::ApplyProperty(name, value);
    return true;
}

// ---------------------------------------------------------------------------
// Forms

TNVForm::TNVForm(TNVAssistant* assistant, int32_t steps, int32_t step, IZXException* exception, const std::string& data,
                 const std::u16string& title)
    : AssistantObject(assistant), TitleText(title), StepValue(step), StepsValue(steps), ExceptionIntf(exception)
{
    Append(std::make_shared<TNVButton>(*this, u"ContinueBtn", u"Next >"));
    Append(std::make_shared<TNVButton>(*this, u"SkipBtn", u"Skip"));
    Append(std::make_shared<TNVButton>(*this, u"CancelBtn", u"Cancel"));
    if (data.size() >= 4 && data.compare(0, 4, "TPF0") == 0)
        ReadError = ReadResource(data);
    RaiseAction(NVActionBuilt, nullptr);
}

void TNVForm::Append(std::shared_ptr<TNVItem> item)
{
    item->Index = static_cast<int32_t>(Items.size());
    Items.push_back(std::move(item));
}

std::string TNVForm::ReadResource(const std::string& data)
{
    size_t at = 4;
    // Reads the properties of one object into apply; false at the end of
    // the data or on a bad type (then the message is set).
    std::string message;
    auto readProperties = [&](const std::function<void(const std::u16string&, const std::u16string&)>& apply) {
        for (;;) {
            std::u16string name;
            if (!ReadName(data, at, name))
                return false;
            if (name.empty())
                return true; // the properties end
            if (at >= data.size())
                return false;
            const uint8_t type = static_cast<uint8_t>(data[at++]);
            TSettingValue value;
            const TResourceValueResult result = ReadResourceValue(data, at, type, value);
            if (result == TResourceValueResult::BadType) {
                message = "Internal error: Invalid assistant resource (" + CardToHexTextA(type) + ").";
                return false;
            }
            if (result == TResourceValueResult::End)
                return false;
            apply(name, ValueText(value));
        }
    };
    std::u16string className, objectName;
    if (!ReadName(data, at, className) || !ReadName(data, at, objectName))
        return message;
    FormName = objectName;
    auto applyToForm = [this](const std::u16string& n, const std::u16string& v) { ApplyFormProperty(n, v); };
    if (!readProperties(applyToForm))
        return message;
    for (;;) {
        std::u16string childClass, childName;
        if (!ReadName(data, at, childClass) || childClass.empty())
            return message;
        if (!ReadName(data, at, childName))
            return message;
        std::u16string kind = childClass;
        kind[0] = u'T';
        TNVItem* target = nullptr;
        std::shared_ptr<TNVItem> created;
        if (kind == u"TNVButton") {
            const std::u16string navigation = childName == u"AbortBtn" ? u"CancelBtn" : childName;
            for (int32_t i = 0; i < 3; ++i)
                if (Items[static_cast<size_t>(i)]->ItemName == navigation)
                    target = Items[static_cast<size_t>(i)].get();
            if (target == nullptr)
                created = std::make_shared<TNVButton>(*this, childName, u"");
        } else if (kind == u"TNVLabel") {
            created = std::make_shared<TNVLabel>(*this, childName);
        } else if (kind == u"TNVEdit") {
            created = std::make_shared<TNVEdit>(*this, childName);
        } else if (kind == u"TNVCheckBox") {
            created = std::make_shared<TNVCheckBox>(*this, childName);
        } else if (kind == u"TNVImage") {
            created = std::make_shared<TNVImage>(*this, childName);
        }
        if (created) {
            Append(created);
            target = created.get();
        }
        const bool read = readProperties([&](const std::u16string& n, const std::u16string& v) {
            if (target != nullptr)
                target->ApplyProperty(n, v);
            else
                ApplyFormProperty(n, v);
        });
        // An item's children: none are made; skip their end mark.
        if (!read || at >= data.size() || data[at++] != '\0')
            return message;
    }
}

void TNVForm::ApplyFormProperty(const std::u16string& name, const std::u16string& value)
{
    if (name == u"Message")
        MessageText = value;
    else if (name == u"MinWidth")
        LeastWidth = PropertyInt(value);
    else if (name == u"ActiveControl")
        ActiveName = value;
    else if (name == u"Timer")
        Timer = PropertyInt(value);
    else if (name == u"OnAction")
        Handler = FindBuiltInHandler(value);
}

INVWizard* TNVForm::Assistant() const
{
    return AssistantObject;
}

INVItem* TNVForm::Item(int32_t index) const
{
    return index < 0 || index >= ItemCount() ? nullptr : ItemObject(index);
}

TNVButton* TNVForm::Button(int32_t index) const
{
    return static_cast<TNVButton*>(ItemObject(index));
}

TNVItem* TNVForm::FindItem(const std::u16string& name) const
{
    for (const auto& item : Items)
        if (item->ItemName == name)
            return item.get();
    return nullptr;
}

namespace {

template <typename TInterface>
TInterface* FindOfKind(const std::vector<std::shared_ptr<TNVItem>>& items, const std::u16string& name)
{
    for (const auto& item : items)
        if (item->ItemName == name)
            if (auto* found = dynamic_cast<TInterface*>(item.get()))
                return found;
    return nullptr;
}

} // namespace

INVEdit* TNVForm::FindEdit(const std::u16string& name) const
{
    return FindOfKind<INVEdit>(Items, name);
}

INVLabel* TNVForm::FindLabel(const std::u16string& name) const
{
    return FindOfKind<INVLabel>(Items, name);
}

INVButton* TNVForm::FindButton(const std::u16string& name) const
{
    return FindOfKind<INVButton>(Items, name);
}

INVCheckBox* TNVForm::FindCheckBox(const std::u16string& name) const
{
    return FindOfKind<INVCheckBox>(Items, name);
}

INVImage* TNVForm::FindImage(const std::u16string& name) const
{
    return FindOfKind<INVImage>(Items, name);
}

void TNVForm::UpdateContinue()
{
    bool allowed = true;
    for (size_t i = 3; i < Items.size() && allowed; ++i)
        allowed = Items[i]->AllowsContinue();
    Button(0)->ForceDisabled = !allowed;
}

void TNVForm::RaiseAction(uint8_t action, INVItem* item)
{
    if (Handler)
        Handler(*this, action, item, ExceptionIntf);
    if (AssistantObject != nullptr && AssistantObject->ActionHandler())
        AssistantObject->ActionHandler()(*this, action, item, AssistantObject->Exception());
}

int32_t TNVForm::NextFocusable(int32_t from, int32_t direction) const
{
    const int32_t count = ItemCount();
    for (int32_t step = 1; step <= count; ++step) {
        const int32_t index = ((from + direction * step) % count + count) % count;
        const TNVItem* item = ItemObject(index);
        const bool hidden = item->Kind == TNVItemKind::Button && static_cast<const TNVButton*>(item)->Invisible;
        if (item->TabStopValue && item->Usable() && !hidden)
            return index;
    }
    return -1;
}

void TNVForm::Focus(TNVItem* item)
{
    if (item != nullptr && item->Owner == this && item->Usable())
        FocusIndex = item->Index;
}

uint8_t TNVForm::ShowForm(const TNVFormPresenter& presenter)
{
    if (SkipFlag)
        return NVResultSkip;
    ResultValue = 0;
    Shown = true;
    UpdateContinue();
    FocusIndex = -1;
    if (TNVItem* active = FindItem(ActiveName); active != nullptr && active->Usable())
        FocusIndex = active->Index;
    else
        FocusIndex = NextFocusable(2, 1);
    RaiseAction(NVActionShowing, nullptr);
    if (SkipFlag) {
        Shown = false;
        return NVResultSkip;
    }
    if (presenter)
        presenter(*this);
    if (Shown)
        CloseWindow();
    return ResultValue;
}

void TNVForm::EndWith(uint8_t result)
{
    ResultValue = result;
    RaiseAction(NVActionClosed, nullptr);
    Shown = false;
}

void TNVForm::CloseWindow()
{
    if (Shown)
        EndWith(NVResultCancel);
}

void TNVForm::Click(const std::u16string& itemName)
{
    TNVItem* item = FindItem(itemName);
    if (!Shown || item == nullptr || !item->Usable())
        return;
    switch (item->Kind) {
    case TNVItemKind::CheckBox: {
        auto* box = static_cast<TNVCheckBox*>(item);
        box->CheckedValue = !box->CheckedValue;
        RaiseAction(NVActionItem, box);
        break;
    }
    case TNVItemKind::Image:
        if (static_cast<TNVImage*>(item)->ClickableValue)
            RaiseAction(NVActionItem, static_cast<TNVImage*>(item));
        break;
    case TNVItemKind::Button: {
        auto* button = static_cast<TNVButton*>(item);
        if (button->Invisible)
            return;
        RaiseAction(NVActionItem, button);
        if (item->Index < 3 && Shown)
            EndWith(static_cast<uint8_t>(item->Index + 1));
        break;
    }
    default:
        break;
    }
}

void TNVForm::TypeText(const std::u16string& editName, const std::u16string& text)
{
    TNVItem* item = FindItem(editName);
    if (!Shown || item == nullptr || item->Kind != TNVItemKind::Edit || !item->Usable())
        return;
    static_cast<TNVEdit*>(item)->SetText(text);
}

void TNVForm::KeyEscape()
{
    const TNVButton* cancel = Button(2);
    if (Shown && cancel->Usable() && !cancel->Invisible)
        EndWith(NVResultCancel);
}

void TNVForm::KeyTab(bool shift)
{
    if (!Shown)
        return;
    const int32_t next = NextFocusable(FocusIndex < 0 ? 2 : FocusIndex, shift ? -1 : 1);
    if (next >= 0)
        FocusIndex = next;
}

void TNVForm::KeyEnter()
{
    TNVItem* item = Focused();
    if (!Shown || item == nullptr)
        return;
    if (item->Kind == TNVItemKind::Button) {
        Click(item->ItemName);
        return;
    }
    if (item->Kind == TNVItemKind::Edit && static_cast<TNVEdit*>(item)->LinesValue > 1) {
        auto* edit = static_cast<TNVEdit*>(item);
        edit->SetText(edit->TextValue + u"\r\n");
        return;
    }
    KeyTab(false);
}

void TNVForm::TimerTick()
{
    if (Shown && Timer > 0)
        RaiseAction(NVActionItem, nullptr);
}

// ---------------------------------------------------------------------------
// Assistants

TNVAssistant::TNVAssistant(const std::u16string& title, IZXException* exception,
                           const std::vector<std::string>& formData)
    : TitleText(title), ExceptionIntf(exception)
{
    const int32_t steps = static_cast<int32_t>(formData.size());
    for (int32_t i = 0; i < steps; ++i) {
        Forms.push_back(
            std::make_unique<TNVForm>(this, steps, i + 1, exception, formData[static_cast<size_t>(i)], title));
        if (!Forms.back()->ReadMessage().empty())
            OS_MessageBox("zorExcept", Forms.back()->ReadMessage(), 0);
    }
}

void TNVAssistant::SetTitle(const std::u16string& title)
{
    TitleText = title;
    for (auto& form : Forms)
        form->SetTitle(title);
}

INVForm* TNVAssistant::Form(int32_t index) const
{
    return index < 0 || index >= FormCount() ? nullptr : Forms[static_cast<size_t>(index)].get();
}

INVForm* TNVAssistant::FormByName(const std::u16string& name) const
{
    INVForm* found = nullptr;
    for (const auto& form : Forms)
        if (SameTextW(form->Name(), name))
            found = form.get();
    return found;
}

uint8_t TNVAssistant::ShowAssistant(const TNVFormPresenter& presenter)
{
    ResultValue = NVResultContinue;
    for (auto& form : Forms)
        if (form->ShowForm(presenter) == NVResultCancel) {
            ResultValue = NVResultCancel;
            break;
        }
    return ResultValue;
}

TAssistantState* TNVAssistant::FormState()
{
    State.Forms.clear();
    for (const auto& form : Forms) {
        TAssistantFormState f;
        f.Result = form->Result();
        f.ContinueName = form->Button(0)->ItemName;
        f.ContinueEnabled = form->Button(0)->EnabledValue;
        f.ActiveControl = form->ActiveName;
        for (int32_t i = 3; i < form->ItemCount(); ++i) {
            const TNVItem* item = form->ItemObject(i);
            TAssistantItemState s;
            s.Name = item->ItemName;
            s.OutputName = item->OutputNameValue;
            s.OutputType = item->OutputTypeValue;
            if (item->Kind == TNVItemKind::Edit) {
                s.Kind = TAssistantItemKind::Edit;
                s.Text = static_cast<const TNVEdit*>(item)->TextValue;
                s.Lines = static_cast<const TNVEdit*>(item)->LinesValue;
            } else if (item->Kind == TNVItemKind::CheckBox) {
                s.Kind = TAssistantItemKind::CheckBox;
                s.Checked = static_cast<const TNVCheckBox*>(item)->CheckedValue;
            }
            f.Items.push_back(std::move(s));
        }
        State.Forms.push_back(std::move(f));
    }
    return &State;
}

void TNVAssistant::ApplyFormState()
{
    for (size_t f = 0; f < Forms.size() && f < State.Forms.size(); ++f) {
        TNVForm& form = *Forms[f];
        const TAssistantFormState& s = State.Forms[f];
        for (const TAssistantItemState& item : s.Items) {
            TNVItem* target = form.FindItem(item.Name);
            if (target == nullptr)
                continue;
            if (item.Kind == TAssistantItemKind::Edit && target->Kind == TNVItemKind::Edit)
                static_cast<TNVEdit*>(target)->TextValue = item.Text;
            else if (item.Kind == TAssistantItemKind::CheckBox && target->Kind == TNVItemKind::CheckBox)
                static_cast<TNVCheckBox*>(target)->CheckedValue = item.Checked;
        }
        form.UpdateContinue();
        form.ActiveName = s.ActiveControl;
    }
}

TAssistantResults TNVAssistant::Results() const
{
    TAssistantResults results;
    for (const auto& form : Forms) {
        TAssistantFormResult r;
        r.Result = form->Result();
        for (int32_t i = 3; i < form->ItemCount(); ++i) {
            const TNVItem* item = form->ItemObject(i);
            TAssistantItemResult out;
            out.OutputName = item->OutputNameValue;
            out.OwnSection = item->OutputTypeValue == 1;
            if (item->Kind == TNVItemKind::Edit) {
                out.Kind = TAssistantItemResult::Edit;
                out.Text = static_cast<const TNVEdit*>(item)->TextValue;
                out.Lines = static_cast<const TNVEdit*>(item)->LinesValue;
            } else if (item->Kind == TNVItemKind::CheckBox) {
                out.Kind = TAssistantItemResult::CheckBox;
                out.Checked = static_cast<const TNVCheckBox*>(item)->CheckedValue;
            }
            r.Items.push_back(std::move(out));
        }
        results.push_back(std::move(r));
    }
    return results;
}

std::shared_ptr<TNVAssistant> CreateAssistantFromResources(const std::u16string& title,
                                                           const std::vector<std::u16string>& formNames,
                                                           IZXException* exception)
{
    std::vector<std::string> data;
    for (const std::u16string& name : formNames)
        data.push_back(ReadResourceText(RT_RCDATA, u"TZX" + UpStrW(name)));
    return std::make_shared<TNVAssistant>(title, exception, data);
}

TNVActionHandler FindBuiltInHandler(const std::u16string& name)
{
    if (SameTextW(name, u"zorExcept.HandleContactForm"))
        return HandleContactForm;
    if (SameTextW(name, u"zorExcept.HandleScreenshotForm"))
        return HandleScreenshotForm;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Presenters and the reporter's run

TNVFormPresenter ScriptedFormPresenter(std::vector<TNVScript> scripts,
                                       std::shared_ptr<std::vector<std::u16string>> shown)
{
    auto pending = std::make_shared<std::vector<TNVScript>>(std::move(scripts));
    return [pending, shown](TNVForm& form) {
        if (shown)
            shown->push_back(form.Name());
        auto script =
            std::find_if(pending->begin(), pending->end(), [&](const TNVScript& s) { return s.Form == form.Name(); });
        if (script == pending->end())
            return;
        const std::vector<TNVScriptStep> steps = std::move(script->Steps);
        pending->erase(script);
        for (const TNVScriptStep& step : steps) {
            if (!form.IsShown())
                break;
            switch (step.Kind) {
            case TNVScriptStep::Click:
                form.Click(step.Item);
                break;
            case TNVScriptStep::Type:
                form.TypeText(step.Item, step.Text);
                break;
            case TNVScriptStep::Escape:
                form.KeyEscape();
                break;
            case TNVScriptStep::Tab:
                form.KeyTab(false);
                break;
            case TNVScriptStep::ShiftTab:
                form.KeyTab(true);
                break;
            case TNVScriptStep::Enter:
                form.KeyEnter();
                break;
            case TNVScriptStep::Tick:
                form.TimerTick();
                break;
            case TNVScriptStep::Close:
                form.CloseWindow();
                break;
            }
        }
    };
}

namespace {

std::mutex PresenterLock;
TNVFormPresenter& PresenterSlot()
{
    static TNVFormPresenter* const presenter = new TNVFormPresenter;
    return *presenter;
}

std::shared_ptr<INVWizard> CreateForSettings(IZXSettings&, const std::u16string& title,
                                             const std::vector<std::u16string>& forms, IZXException* exception)
{
    return CreateAssistantFromResources(title, forms, exception);
}

TAssistantState* StateOf(INVWizard& assistant)
{
    auto* own = dynamic_cast<TNVAssistant*>(&assistant);
    return own != nullptr ? own->FormState() : nullptr;
}

// The named assistant with the reporter's presenter: -1 when there is none,
// else its result; the results filled on Continue. The form contents are
// remembered either way.
int32_t RunAssistant(TIZXException& exception, const std::u16string& name, TAssistantResults& results)
{
    const TNVFormPresenter presenter = AssistantPresenter();
    if (!presenter)
        return -1;
    std::shared_ptr<INVWizard> found = exception.FindAssistant(name);
    auto* assistant = dynamic_cast<TNVAssistant*>(found.get());
    if (assistant == nullptr)
        return -1;
    assistant->ApplyFormState();
    const uint8_t result = assistant->ShowAssistant(presenter);
    if (result == NVResultContinue)
        results = assistant->Results();
    exception.StoreFormContents(*assistant->FormState());
    return result;
}

int32_t RunForHandlers(THandlerWindow, TIZXException& exception, const std::u16string& name, TAssistantResults& results)
{
    return RunAssistant(exception, name, results);
}

} // namespace

void SetAssistantPresenter(TNVFormPresenter presenter)
{
    std::lock_guard guard(PresenterLock);
    PresenterSlot() = std::move(presenter);
}

TNVFormPresenter AssistantPresenter()
{
    std::lock_guard guard(PresenterLock);
    return PresenterSlot();
}

int32_t RunExceptionAssistant(TIZXException& exception, const std::u16string& name)
{
    TAssistantResults results;
    const int32_t outcome = RunAssistant(exception, name, results);
    if (outcome == NVResultContinue)
        StoreAssistantResults(results, exception);
    return outcome;
}

void LinkAssistants()
{
    ZorSlots().CreateAssistant = CreateForSettings;
    ZorSlots().AssistantFormState = StateOf;
    SetAssistantRunner(RunForHandlers);
    if (!AssistantPresenter())
        SetAssistantPresenter(ZenityFormPresenter());
}
