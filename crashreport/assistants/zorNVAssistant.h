// zorNV assistants: a sequence of small modal forms (contact data, error
// details, the screenshot) that the user goes through before a report is
// sent, saved or printed; what is entered goes into the report. A form is
// read from a form resource ("TZX" + the form's name, an object stream
// starting "TPF0") and holds items: the three navigation buttons (Continue,
// Skip, Cancel), then buttons, labels, edits, check boxes and images.
//
// The forms are a model: a presenter shows a form and feeds its events (a
// click, a typed text, a key, a timer tick) into it until it closes. The
// presenters are a scripted driver (tests), zenity's forms when zenity and a
// display exist, or none: then the action goes on as if there were no
// assistant.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "crashreport/diagnostics/zorBitmap.h"
#include "crashreport/core/zorExcept_Handlers.h"

class INVForm;
class INVWizard;
class TNVForm;
class TNVAssistant;

// Form actions.
constexpr uint8_t NVActionBuilt = 0;
constexpr uint8_t NVActionShowing = 1;
constexpr uint8_t NVActionClosed = 2;
constexpr uint8_t NVActionItem = 3; // a click, a changed edit, a timer tick (no item)

// Form and assistant results.
constexpr uint8_t NVResultContinue = 1;
constexpr uint8_t NVResultSkip = 2;
constexpr uint8_t NVResultCancel = 3;

// ---------------------------------------------------------------------------
// Items

class INVItem {
public:
    virtual ~INVItem() = default;
    virtual std::u16string Name() const = 0;
    virtual bool TabStop() const = 0;
    virtual int32_t Spacing() const = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool value) = 0;
    virtual void SetFocus() = 0;
};

class INVButton : public virtual INVItem {
public:
    virtual std::u16string Caption() const = 0;
    virtual void SetCaption(const std::u16string& caption) = 0;
    virtual int32_t MinWidth() const = 0;
};

class INVLabel : public virtual INVItem {
public:
    virtual std::u16string Caption() const = 0;
    virtual void SetCaption(const std::u16string& caption) = 0;
};

class INVEdit : public virtual INVItem {
public:
    virtual int32_t Lines() const = 0;
    virtual bool Optional() const = 0;
    virtual void SetOptional(bool value) = 0;
    virtual std::u16string Text() const = 0;
    // Raises the item action for the edit, as typing does.
    virtual void SetText(const std::u16string& text) = 0;
    virtual bool Colored() const = 0;
    virtual void SetColored(bool value) = 0;
    virtual bool Valid() const = 0;
    virtual void SetValid(bool value) = 0;
    virtual uint8_t OutputType() const = 0; // 0 header, 1 own section
    virtual void SetOutputType(uint8_t value) = 0;
    virtual std::u16string OutputName() const = 0;
    virtual void SetOutputName(const std::u16string& name) = 0;
};

class INVCheckBox : public virtual INVItem {
public:
    virtual std::u16string Caption() const = 0;
    virtual void SetCaption(const std::u16string& caption) = 0;
    virtual bool Checked() const = 0;
    virtual void SetChecked(bool value) = 0;
    virtual std::u16string OutputName() const = 0;
    virtual void SetOutputName(const std::u16string& name) = 0;
};

class INVImage : public virtual INVItem {
public:
    virtual std::u16string File() const = 0;
    virtual std::shared_ptr<INVBitmap> Bitmap() const = 0;
    virtual void SetBitmap(std::shared_ptr<INVBitmap> bitmap) = 0;
    virtual bool Clickable() const = 0;
    virtual bool Border() const = 0;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
};

enum class TNVItemKind : uint8_t { Button, Label, Edit, CheckBox, Image };

// The rectangle of an item in the form's client area.
struct TNVRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

class TNVItem : public virtual INVItem {
public:
    TNVItem(TNVForm& owner, TNVItemKind kind, std::u16string name)
        : Owner(&owner), Kind(kind), ItemName(std::move(name))
    {
    }
    // Applies a property of the form resource as text; false for a property
    // the item doesn't have.
    virtual bool ApplyProperty(const std::u16string& name, const std::u16string& value);
    // Whether the item lets the form continue.
    virtual bool AllowsContinue() const { return true; }

    std::u16string Name() const override { return ItemName; }
    bool TabStop() const override { return TabStopValue; }
    int32_t Spacing() const override { return SpacingValue; }
    // Held back by the Continue rule counts as disabled.
    bool Enabled() const override { return Usable(); }
    void SetEnabled(bool value) override { EnabledValue = value; }
    void SetFocus() override;
    // Enabled and not held back by the Continue rule.
    bool Usable() const { return EnabledValue && !ForceDisabled; }

    TNVForm* Owner;
    const TNVItemKind Kind;
    std::u16string ItemName;
    bool TabStopValue = true;
    bool EnabledValue = true;
    bool ForceDisabled = false;
    int32_t SpacingValue = 0;
    int32_t Index = 0;
    TNVRect Rect;
    uint8_t OutputTypeValue = 0;
    std::u16string OutputNameValue;
};

class TNVButton final : public TNVItem, public INVButton {
public:
    TNVButton(TNVForm& owner, std::u16string name, std::u16string caption);
    bool ApplyProperty(const std::u16string& name, const std::u16string& value) override;
    std::u16string Caption() const override { return CaptionValue.empty() ? ItemName : CaptionValue; }
    void SetCaption(const std::u16string& caption) override { CaptionValue = caption; }
    int32_t MinWidth() const override { return LeastWidth; }

    int32_t LeastWidth = 0;
    std::u16string CaptionValue;
    bool NoOwnerDraw = false;
    bool Invisible = false;
};

class TNVLabel final : public TNVItem, public INVLabel {
public:
    TNVLabel(TNVForm& owner, std::u16string name);
    bool ApplyProperty(const std::u16string& name, const std::u16string& value) override;
    std::u16string Caption() const override { return CaptionValue.empty() ? ItemName : CaptionValue; }
    void SetCaption(const std::u16string& caption) override { CaptionValue = caption; }

    std::u16string CaptionValue;
};

class TNVEdit final : public TNVItem, public INVEdit {
public:
    TNVEdit(TNVForm& owner, std::u16string name) : TNVItem(owner, TNVItemKind::Edit, std::move(name)) {}
    bool ApplyProperty(const std::u16string& name, const std::u16string& value) override;
    bool AllowsContinue() const override { return OptionalValue || (!NotValid && !TextValue.empty()); }
    int32_t Lines() const override { return LinesValue; }
    bool Optional() const override { return OptionalValue; }
    void SetOptional(bool value) override;
    std::u16string Text() const override { return TextValue; }
    void SetText(const std::u16string& text) override;
    bool Colored() const override { return !NotColored; }
    void SetColored(bool value) override { NotColored = !value; }
    bool Valid() const override { return !NotValid; }
    void SetValid(bool value) override;
    uint8_t OutputType() const override { return OutputTypeValue; }
    void SetOutputType(uint8_t value) override { OutputTypeValue = value == 1 && LinesValue > 1 ? 1 : 0; }
    std::u16string OutputName() const override { return OutputNameValue; }
    void SetOutputName(const std::u16string& name) override { OutputNameValue = name; }

    int32_t LinesValue = 1;
    bool OptionalValue = false;
    std::u16string TextValue;
    bool NotColored = true;
    bool NotValid = false;
};

class TNVCheckBox final : public TNVItem, public INVCheckBox {
public:
    TNVCheckBox(TNVForm& owner, std::u16string name) : TNVItem(owner, TNVItemKind::CheckBox, std::move(name)) {}
    bool ApplyProperty(const std::u16string& name, const std::u16string& value) override;
    std::u16string Caption() const override { return CaptionValue; }
    void SetCaption(const std::u16string& caption) override { CaptionValue = caption; }
    bool Checked() const override { return CheckedValue; }
    void SetChecked(bool value) override { CheckedValue = value; }
    std::u16string OutputName() const override { return OutputNameValue; }
    void SetOutputName(const std::u16string& name) override { OutputNameValue = name; }

    std::u16string CaptionValue;
    bool CheckedValue = false;
};

class TNVImage final : public TNVItem, public INVImage {
public:
    TNVImage(TNVForm& owner, std::u16string name) : TNVItem(owner, TNVItemKind::Image, std::move(name))
    {
        TabStopValue = false;
    }
    bool ApplyProperty(const std::u16string& name, const std::u16string& value) override;
    std::u16string File() const override { return FileValue; }
    std::shared_ptr<INVBitmap> Bitmap() const override { return BitmapValue; }
    void SetBitmap(std::shared_ptr<INVBitmap> bitmap) override { BitmapValue = std::move(bitmap); }
    bool Clickable() const override { return ClickableValue; }
    bool Border() const override { return BorderValue; }
    int32_t Width() const override { return WantedWidth; }
    int32_t Height() const override { return WantedHeight; }

    std::u16string FileValue;
    std::shared_ptr<INVBitmap> BitmapValue;
    bool ClickableValue = false;
    bool BorderValue = false;
    int32_t WantedWidth = 0; // 0: the bitmap's, else 32
    int32_t WantedHeight = 0;
};

// ---------------------------------------------------------------------------
// Forms and assistants

// An action handler: the form, the action, the item (nullptr for none) and
// the exception (nullptr for none).
using TNVActionHandler = std::function<void(INVForm& form, uint8_t action, INVItem* item, IZXException* exception)>;

// How a form is shown: returns when the form is closed (a presenter that
// returns with the form still open cancels it).
using TNVFormPresenter = std::function<void(TNVForm& form)>;

class INVForm {
public:
    virtual ~INVForm() = default;
    virtual INVWizard* Assistant() const = 0;
    virtual std::u16string Name() const = 0;
    virtual std::u16string Title() const = 0;
    virtual void SetTitle(const std::u16string& title) = 0;
    virtual std::u16string Message() const = 0;
    virtual void SetMessage(const std::u16string& message) = 0;
    virtual int32_t ItemCount() const = 0;
    virtual INVItem* Item(int32_t index) const = 0;
    virtual INVButton* ContinueButton() const = 0;
    virtual INVButton* SkipButton() const = 0;
    virtual INVButton* CancelButton() const = 0;
    virtual std::u16string ActiveControl() const = 0;
    virtual void SetActiveControl(const std::u16string& name) = 0;
    virtual int32_t TimerInterval() const = 0;
    virtual uint8_t Result() const = 0;
    virtual TNVActionHandler ActionHandler() const = 0;
    virtual void SetActionHandler(TNVActionHandler handler) = 0;
    virtual INVEdit* FindEdit(const std::u16string& name) const = 0;
    virtual INVLabel* FindLabel(const std::u16string& name) const = 0;
    virtual INVButton* FindButton(const std::u16string& name) const = 0;
    virtual INVCheckBox* FindCheckBox(const std::u16string& name) const = 0;
    virtual INVImage* FindImage(const std::u16string& name) const = 0;
    virtual void SkipForm() = 0;
    virtual uint8_t ShowForm(const TNVFormPresenter& presenter) = 0;
    virtual IZXException* Exception() const = 0;
    virtual void SetException(IZXException* exception) = 0;
    // Free for the handlers; lives as long as the form.
    virtual std::shared_ptr<void> UserData() const = 0;
    virtual void SetUserData(std::shared_ptr<void> data) = 0;
};

class TNVForm final : public INVForm {
public:
    // Builds the form from its resource data (empty, or not starting with
    // "TPF0": the three buttons only) and raises the built action. A value of
    // an unknown type ends the reading with a message (ReadMessage, which the
    // assistant shows); what was read stays.
    TNVForm(TNVAssistant* assistant, int32_t steps, int32_t step, IZXException* exception, const std::string& data,
            const std::u16string& title);
    TNVForm(const TNVForm&) = delete;
    TNVForm& operator=(const TNVForm&) = delete;

    // The message of the resource reading ("" when it went well).
    const std::string& ReadMessage() const { return ReadError; }

    INVWizard* Assistant() const override;
    std::u16string Name() const override { return FormName; }
    std::u16string Title() const override { return TitleText; }
    void SetTitle(const std::u16string& title) override { TitleText = title; }
    std::u16string Message() const override { return MessageText; }
    void SetMessage(const std::u16string& message) override { MessageText = message; }
    int32_t ItemCount() const override { return static_cast<int32_t>(Items.size()); }
    INVItem* Item(int32_t index) const override;
    INVButton* ContinueButton() const override { return Button(0); }
    INVButton* SkipButton() const override { return Button(1); }
    INVButton* CancelButton() const override { return Button(2); }
    std::u16string ActiveControl() const override { return ActiveName; }
    void SetActiveControl(const std::u16string& name) override { ActiveName = name; }
    int32_t TimerInterval() const override { return Timer; }
    uint8_t Result() const override { return ResultValue; }
    TNVActionHandler ActionHandler() const override { return Handler; }
    void SetActionHandler(TNVActionHandler handler) override { Handler = std::move(handler); }
    INVEdit* FindEdit(const std::u16string& name) const override;
    INVLabel* FindLabel(const std::u16string& name) const override;
    INVButton* FindButton(const std::u16string& name) const override;
    INVCheckBox* FindCheckBox(const std::u16string& name) const override;
    INVImage* FindImage(const std::u16string& name) const override;
    void SkipForm() override { SkipFlag = true; }
    uint8_t ShowForm(const TNVFormPresenter& presenter) override;
    IZXException* Exception() const override { return ExceptionIntf; }
    void SetException(IZXException* exception) override { ExceptionIntf = exception; }
    std::shared_ptr<void> UserData() const override { return Data; }
    void SetUserData(std::shared_ptr<void> data) override { Data = std::move(data); }

    // --- The model behind the window
    TNVButton* Button(int32_t index) const;
    TNVItem* ItemObject(int32_t index) const { return Items[static_cast<size_t>(index)].get(); }
    TNVItem* FindItem(const std::u16string& name) const;
    int32_t Step() const { return StepValue; }
    int32_t Steps() const { return StepsValue; }
    int32_t MinWidth() const { return LeastWidth; }
    // The Continue rule: Continue is held back while any item from index 3
    // on does not allow continuing.
    void UpdateContinue();
    void RaiseAction(uint8_t action, INVItem* item);

    // --- Events of a shown form (a presenter's calls)
    bool IsShown() const { return Shown; }
    TNVItem* Focused() const { return FocusIndex < 0 ? nullptr : ItemObject(FocusIndex); }
    void Focus(TNVItem* item);
    // A click on a button, check box or clickable image.
    void Click(const std::u16string& itemName);
    // The user typed the edit's new text.
    void TypeText(const std::u16string& editName, const std::u16string& text);
    void KeyEscape();
    void KeyTab(bool shift);
    void KeyEnter();
    void TimerTick();
    // The window's close.
    void CloseWindow();

private:
    friend class TNVAssistant;
    std::string ReadResource(const std::string& data);
    void ApplyFormProperty(const std::u16string& name, const std::u16string& value);
    void Append(std::shared_ptr<TNVItem> item);
    void EndWith(uint8_t result);
    int32_t NextFocusable(int32_t from, int32_t direction) const;

    TNVAssistant* AssistantObject;
    std::u16string FormName;
    std::u16string TitleText;
    std::u16string MessageText;
    int32_t StepValue = 1;
    int32_t StepsValue = 1;
    std::vector<std::shared_ptr<TNVItem>> Items;
    TNVActionHandler Handler;
    int32_t LeastWidth = 0;
    std::u16string ActiveName;
    int32_t Timer = 0;
    uint8_t ResultValue = 0;
    IZXException* ExceptionIntf = nullptr;
    std::shared_ptr<void> Data;
    bool SkipFlag = false;
    bool Shown = false;
    int32_t FocusIndex = -1;
    std::string ReadError;
};

class INVWizard {
public:
    virtual ~INVWizard() = default;
    virtual std::u16string Title() const = 0;
    // Sets every form's title too.
    virtual void SetTitle(const std::u16string& title) = 0;
    virtual int32_t FormCount() const = 0;
    virtual INVForm* Form(int32_t index) const = 0;
    // Case-insensitive; the last match wins.
    virtual INVForm* FormByName(const std::u16string& name) const = 0;
    virtual uint8_t Result() const = 0;
    virtual TNVActionHandler ActionHandler() const = 0;
    virtual void SetActionHandler(TNVActionHandler handler) = 0;
    // Shows the forms in order: Cancel ends with 3, otherwise 1 (a skipped
    // form counts as passed).
    virtual uint8_t ShowAssistant(const TNVFormPresenter& presenter) = 0;
    virtual IZXException* Exception() const = 0;
    virtual void SetException(IZXException* exception) = 0;
};

class TNVAssistant final : public INVWizard {
public:
    // One form per entry of the form data; a form's reading message is shown.
    TNVAssistant(const std::u16string& title, IZXException* exception, const std::vector<std::string>& formData);

    std::u16string Title() const override { return TitleText; }
    void SetTitle(const std::u16string& title) override;
    int32_t FormCount() const override { return static_cast<int32_t>(Forms.size()); }
    INVForm* Form(int32_t index) const override;
    INVForm* FormByName(const std::u16string& name) const override;
    uint8_t Result() const override { return ResultValue; }
    TNVActionHandler ActionHandler() const override { return Handler; }
    void SetActionHandler(TNVActionHandler handler) override { Handler = std::move(handler); }
    uint8_t ShowAssistant(const TNVFormPresenter& presenter) override;
    IZXException* Exception() const override { return ExceptionIntf; }
    void SetException(IZXException* exception) override { ExceptionIntf = exception; }

    TNVForm& FormObject(int32_t index) const { return *Forms[static_cast<size_t>(index)]; }
    // The form contents as the form cache sees them (refreshed on each
    // call), and the restored contents put back into the forms.
    TAssistantState* FormState();
    void ApplyFormState();
    // What the report gets.
    TAssistantResults Results() const;

private:
    std::u16string TitleText;
    std::vector<std::unique_ptr<TNVForm>> Forms;
    uint8_t ResultValue = 0;
    TNVActionHandler Handler;
    IZXException* ExceptionIntf = nullptr;
    TAssistantState State;
};

// Reads the forms' resources (RCDATA "TZX" + the name in upper case; a
// missing one gives an empty form) and builds the assistant.
std::shared_ptr<TNVAssistant> CreateAssistantFromResources(const std::u16string& title,
                                                           const std::vector<std::u16string>& formNames,
                                                           IZXException* exception);

// The built-in action handlers an "OnAction" may name (any other name leaves
// the form without handler).
TNVActionHandler FindBuiltInHandler(const std::u16string& name);

// ---------------------------------------------------------------------------
// Presenters

// The scripted driver: per form name, the steps a user takes.
struct TNVScriptStep {
    enum TKind : uint8_t { Click, Type, Escape, Tab, ShiftTab, Enter, Tick, Close };
    TKind Kind = Click;
    std::u16string Item;
    std::u16string Text;

    TNVScriptStep(TKind kind = Click, std::u16string item = {}, std::u16string text = {})
        : Kind(kind), Item(std::move(item)), Text(std::move(text))
    {
    }
};
struct TNVScript {
    std::u16string Form;
    std::vector<TNVScriptStep> Steps;
};
// Runs each shown form's script (the first unused script of that form's
// name); a form without a script, or whose script ends with it open, is
// cancelled. The forms shown are listed in order.
TNVFormPresenter ScriptedFormPresenter(std::vector<TNVScript> scripts,
                                       std::shared_ptr<std::vector<std::u16string>> shown = nullptr);

// zenity's forms, when zenity is installed and a display exists; an empty
// presenter otherwise.
TNVFormPresenter ZenityFormPresenter();

// The presenter the reporter uses for its assistants; empty: none. Tests
// set the scripted driver.
void SetAssistantPresenter(TNVFormPresenter presenter);
TNVFormPresenter AssistantPresenter();

// Runs the named assistant of the exception's settings with the reporter's
// presenter: -1 when there is no such assistant or no presenter, else its
// result (the results stored in the report on Continue, the form contents
// remembered in either case).
int32_t RunExceptionAssistant(TIZXException& exception, const std::u16string& name);

// Fills the assistant slots and the handlers' assistant runner.
void LinkAssistants();
