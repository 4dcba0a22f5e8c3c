// zorExcept fields and attachments: what a bug report carries besides its
// text. A field list is an ordered list of named fields (the report's header
// lines and sections, the extra fields of AddFields, the form cache); an
// attachment list names the files sent with a report (AddAttachs and what
// handlers add). A list owned by a settings object writes every change back
// into its key; a field list owned by a failure tells the failure that its
// report changed.
//
// The key texts: AddFields is "name=content|name=content", AddAttachs
// "file>send-as>zip>field|...". Neither escapes anything: a content holding
// "=" is cut there when read back, and one holding "|" comes back as two.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TIZXSettings;
class TIZXException;

struct TFieldPair {
    std::u16string Name;
    std::u16string Content;
};

struct TAttachmentItem {
    std::u16string File;      // the file to send
    std::u16string SendAs;    // the name it travels under
    std::u16string ZipName;   // the archive that collects it; empty: none
    std::u16string FieldName; // its form field in an upload
};

class IZXFields {
public:
    virtual ~IZXFields() = default;
    // Hold the owning failure's notifications and take the list's lock, so
    // that several operations see one state; the notification runs once,
    // after the outermost unlock.
    virtual void LockFields() = 0;
    virtual void UnlockFields() = 0;
    virtual int32_t FieldCount() const = 0;
    // Empty out of range.
    virtual std::u16string FieldNameAt(int32_t index) const = 0;
    // Renames in range when the name differs (case counts).
    virtual void RenameFieldAt(int32_t index, const std::u16string& name) = 0;
    // The first field of that name in any case, or -1.
    virtual int32_t IndexOfField(const std::u16string& name) const = 0;
    virtual std::u16string FieldContent(const std::u16string& name) const = 0;
    // Sets a field: the content trimmed; an empty one removes the field. A
    // new field goes to the insert index (when 1 or more) or to the end.
    virtual void PutField(const std::u16string& name, const std::u16string& content) = 0;
    virtual void StoreField(const std::u16string& name, const std::u16string& content) = 0;
    // Puts a field at the index (clamped), moving one of that name there.
    virtual void InsertFieldAt(int32_t index, const std::u16string& name, const std::u16string& content) = 0;
    virtual void RemoveFieldAt(int32_t index) = 0;
    virtual void RemoveField(const std::u16string& name) = 0;
    // A list without owners that allows changes, with the same fields.
    virtual std::shared_ptr<IZXFields> CopyFields() const = 0;
};

class IZXFieldsEx {
public:
    virtual ~IZXFieldsEx() = default;
    virtual void DetachException() = 0;
    virtual void DetachSettings() = 0;
    virtual void SetInsertIndex(int32_t index) = 0;
    // Until this is called, putting and inserting fields do nothing.
    virtual void AllowChanges() = 0;
};

class TIZXFields final : public IZXFields, public IZXFieldsEx {
public:
    // A list that allows changes and has no owners.
    static std::shared_ptr<TIZXFields> CreateOpen();

    void LockFields() override;
    void UnlockFields() override;
    int32_t FieldCount() const override;
    std::u16string FieldNameAt(int32_t index) const override;
    void RenameFieldAt(int32_t index, const std::u16string& name) override;
    int32_t IndexOfField(const std::u16string& name) const override;
    std::u16string FieldContent(const std::u16string& name) const override;
    void PutField(const std::u16string& name, const std::u16string& content) override;
    void StoreField(const std::u16string& name, const std::u16string& content) override;
    void InsertFieldAt(int32_t index, const std::u16string& name, const std::u16string& content) override;
    void RemoveFieldAt(int32_t index) override;
    void RemoveField(const std::u16string& name) override;
    std::shared_ptr<IZXFields> CopyFields() const override;

    void DetachException() override;
    void DetachSettings() override;
    void SetInsertIndex(int32_t index) override;
    void AllowChanges() override;

    // Owners are not held: a list outlives neither.
    void SetSettingsParent(std::weak_ptr<TIZXSettings> settings);
    void SetExceptionParent(std::weak_ptr<TIZXException> exception);
    int32_t InsertIndex() const;
    // The fields as they stand, in order.
    std::vector<TFieldPair> Fields() const;

private:
    int32_t IndexOfLocked(const std::u16string& name) const;
    bool InsertLocked(int32_t index, const std::u16string& name, const std::u16string& content);
    bool RemoveLocked(int32_t index);
    // The change step: the settings key rewritten (under the list's lock),
    // then the failure told (after it).
    void WriteBackLocked();
    void TellException();

    mutable std::recursive_mutex Lock;
    std::vector<TFieldPair> Items;
    int32_t InsertAt = 0;
    bool ChangesAllowed = false;

    mutable std::mutex ParentLock;
    std::weak_ptr<TIZXSettings> SettingsParent;
    std::weak_ptr<TIZXException> ExceptionParent;
};

class IZXAttachments {
public:
    virtual ~IZXAttachments() = default;
    virtual void LockAttachments() = 0;
    virtual void UnlockAttachments() = 0;
    virtual int32_t AttachmentCount() const = 0;
    // False out of range.
    virtual bool AttachmentAt(int32_t index, std::u16string& file, std::u16string& sendAs, std::u16string& zipName,
                              std::u16string& fieldName) const = 0;
    // Nothing for an empty file. An empty send-as name is the file's name
    // without folder; an empty field name the send-as name without its
    // extension.
    virtual void AddAttachment(const std::u16string& file, const std::u16string& sendAs, const std::u16string& zipName,
                               const std::u16string& fieldName) = 0;
    // Removes the first attachment of that file (any case); true when one was.
    virtual bool RemoveAttachment(const std::u16string& file) = 0;
    virtual void ClearAttachments() = 0;
    // A list without owner holding the same attachments.
    virtual std::shared_ptr<IZXAttachments> CopyAttachments() const = 0;
};

class IZXAttachmentsState {
public:
    virtual ~IZXAttachmentsState() = default;
    virtual void DetachOwner() = 0;
};

class TIZXAttachments final : public IZXAttachments, public IZXAttachmentsState {
public:
    void LockAttachments() override;
    void UnlockAttachments() override;
    int32_t AttachmentCount() const override;
    bool AttachmentAt(int32_t index, std::u16string& file, std::u16string& sendAs, std::u16string& zipName,
                      std::u16string& fieldName) const override;
    void AddAttachment(const std::u16string& file, const std::u16string& sendAs, const std::u16string& zipName,
                       const std::u16string& fieldName) override;
    bool RemoveAttachment(const std::u16string& file) override;
    void ClearAttachments() override;
    std::shared_ptr<IZXAttachments> CopyAttachments() const override;

    void DetachOwner() override;
    void SetSettingsParent(std::weak_ptr<TIZXSettings> settings);
    std::vector<TAttachmentItem> Attachments() const;

private:
    void WriteBackLocked();

    mutable std::recursive_mutex Lock;
    std::vector<TAttachmentItem> Items;
    mutable std::mutex ParentLock;
    std::weak_ptr<TIZXSettings> SettingsParent;
};

std::shared_ptr<IZXAttachments> NewAttachmentList();
