// zorNV contact and screenshot forms.
#include "crashreport/assistants/zorNVForms.h"

#include <algorithm>
#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "crashreport/core/zorExcept_Box.h"
#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

const std::u16string ContactKey = u"Software\\Varnel\\ContactForm";

// Texts that end up in mail headers carry no line breaks.
std::u16string WithoutBreaks(std::u16string text)
{
    std::erase_if(text, [](char16_t c) { return c == u'\r' || c == u'\n'; });
    return text;
}

// The screenshot being edited: the file's stamp when last read, and the
// editor started for it.
struct TScreenshotEdit {
    // The full stamp (time to the nanosecond and size): the DOS stamp counts
    // in two-second steps and would miss a quick second save.
    struct TStamp {
        int64_t Seconds = 0;
        int64_t Nanoseconds = 0;
        int64_t Size = -1;
        bool operator==(const TStamp&) const = default;
    };
    TStamp Stamp;
    int Process = -1;
};

TScreenshotEdit::TStamp FullStamp(const std::u16string& fileName)
{
    TScreenshotEdit::TStamp stamp;
    struct stat info {};
    if (stat(WideToUtf8(fileName).c_str(), &info) != 0)
        return stamp;
    stamp.Seconds = info.st_mtim.tv_sec;
    stamp.Nanoseconds = info.st_mtim.tv_nsec;
    stamp.Size = info.st_size;
    return stamp;
}

// Whether the editor has ended (its process is then reaped).
bool ProcessEnded(int process)
{
    return process <= 0 || waitpid(process, nullptr, WNOHANG) != 0;
}

bool IsItem(INVItem* item, const std::u16string& name)
{
    return item != nullptr && item->Name() == name;
}

} // namespace

bool IsValidMailAddress(const std::u16string& text)
{
    if (text.empty() || text.front() <= u' ' || text.back() <= u' ')
        return false;
    const size_t at = text.find(u'@');
    if (at == std::u16string::npos || at == 0)
        return false;
    if (text.find(u'.', at) == std::u16string::npos)
        return false;
    const size_t lastAt = text.rfind(u'@');
    if (text.front() == u'.' || text.back() == u'.' || (lastAt + 1 < text.size() && text[lastAt + 1] == u'.'))
        return false;
    std::u16string rest;
    for (char16_t c : text) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                           c == u'\'' || c == u'+' || c == u'-' || c == u'_' || c == u'.';
        if (!plain)
            rest.push_back(c);
    }
    return rest == u"@";
}

void HandleContactForm(INVForm& form, uint8_t action, INVItem* item, IZXException* exception)
{
    INVEdit* name = form.FindEdit(u"NameEdit");
    INVEdit* email = form.FindEdit(u"EmailEdit");
    INVCheckBox* remember = form.FindCheckBox(u"MemCheck");
    switch (action) {
    case NVActionBuilt: {
        const std::u16string storedName = RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberName");
        const std::u16string storedEmail = RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberEmail");
        if (storedName.empty() && storedEmail.empty())
            return;
        if (name != nullptr)
            name->SetText(storedName);
        if (email != nullptr)
            email->SetText(storedEmail);
        if (remember != nullptr)
            remember->SetChecked(true);
        if (form.ContinueButton()->Enabled())
            form.SetActiveControl(form.ContinueButton()->Name());
        return;
    }
    case NVActionClosed: {
        if (form.Result() != NVResultContinue)
            return;
        const std::u16string nameText = name != nullptr ? name->Text() : u"";
        const std::u16string emailText = email != nullptr ? email->Text() : u"";
        if (remember != nullptr) {
            if (remember->Checked()) {
                RegistryWriteText(HKEY_CURRENT_USER, ContactKey, u"RememberName", nameText);
                RegistryWriteText(HKEY_CURRENT_USER, ContactKey, u"RememberEmail", emailText);
            } else {
                RegistryDeleteValue(HKEY_CURRENT_USER, ContactKey, u"RememberName");
                RegistryDeleteValue(HKEY_CURRENT_USER, ContactKey, u"RememberEmail");
            }
        }
        if (exception == nullptr)
            return;
        const std::u16string sender = WithoutBreaks(nameText);
        const std::u16string address = WithoutBreaks(emailText);
        if (!sender.empty())
            exception->WriteSettingText("MailFrom", sender + u" <" + address + u">");
        else if (!address.empty())
            exception->WriteSettingText("MailFrom", address);
        return;
    }
    case NVActionItem:
        if (email != nullptr && IsItem(item, u"EmailEdit"))
            email->SetValid(IsValidMailAddress(email->Text()));
        return;
    default:
        return;
    }
}

void HandleScreenshotForm(INVForm& form, uint8_t action, INVItem* item, IZXException* exception)
{
    if (exception == nullptr)
        return;
    INVImage* image = form.FindImage(u"ScrShotImg");
    INVCheckBox* attach = form.FindCheckBox(u"AttachCheck");
    auto edit = std::static_pointer_cast<TScreenshotEdit>(form.UserData());
    switch (action) {
    case NVActionBuilt:
        if (image != nullptr)
            image->SetBitmap(exception->ScreenImage());
        if (attach != nullptr)
            attach->SetChecked(exception->AttachScreenImage());
        return;
    case NVActionClosed:
        if (edit) {
            form.SetUserData(nullptr);
            // The editor is left running; only its zombie is not kept.
            ProcessEnded(edit->Process);
            const std::u16string file = ScreenshotFileName(exception);
            if (!file.empty())
                unlink(WideToUtf8(file).c_str());
        }
        if (attach != nullptr)
            exception->SetAttachScreenImage(attach->Checked());
        return;
    case NVActionItem:
        break;
    default:
        return;
    }
    const std::u16string file = ScreenshotFileName(exception);
    if (file.empty())
        return;
    if (item != nullptr) {
        auto* clicked = dynamic_cast<INVImage*>(item);
        if (clicked == nullptr || !clicked->Bitmap())
            return;
        if (!edit) {
            const std::shared_ptr<INVBitmap> screen = exception->ScreenImage();
            // A failed save leaves no edit state: a later click tries again.
            if (!screen || !screen->WriteBmpFile(file))
                return;
            edit = std::make_shared<TScreenshotEdit>();
            edit->Stamp = FullStamp(file);
            form.SetUserData(edit);
        } else if (edit->Process > 0 && ProcessEnded(edit->Process)) {
            edit->Process = -1;
        }
        if (edit->Process <= 0) {
            const TShellOpenHook open = ShellOpenHook();
            edit->Process = open ? open(WideToUtf8(file)) : -1;
        }
        return;
    }
    // The form's timer: the edited file saved again replaces the screenshot.
    if (!edit)
        return;
    const TScreenshotEdit::TStamp stamp = FullStamp(file);
    if (stamp == edit->Stamp)
        return;
    const std::shared_ptr<INVBitmap> bitmap = LoadBitmapFile(file);
    if (!bitmap)
        return;
    edit->Stamp = stamp;
    exception->SetScreenImage(bitmap);
    if (image != nullptr)
        image->SetBitmap(exception->ScreenImage());
}

std::u16string ScreenshotFileName(const IZXException* exception)
{
    const std::u16string folder = ReporterTempFolder();
    if (folder.empty())
        return u"";
    const uintptr_t failure = reinterpret_cast<uintptr_t>(exception);
    return folder + u"screenShot-" + Utf8ToWide(std::to_string(getpid()) + "-" + std::to_string(failure)) + u".bmp";
}

uint32_t FileWriteStamp(const std::u16string& fileName)
{
    struct stat info {};
    if (stat(WideToUtf8(fileName).c_str(), &info) != 0)
        return 0;
    tm local{};
    const time_t when = info.st_mtim.tv_sec;
    if (localtime_r(&when, &local) == nullptr || local.tm_year < 80)
        return 0;
    const uint32_t date =
        static_cast<uint32_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    const uint32_t time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return date << 16 | time;
}
