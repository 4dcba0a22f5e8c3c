#include "crashreport/assistants/zorNVForms.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include "crashreport/assistants/zorNVLayout.h"
#include "crashreport/core/zorExcept_Box.h"
#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_SettingsSource.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

namespace {

using TFormStep = TNVScriptStep;

std::string FormBlobNamed(const char* name)
{
    return ReadResourceText(RT_RCDATA, Utf8ToWide(std::string("TZX") + name));
}

// A failure with the game's settings whose stored values and temporary
// folder are the test's own.
struct TFormsFailure {
    TFormsFailure()
    {
        Env.Set("XDG_CONFIG_HOME", Folder.Path() + "config");
        Env.Set("XDG_RUNTIME_DIR", Folder.Path() + "run");
        mkdir((Folder.Path() + "run").c_str(), 0700);
    }
    TTempFolder Folder;
    TEnvOverride Env;
    TSlotsGuard Slots;
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<TIZXException> Exception = TIZXException::Create(ModuleSettings(Module.Handle));
};

// Runs the contact form with the steps; the form is returned for a look.
uint8_t RunContact(IZXException* exception, const std::vector<TFormStep>& steps, std::u16string* focused = nullptr)
{
    TNVForm form(nullptr, 1, 1, exception, FormBlobNamed("CONTACTFORM"), u"");
    if (focused != nullptr)
        form.ShowForm([&](TNVForm& shown) {
            *focused = shown.Focused() ? shown.Focused()->ItemName : u"";
            ScriptedFormPresenter({{u"ContactForm", steps}})(shown);
        });
    else
        form.ShowForm(ScriptedFormPresenter({{u"ContactForm", steps}}));
    return form.Result();
}

std::shared_ptr<TINVBitmap> Plain(int32_t width, int32_t height, uint32_t rgb)
{
    auto bitmap = std::make_shared<TINVBitmap>(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            bitmap->SetPixel(x, y, rgb);
    return bitmap;
}

} // namespace

TEST(ZorNVForms, MailAddresses)
{
    const struct {
        const char16_t* Text;
        bool Valid;
    } cases[] = {
        {u"a.b+c'd_e-f@host.example", true},
        {u"x@y.z", true},
        {u"@x.y", false},
        {u"a@.b", false},
        {u".a@b.c", false},
        {u"a@b.c.", false},
        {u"a b@c.d", false},
        {u"a@b@c.d", false},
        {u"a@bc", false},
        {u"a@b.c ", false},
        {u"", false},
        {u" a@b.c", false},
        {u"a@b.c\r\n", false},
        {u"a\u00e9@b.c", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidMailAddress(c.Text), c.Valid) << WideToUtf8(c.Text);
}

TEST(ZorNVForms, RememberedContactAndTheSender)
{
    TFormsFailure f;
    const std::u16string key = u"Software\\Varnel\\ContactForm";
    // Continue with "remember me": stored.
    EXPECT_EQ(RunContact(f.Exception.get(), {{TFormStep::Type, u"NameEdit", u"Ann Lee"},
                                             {TFormStep::Type, u"EmailEdit", u"ann@b.c"},
                                             {TFormStep::Click, u"MemCheck"},
                                             {TFormStep::Click, u"ContinueBtn"}}),
              NVResultContinue);
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"RememberName"), u"Ann Lee");
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"RememberEmail"), u"ann@b.c");
    EXPECT_EQ(f.Exception->ReadSettingText("MailFrom"), u"Ann Lee <ann@b.c>");

    // The next run: prefilled, checked, Continue focused; unchecked deletes.
    std::u16string focused;
    TNVForm next(nullptr, 1, 1, nullptr, FormBlobNamed("CONTACTFORM"), u"");
    EXPECT_EQ(next.FindEdit(u"NameEdit")->Text(), u"Ann Lee");
    EXPECT_TRUE(next.FindCheckBox(u"MemCheck")->Checked());
    EXPECT_EQ(RunContact(nullptr, {{TFormStep::Click, u"MemCheck"}, {TFormStep::Click, u"ContinueBtn"}}, &focused),
              NVResultContinue);
    EXPECT_EQ(focused, u"ContinueBtn");
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"RememberName"), u"");
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"RememberEmail"), u"");

    // The sender: the bare address; both empty leaves it; a cancel writes
    // nothing; line breaks never reach it.
    const struct {
        const char16_t* Name;
        const char16_t* Before;
        const char16_t* After;
        bool Cancel;
    } senders[] = {
        {u"", u"old", u"x@y.z", false},
        {u"Eve\r\nBcc: all", u"old", u"EveBcc: all <x@y.z>", false},
        {u"Bob", u"old", u"old", true},
    };
    for (const auto& c : senders) {
        f.Exception->WriteSettingText("MailFrom", c.Before);
        RunContact(f.Exception.get(), {{TFormStep::Type, u"NameEdit", c.Name},
                                       {TFormStep::Type, u"EmailEdit", u"x@y.z"},
                                       {TFormStep::Click, c.Cancel ? u"CancelBtn" : u"ContinueBtn"}});
        EXPECT_EQ(f.Exception->ReadSettingText("MailFrom"), c.After) << WideToUtf8(c.Name);
    }
}

TEST(ZorNVForms, EditedScreenshotReplacesThePreview)
{
    TFormsFailure f;
    f.Exception->SetScreenImage(Plain(4, 3, 0x112233));
    f.Exception->SetAttachScreenImage(true);
    std::vector<std::string> opened;
    TShellOpenHook saved = ShellOpenHook();
    ShellOpenHook() = [&](const std::string& path) {
        opened.push_back(path);
        return -1;
    };
    const std::u16string file = ScreenshotFileName(f.Exception.get());
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.find(u"/screenShot-"), file.rfind(u'/'));
    TNVForm form(nullptr, 1, 1, f.Exception.get(), FormBlobNamed("SCRSHOTFORM"), u"");
    INVImage* image = form.FindImage(u"ScrShotImg");
    ASSERT_NE(image->Bitmap(), nullptr);
    EXPECT_EQ(image->Bitmap()->PixelWidth(), 4);
    form.ShowForm([&](TNVForm& shown) {
        shown.TimerTick(); // nothing edited yet
        EXPECT_EQ(image->Bitmap()->PixelWidth(), 4);
        shown.Click(u"ScrShotImg");
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0], WideToUtf8(file));
        // The editor saves another picture; the next tick takes it.
        ASSERT_TRUE(Plain(6, 5, 0x445566)->WriteBmpFile(file));
        shown.TimerTick();
        EXPECT_EQ(image->Bitmap()->PixelWidth(), 6);
        EXPECT_EQ(f.Exception->ScreenImage()->PixelWidth(), 6);
        shown.TimerTick(); // unchanged: nothing read again
        shown.Click(u"AttachCheck");
        shown.Click(u"ContinueBtn");
    });
    ShellOpenHook() = saved;
    EXPECT_FALSE(f.Exception->AttachScreenImage());
    struct stat info {};
    EXPECT_NE(stat(WideToUtf8(file).c_str(), &info), 0) << "the edited file goes with the form";
}

TEST(ZorNVForms, WriteStampIsTheDosDateAndTime)
{
    TTempFolder folder;
    const std::string path = folder.WriteFile("a.bmp", "x");
    tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 9;
    when.tm_hour = 13;
    when.tm_min = 45;
    when.tm_sec = 31;
    when.tm_isdst = -1;
    const utimbuf times{mktime(&when), mktime(&when)};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
    EXPECT_EQ(FileWriteStamp(Utf8ToWide(path)), ((44u << 9 | 3u << 5 | 9u) << 16) | (13u << 11 | 45u << 5 | 15u));
    EXPECT_EQ(FileWriteStamp(Utf8ToWide(folder.Path() + "missing.bmp")), 0u);
}

namespace {

// Every text is 6 pixels a character and 13 high; wrapped texts take as
// many lines as the width needs.
TNVTextSize FixedMeasure(TNVFont, const std::u16string& text, int32_t wrap)
{
    const int32_t width = static_cast<int32_t>(text.size()) * 6;
    if (wrap <= 0 || width <= wrap)
        return {width, 13};
    return {wrap, 13 * ((width + wrap - 1) / wrap)};
}

} // namespace

TEST(ZorNVLayout, WidthsGapsAndImages)
{
    TFormsFailure f;
    TNVForm contact(nullptr, 1, 1, nullptr, FormBlobNamed("CONTACTFORM"), u"");
    contact.SetMessage(u"Hi");
    const TNVFormLayout layout = LayoutForm(contact, FixedMeasure);
    EXPECT_EQ(layout.Width, 315);
    EXPECT_EQ(layout.GapsAfter, (std::vector<int32_t>{4, 8, 4, 12, 0}));
    EXPECT_EQ(layout.Navigation[0].Left, 8);
    EXPECT_EQ(layout.Navigation[1].Left, 8 + 85 + 8);
    EXPECT_EQ(layout.Navigation[2].Right, 315 - 8);
    EXPECT_EQ(layout.Navigation[0].Bottom, layout.Height - 9);
    // Edits: "Gg" high plus 2, inside a 2-pixel frame, 2 pixels in.
    EXPECT_EQ(layout.ItemRects[1].Bottom - layout.ItemRects[1].Top, 13 + 2 + 4);
    // The first label moved up by 2 from y = 40.
    EXPECT_EQ(layout.ItemRects[0].Top, 38);

    // A long message widens the form; a wrapping "head" label is none.
    contact.SetMessage(std::u16string(60, u'm'));
    EXPECT_EQ(LayoutForm(contact, FixedMeasure).Width, 60 * 6 + 19 + 36);
    contact.FindLabel(u"Label1")->SetCaption(std::u16string(80, u'w') + u":");
    EXPECT_EQ(LayoutForm(contact, FixedMeasure).GapsAfter[0], 12);

    TNVForm shot(nullptr, 1, 1, nullptr, FormBlobNamed("SCRSHOTFORM"), u"");
    const TNVFormLayout pictured = LayoutForm(shot, FixedMeasure);
    const TNVRect& image = pictured.ItemRects[1];
    EXPECT_EQ(image.Right - image.Left, 32 + 8);
    EXPECT_EQ(image.Bottom - image.Top, 32 + 8);

    // Buttons: drawn short captions 85 wide, long ones caption + 20; plain
    // ones at least 75; invisible ones -8.
    TNVButton& next = *shot.Button(0);
    EXPECT_EQ(NavigationButtonSize(next, FixedMeasure).Width, 85);
    next.SetCaption(std::u16string(20, u'c'));
    EXPECT_EQ(NavigationButtonSize(next, FixedMeasure).Width, 140);
    next.NoOwnerDraw = true;
    EXPECT_EQ(NavigationButtonSize(next, FixedMeasure).Height, 23);
    next.SetCaption(u"OK");
    EXPECT_EQ(NavigationButtonSize(next, FixedMeasure).Width, 75);
    next.Invisible = true;
    EXPECT_EQ(NavigationButtonSize(next, FixedMeasure).Width, -8);
}

// An edit is "Gg" high per line, plus 2, inside its frame; the line count is
// the resource's and may be anything: an edit never grows past the screen.
TEST(ZorNVLayout, EditHeightFollowsItsLinesUpToTheScreen)
{
    struct Row {
        const char* lines;
        int32_t height; // of the item's rectangle, the frame included
    } rows[] = {
        {"3", 13 * 3 + 2 + 4},   {"0", 13 + 2 + 4}, {"-7", 13 + 2 + 4},
        {"58", 13 * 58 + 2 + 4}, {"60", 768 + 4},   {"2147483647", 768 + 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lines);
        std::string resource, error;
        ASSERT_TRUE(CompileFormSource(std::string("object TZXTestForm TestForm\n"
                                                  "  object INVEdit Memo\n"
                                                  "    Lines int ") +
                                          row.lines + "\n  end\nend\n",
                                      resource, error))
            << error;
        TNVForm form(nullptr, 1, 1, nullptr, resource, u"");
        const TNVFormLayout layout = LayoutForm(form, FixedMeasure);
        ASSERT_EQ(layout.ItemRects.size(), 1u);
        EXPECT_EQ(layout.ItemRects[0].Bottom - layout.ItemRects[0].Top, row.height);
        EXPECT_GT(layout.Height, row.height);
    }
}
