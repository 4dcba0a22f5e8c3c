#include "crashreport/assistants/zorNVAssistant.h"

#include <gtest/gtest.h>

#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_SettingsSource.h"
#include "crashreport/assistants/zorNVForms.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

namespace {

using TStep = TNVScriptStep;

std::string AssistantFormBlob(const char* name)
{
    return ReadResourceText(RT_RCDATA, Utf8ToWide(std::string("TZX") + name));
}

std::string FormFromSource(const std::string& source)
{
    std::string resource, error;
    EXPECT_TRUE(CompileFormSource(source, resource, error)) << error;
    return resource;
}

// The remembered contact values live in a folder of the test's own.
struct TAssistantStore {
    TTempFolder Folder;
    TEnvOverride Env;
    TAssistantStore() { Env.Set("XDG_CONFIG_HOME", Folder.Path() + "config"); }
};

} // namespace

TEST(ZorNVAssistant, TheProgramsFormsParse)
{
    TAssistantStore store;
    TNVForm contact(nullptr, 3, 1, nullptr, AssistantFormBlob("CONTACTFORM"), u"Send Assistant");
    EXPECT_EQ(contact.ReadMessage(), "");
    EXPECT_EQ(contact.Name(), u"ContactForm");
    EXPECT_EQ(contact.Message(), u"Contact Information");
    ASSERT_EQ(contact.ItemCount(), 8);
    EXPECT_EQ(contact.ContinueButton()->Caption(), u"Continue");
    EXPECT_FALSE(contact.Button(1)->EnabledValue) << "Skip is disabled";
    EXPECT_TRUE(contact.ActionHandler() != nullptr);
    const INVEdit* name = contact.FindEdit(u"NameEdit");
    const INVEdit* email = contact.FindEdit(u"EmailEdit");
    ASSERT_TRUE(name && email);
    EXPECT_TRUE(name->Optional());
    EXPECT_FALSE(email->Optional());
    EXPECT_EQ(email->OutputName(), u"contact email");
    EXPECT_EQ(email->OutputType(), 0);
    EXPECT_TRUE(email->Colored());
    EXPECT_EQ(contact.FindCheckBox(u"MemCheck")->Caption(), u"remember me");
    EXPECT_EQ(contact.FindEdit(u"MemCheck"), nullptr) << "found by name and kind";

    TNVForm details(nullptr, 3, 2, nullptr, AssistantFormBlob("DETAILSFORM"), u"");
    const INVEdit* memo = details.FindEdit(u"DetailsMemo");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->Lines(), 9);
    EXPECT_EQ(memo->OutputType(), 1);
    EXPECT_EQ(memo->OutputName(), u"error details");
    EXPECT_TRUE(details.Button(1)->EnabledValue) << "Skip is enabled";
    EXPECT_TRUE(details.ActionHandler() == nullptr);

    TNVForm shot(nullptr, 3, 3, nullptr, AssistantFormBlob("SCRSHOTFORM"), u"");
    EXPECT_EQ(shot.TimerInterval(), 250);
    EXPECT_EQ(shot.ActiveControl(), u"ContinueBtn");
    const INVImage* image = shot.FindImage(u"ScrShotImg");
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->Clickable());
    EXPECT_TRUE(image->Border());
    EXPECT_TRUE(shot.FindCheckBox(u"AttachCheck")->Checked());

    // No resource, or none of the format: the three buttons only.
    for (const std::string& data : {std::string(), std::string("not a form")}) {
        TNVForm empty(nullptr, 1, 1, nullptr, data, u"");
        EXPECT_EQ(empty.ItemCount(), 3);
        EXPECT_EQ(empty.ContinueButton()->Caption(), u"Next >");
    }
}

TEST(ZorNVAssistant, AnUnknownValueTypeStopsTheFormKeepingWhatWasRead)
{
    std::string blob = FormFromSource("object TZXTestForm TestForm\n"
                                      "  Message text \"Heading\"\n"
                                      "  object INVLabel First\n"
                                      "    Caption text \"one\"\n"
                                      "  end\n"
                                      "  object INVEdit Second\n"
                                      "    Lines int 3\n"
                                      "  end\n"
                                      "end\n");
    const size_t lines = blob.find("Lines");
    ASSERT_NE(lines, std::string::npos);
    blob[lines + 5] = '\x1e'; // the value type
    TNVForm form(nullptr, 1, 1, nullptr, blob, u"");
    EXPECT_EQ(form.ReadMessage(), "Internal error: Invalid assistant resource ($1e).");
    EXPECT_EQ(form.Message(), u"Heading");
    ASSERT_EQ(form.ItemCount(), 5);
    EXPECT_EQ(form.FindLabel(u"First")->Caption(), u"one");
    EXPECT_EQ(form.FindEdit(u"Second")->Lines(), 1);

    // Cut anywhere, the reading ends quietly.
    const std::string whole = AssistantFormBlob("CONTACTFORM");
    for (size_t cut = 0; cut < whole.size(); cut += 7) {
        TNVForm part(nullptr, 1, 1, nullptr, whole.substr(0, cut), u"");
        EXPECT_EQ(part.ReadMessage(), "") << cut;
        EXPECT_GE(part.ItemCount(), 3);
    }
}

TEST(ZorNVAssistant, FormSourceErrors)
{
    const struct {
        const char* Source;
        const char* Error;
    } cases[] = {
        {"object TZXA A\n", "the form has no end"},
        {"Message text \"x\"\n", "line 1: a property outside an object"},
        {"object TZXA A\nend\nend\n", "line 3: text after the form's end"},
        {"object TZXA\nend\n", "line 1: an object has a class and a name"},
        {"object TZXA A\n object INVLabel L\n end\n Message text \"x\"\nend\n",
         "line 4: a property after the object's children"},
        {"object TZXA A\n Lines int many\nend\n", "line 2: \"many\" is no number"},
    };
    for (const auto& c : cases) {
        std::string resource, error;
        EXPECT_FALSE(CompileFormSource(c.Source, resource, error)) << c.Source;
        EXPECT_EQ(error, c.Error) << c.Source;
    }
}

TEST(ZorNVAssistant, ContinueWaitsForAValidAddress)
{
    TAssistantStore store;
    TNVForm form(nullptr, 1, 1, nullptr, AssistantFormBlob("CONTACTFORM"), u"");
    form.ShowForm([](TNVForm& shown) {
        EXPECT_FALSE(shown.ContinueButton()->Enabled());
        shown.TypeText(u"NameEdit", u"Ann");
        EXPECT_FALSE(shown.ContinueButton()->Enabled()) << "the name is optional, the address not";
        shown.TypeText(u"EmailEdit", u"ann@");
        EXPECT_FALSE(shown.ContinueButton()->Enabled());
        shown.Click(u"ContinueBtn");
        EXPECT_TRUE(shown.IsShown()) << "a held-back Continue can't be pressed";
        shown.TypeText(u"EmailEdit", u"ann@host.example");
        EXPECT_TRUE(shown.ContinueButton()->Enabled());
        shown.Click(u"ContinueBtn");
    });
    EXPECT_EQ(form.Result(), NVResultContinue);
}

TEST(ZorNVAssistant, ScriptedRuns)
{
    TAssistantStore store;
    const std::vector<std::string> blobs = {AssistantFormBlob("CONTACTFORM"), AssistantFormBlob("DETAILSFORM"),
                                            AssistantFormBlob("SCRSHOTFORM")};
    struct TCase {
        const char* Name;
        std::vector<TNVScript> Scripts;
        uint8_t Result;
        std::vector<std::u16string> Shown;
    };
    const TCase cases[] = {
        {"cancel on the first form",
         {{u"ContactForm", {{TStep::Click, u"CancelBtn"}}}},
         NVResultCancel,
         {u"ContactForm"}},
        {"escape cancels", {{u"ContactForm", {{TStep::Escape}}}}, NVResultCancel, {u"ContactForm"}},
        {"skip on the details form goes on",
         {{u"ContactForm", {{TStep::Type, u"EmailEdit", u"a@b.c"}, {TStep::Click, u"ContinueBtn"}}},
          {u"DetailsForm", {{TStep::Click, u"SkipBtn"}}},
          {u"ScrShotForm", {{TStep::Enter}}}},
         NVResultContinue,
         {u"ContactForm", u"DetailsForm", u"ScrShotForm"}},
        {"skip where it is disabled does nothing",
         {{u"ContactForm", {{TStep::Click, u"SkipBtn"}}}},
         NVResultCancel,
         {u"ContactForm"}},
        {"tab and enter",
         {{u"ContactForm",
           {{TStep::Tab}, {TStep::Type, u"EmailEdit", u"a@b.c"}, {TStep::Tab}, {TStep::Tab}, {TStep::Enter}}},
          {u"DetailsForm", {{TStep::Type, u"DetailsMemo", u"x"}, {TStep::ShiftTab}, {TStep::ShiftTab}, {TStep::Enter}}},
          {u"ScrShotForm", {{TStep::Click, u"ContinueBtn"}}}},
         NVResultContinue,
         {u"ContactForm", u"DetailsForm", u"ScrShotForm"}},
    };
    for (const TCase& c : cases) {
        TNVAssistant assistant(u"Send Assistant", nullptr, blobs);
        auto shown = std::make_shared<std::vector<std::u16string>>();
        EXPECT_EQ(assistant.ShowAssistant(ScriptedFormPresenter(c.Scripts, shown)), c.Result) << c.Name;
        EXPECT_EQ(*shown, c.Shown) << c.Name;
    }

    // Escape with Cancel disabled does nothing.
    TNVForm form(nullptr, 1, 1, nullptr, AssistantFormBlob("DETAILSFORM"), u"");
    form.Button(2)->SetEnabled(false);
    form.ShowForm([](TNVForm& shown) {
        shown.KeyEscape();
        EXPECT_TRUE(shown.IsShown());
        shown.Click(u"SkipBtn");
    });
    EXPECT_EQ(form.Result(), NVResultSkip);
}

TEST(ZorNVAssistant, FocusRingSkipsWhatCannotTakeIt)
{
    TAssistantStore store;
    TNVForm form(nullptr, 1, 1, nullptr, AssistantFormBlob("CONTACTFORM"), u"");
    std::vector<std::u16string> ring;
    form.ShowForm([&](TNVForm& shown) {
        for (int i = 0; i < 6; ++i) {
            ring.push_back(shown.Focused() ? shown.Focused()->ItemName : u"-");
            shown.KeyTab(false);
        }
        shown.KeyTab(true);
        ring.push_back(shown.Focused()->ItemName);
    });
    // Continue is held back and Skip disabled; labels take no focus.
    EXPECT_EQ(ring, (std::vector<std::u16string>{u"NameEdit", u"EmailEdit", u"MemCheck", u"CancelBtn", u"NameEdit",
                                                 u"EmailEdit", u"EmailEdit"}));
}

TEST(ZorNVAssistant, FormContentsRoundTripThroughTheCache)
{
    TAssistantStore store;
    TSettingsModule module(GameSettingsResource());
    std::shared_ptr<TIZXSettings> settings = module.Settings();
    const std::vector<std::string> blobs = {AssistantFormBlob("CONTACTFORM"), AssistantFormBlob("DETAILSFORM")};

    TNVAssistant first(u"Save Assistant", nullptr, blobs);
    first.ShowAssistant(ScriptedFormPresenter(
        {{u"ContactForm",
          {{TStep::Type, u"NameEdit", u"Ann"},
           {TStep::Type, u"EmailEdit", u"ann@b.c"},
           {TStep::Click, u"ContinueBtn"}}},
         {u"DetailsForm", {{TStep::Type, u"DetailsMemo", u"it broke"}, {TStep::Click, u"ContinueBtn"}}}}));
    settings->StoreFormContents(*first.FormState());

    TNVAssistant second(u"Save Assistant", nullptr, blobs);
    settings->RestoreFormContents(*second.FormState());
    second.ApplyFormState();
    EXPECT_EQ(second.FormObject(0).FindEdit(u"NameEdit")->Text(), u"Ann");
    EXPECT_EQ(second.FormObject(0).FindEdit(u"EmailEdit")->Text(), u"ann@b.c");
    EXPECT_EQ(second.FormObject(1).FindEdit(u"DetailsMemo")->Text(), u"it broke");
    EXPECT_EQ(second.FormObject(0).ActiveControl(), u"ContinueBtn");
    EXPECT_EQ(second.FormObject(1).ActiveControl(), u"ContinueBtn");
    second.FormObject(1).ShowForm([](TNVForm& shown) {
        EXPECT_EQ(shown.Focused()->ItemName, u"ContinueBtn");
        shown.KeyEnter();
    });
    EXPECT_EQ(second.FormObject(1).Result(), NVResultContinue);
}

TEST(ZorNVAssistant, TheScriptedSendAssistantFillsTheReport)
{
    TAssistantStore store;
    TSlotsGuard slots;
    TSettingsModule module(GameSettingsResource());
    std::shared_ptr<TIZXException> exception;
    // Without a report wanted, the lists never take the results; the
    // settings they feed still do.
    for (const bool wantReport : {false, true}) {
        exception = TIZXException::Create(ModuleSettings(module.Handle));
        exception->SetWantReport(wantReport);
        LinkHandlers();
        LinkAssistants();
        SetAssistantPresenter(ScriptedFormPresenter(
            {{u"ContactForm",
              {{TStep::Type, u"NameEdit", u"Ann Lee"},
               {TStep::Type, u"EmailEdit", u"ann@b.c"},
               {TStep::Click, u"ContinueBtn"}}},
             {u"DetailsForm",
              {{TStep::Type, u"DetailsMemo", u"line one\r\nline two"}, {TStep::Click, u"ContinueBtn"}}}}));
        bool handled = false;
        NotifyHandlers(1, ZorHandlerAction, ZorActionSend, handled, *exception);
        SetAssistantPresenter(nullptr);
        SetAssistantRunner(nullptr);
        EXPECT_FALSE(handled);
        EXPECT_EQ(exception->HeaderFields()->FieldContent(u"contact email"), wantReport ? u"ann@b.c" : u"")
            << wantReport;
        EXPECT_EQ(exception->HeaderFields()->FieldContent(u"contact name"), wantReport ? u"Ann Lee" : u"");
        EXPECT_EQ(exception->SectionFields()->FieldContent(u"error details"),
                  wantReport ? u"line one\r\nline two" : u"")
            << wantReport;
        EXPECT_EQ(exception->ReadSettingText("MailFrom"), u"Ann Lee <ann@b.c>");
    }

    // Cancelled: the send is handled, nothing more happens.
    SetAssistantRunner(nullptr);
    LinkAssistants();
    SetAssistantPresenter(ScriptedFormPresenter({{u"ContactForm", {{TStep::Click, u"CancelBtn"}}}}));
    bool handled = false;
    NotifyHandlers(1, ZorHandlerAction, ZorActionSend, handled, *exception);
    SetAssistantPresenter(nullptr);
    SetAssistantRunner(nullptr);
    EXPECT_TRUE(handled);
}
