// zorExcept fields and attachments: the two lists and their write-back.
#include "crashreport/core/zorExcept_Fields.h"

#include <algorithm>

#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

// Room for one more: 16 places at first, then half as many again.
template <class T> void MakeRoom(std::vector<T>& items)
{
    if (items.size() < items.capacity())
        return;
    items.reserve(items.capacity() < 16 ? 16 : items.capacity() * 3 / 2);
}

// Writes a list into its settings owner's key, items joined by "|". The
// owner is held while it is written: it may go at any time otherwise.
template <class T, class F>
void WriteKeyBack(std::mutex& parentLock, const std::weak_ptr<TIZXSettings>& parent, std::string_view key,
                  const std::vector<T>& items, F&& format)
{
    std::shared_ptr<TIZXSettings> settings;
    {
        std::lock_guard guard(parentLock);
        settings = parent.lock();
    }
    if (!settings)
        return;
    std::u16string text;
    for (const T& item : items) {
        if (!text.empty())
            text += u'|';
        text += format(item);
    }
    settings->WriteSettingText(key, text);
}

} // namespace

// ---------------------------------------------------------------------------
// Fields

std::shared_ptr<TIZXFields> TIZXFields::CreateOpen()
{
    auto fields = std::make_shared<TIZXFields>();
    fields->AllowChanges();
    return fields;
}

void TIZXFields::LockFields()
{
    std::shared_ptr<TIZXException> exception;
    {
        std::lock_guard guard(ParentLock);
        exception = ExceptionParent.lock();
    }
    if (exception)
        exception->HoldNotifications();
    Lock.lock();
}

void TIZXFields::UnlockFields()
{
    Lock.unlock();
    std::shared_ptr<TIZXException> exception;
    {
        std::lock_guard guard(ParentLock);
        exception = ExceptionParent.lock();
    }
    if (exception)
        exception->ReleaseNotifications();
}

int32_t TIZXFields::FieldCount() const
{
    std::lock_guard guard(Lock);
    return static_cast<int32_t>(Items.size());
}

std::u16string TIZXFields::FieldNameAt(int32_t index) const
{
    std::lock_guard guard(Lock);
    if (index < 0 || index >= static_cast<int32_t>(Items.size()))
        return u"";
    return Items[index].Name;
}

void TIZXFields::RenameFieldAt(int32_t index, const std::u16string& name)
{
    {
        std::lock_guard guard(Lock);
        if (index < 0 || index >= static_cast<int32_t>(Items.size()) || Items[index].Name == name)
            return;
        Items[index].Name = name;
        WriteBackLocked();
    }
    TellException();
}

int32_t TIZXFields::IndexOfLocked(const std::u16string& name) const
{
    for (size_t i = 0; i < Items.size(); ++i)
        if (SameTextW(Items[i].Name, name))
            return static_cast<int32_t>(i);
    return -1;
}

int32_t TIZXFields::IndexOfField(const std::u16string& name) const
{
    std::lock_guard guard(Lock);
    return IndexOfLocked(name);
}

std::u16string TIZXFields::FieldContent(const std::u16string& name) const
{
    std::lock_guard guard(Lock);
    const int32_t index = IndexOfLocked(name);
    return index < 0 ? u"" : Items[index].Content;
}

void TIZXFields::PutField(const std::u16string& name, const std::u16string& content)
{
    const std::u16string trimmed = TrimCopyW(content);
    {
        std::lock_guard guard(Lock);
        if (!ChangesAllowed)
            return;
        if (trimmed.empty()) {
            if (!RemoveLocked(IndexOfLocked(name)))
                return;
        } else if (const int32_t index = IndexOfLocked(name); index < 0) {
            InsertLocked(InsertAt >= 1 ? InsertAt : static_cast<int32_t>(Items.size()), name, trimmed);
        } else {
            TFieldPair& field = Items[index];
            if (field.Content == trimmed && field.Name == name)
                return;
            field.Name = name;
            field.Content = trimmed;
        }
        WriteBackLocked();
    }
    TellException();
}

void TIZXFields::StoreField(const std::u16string& name, const std::u16string& content)
{
    PutField(name, content);
}

bool TIZXFields::InsertLocked(int32_t index, const std::u16string& name, const std::u16string& content)
{
    index = std::clamp(index, 0, static_cast<int32_t>(Items.size()));
    if (const int32_t present = IndexOfLocked(name); present >= 0) {
        if (present == index && Items[present].Content == content)
            return false;
        RemoveLocked(present);
        if (present < index)
            --index;
    }
    MakeRoom(Items);
    Items.insert(Items.begin() + index, TFieldPair{name, content});
    if (InsertAt >= 1 && InsertAt >= index)
        ++InsertAt;
    return true;
}

void TIZXFields::InsertFieldAt(int32_t index, const std::u16string& name, const std::u16string& content)
{
    const std::u16string trimmed = TrimCopyW(content);
    {
        std::lock_guard guard(Lock);
        // A move is one change: the field is never seen missing.
        if (trimmed.empty() || !ChangesAllowed || !InsertLocked(index, name, trimmed))
            return;
        WriteBackLocked();
    }
    TellException();
}

bool TIZXFields::RemoveLocked(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(Items.size()))
        return false;
    Items.erase(Items.begin() + index);
    if (InsertAt >= 1 && InsertAt > index)
        --InsertAt;
    return true;
}

void TIZXFields::RemoveFieldAt(int32_t index)
{
    {
        std::lock_guard guard(Lock);
        if (!RemoveLocked(index))
            return;
        WriteBackLocked();
    }
    TellException();
}

void TIZXFields::RemoveField(const std::u16string& name)
{
    {
        std::lock_guard guard(Lock);
        if (!RemoveLocked(IndexOfLocked(name)))
            return;
        WriteBackLocked();
    }
    TellException();
}

std::shared_ptr<IZXFields> TIZXFields::CopyFields() const
{
    std::shared_ptr<TIZXFields> copy = CreateOpen();
    for (const TFieldPair& field : Fields())
        copy->StoreField(field.Name, field.Content);
    return copy;
}

void TIZXFields::DetachException()
{
    std::lock_guard guard(ParentLock);
    ExceptionParent.reset();
}

void TIZXFields::DetachSettings()
{
    std::lock_guard guard(ParentLock);
    SettingsParent.reset();
}

void TIZXFields::SetInsertIndex(int32_t index)
{
    std::lock_guard guard(Lock);
    InsertAt = index;
}

void TIZXFields::AllowChanges()
{
    std::lock_guard guard(Lock);
    ChangesAllowed = true;
}

void TIZXFields::SetSettingsParent(std::weak_ptr<TIZXSettings> settings)
{
    std::lock_guard guard(ParentLock);
    SettingsParent = std::move(settings);
}

void TIZXFields::SetExceptionParent(std::weak_ptr<TIZXException> exception)
{
    std::lock_guard guard(ParentLock);
    ExceptionParent = std::move(exception);
}

int32_t TIZXFields::InsertIndex() const
{
    std::lock_guard guard(Lock);
    return InsertAt;
}

std::vector<TFieldPair> TIZXFields::Fields() const
{
    std::lock_guard guard(Lock);
    return Items;
}

// The settings table's lock is taken inside the list's and never the other
// way round, so the key is written while the list can't change.
void TIZXFields::WriteBackLocked()
{
    WriteKeyBack(ParentLock, SettingsParent, "AddFields", Items,
                 [](const TFieldPair& field) { return field.Name + u'=' + field.Content; });
}

// Outside the list's lock: the failure calls its report listeners.
void TIZXFields::TellException()
{
    std::shared_ptr<TIZXException> exception;
    {
        std::lock_guard guard(ParentLock);
        exception = ExceptionParent.lock();
    }
    if (exception)
        exception->ReportChanged();
}

// ---------------------------------------------------------------------------
// Attachments

std::shared_ptr<IZXAttachments> NewAttachmentList()
{
    return std::make_shared<TIZXAttachments>();
}

void TIZXAttachments::LockAttachments()
{
    Lock.lock();
}

void TIZXAttachments::UnlockAttachments()
{
    Lock.unlock();
}

int32_t TIZXAttachments::AttachmentCount() const
{
    std::lock_guard guard(Lock);
    return static_cast<int32_t>(Items.size());
}

bool TIZXAttachments::AttachmentAt(int32_t index, std::u16string& file, std::u16string& sendAs, std::u16string& zipName,
                                   std::u16string& fieldName) const
{
    std::lock_guard guard(Lock);
    if (index < 0 || index >= static_cast<int32_t>(Items.size()))
        return false;
    const TAttachmentItem& item = Items[index];
    file = item.File;
    sendAs = item.SendAs;
    zipName = item.ZipName;
    fieldName = item.FieldName;
    return true;
}

void TIZXAttachments::AddAttachment(const std::u16string& file, const std::u16string& sendAs,
                                    const std::u16string& zipName, const std::u16string& fieldName)
{
    if (file.empty())
        return;
    TAttachmentItem item{file, sendAs, zipName, fieldName};
    if (item.SendAs.empty())
        item.SendAs = FileNamePartW(file);
    if (item.FieldName.empty()) {
        const size_t dot = item.SendAs.rfind(u'.');
        item.FieldName = dot == std::u16string::npos ? item.SendAs : item.SendAs.substr(0, dot);
    }
    std::lock_guard guard(Lock);
    MakeRoom(Items);
    Items.push_back(std::move(item));
    WriteBackLocked();
}

bool TIZXAttachments::RemoveAttachment(const std::u16string& file)
{
    std::lock_guard guard(Lock);
    const auto found =
        std::find_if(Items.begin(), Items.end(), [&](const TAttachmentItem& a) { return SameTextW(a.File, file); });
    if (found == Items.end())
        return false;
    Items.erase(found);
    WriteBackLocked();
    return true;
}

void TIZXAttachments::ClearAttachments()
{
    std::lock_guard guard(Lock);
    if (Items.empty())
        return;
    Items.clear();
    WriteBackLocked();
}

std::shared_ptr<IZXAttachments> TIZXAttachments::CopyAttachments() const
{
    auto copy = std::make_shared<TIZXAttachments>();
    for (const TAttachmentItem& a : Attachments())
        copy->AddAttachment(a.File, a.SendAs, a.ZipName, a.FieldName);
    return copy;
}

void TIZXAttachments::DetachOwner()
{
    std::lock_guard guard(ParentLock);
    SettingsParent.reset();
}

void TIZXAttachments::SetSettingsParent(std::weak_ptr<TIZXSettings> settings)
{
    std::lock_guard guard(ParentLock);
    SettingsParent = std::move(settings);
}

std::vector<TAttachmentItem> TIZXAttachments::Attachments() const
{
    std::lock_guard guard(Lock);
    return Items;
}

void TIZXAttachments::WriteBackLocked()
{
    WriteKeyBack(ParentLock, SettingsParent, "AddAttachs", Items, [](const TAttachmentItem& a) {
        return a.File + u'>' + a.SendAs + u'>' + a.ZipName + u'>' + a.FieldName;
    });
}
