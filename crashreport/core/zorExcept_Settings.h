// zorExcept settings: the reporter's configuration, read from a settings
// resource compiled into the program (RCDATA "TZOREXCEPT"), kept in one
// reference-counted table per module in a process-wide registry, and answered
// by key through settings objects. A key a module's table lacks falls back to
// the built-in defaults, or to the main settings when those belong to another
// module. The exception object (zorExcept_Exception.h) is a settings object
// that puts a table of its own in front.
//
// The program is one module: the registry keeps the per-module tables and
// their counts, but every address of the process answers the program's
// settings. Tests load further "modules" from blob bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "crashreport/core/zorExcept_SettingsKeys.h"
#include "crashreport/diagnostics/zorTools.h"

class IZXFields;
class IZXAttachments;
class TIZXFields;
class TIZXAttachments;
class INVWizard;
class TIZXSettings;

// ---------------------------------------------------------------------------
// Entries and tables

struct TSettingValue {
    TSettingKind Kind = TSettingKind::Text;
    bool Bool = false;
    int32_t Int = 0;
    std::u16string Text;
};

struct TSettingEntry {
    std::string Name;
    TSettingValue Value;
};

// The first 25 bytes of a settings resource.
extern const char SettingsSignature[25];
// Parses a settings resource into entries (appended in resource order, room
// for 147 at first, 20 more whenever full). No signature: no entries. An
// unknown value type ends the reading, keeping what was read, with the
// message "Internal error: Invalid settings resource ($xx)."; an entry cut
// off by the end of the bytes ends it silently. Returns the message, or empty.
std::string LoadSettingsResource(const std::string& resource, std::vector<TSettingEntry>& entries);

// One value of a resource stream, from `at` (moved behind it): the value
// types of the settings resource, which the assistant form resources share.
// End: the bytes end inside the value.
enum class TResourceValueResult { Value, End, BadType };
TResourceValueResult ReadResourceValue(const std::string& bytes, size_t& at, uint8_t type, TSettingValue& value);

// One module's entries. Every read, write and addition takes the table's
// lock: another thread adding an entry may move the entry array.
class TSettingsTable {
public:
    explicit TSettingsTable(TModuleHandle module = 0) : Module(module) {}
    TSettingsTable(const TSettingsTable&) = delete;
    TSettingsTable& operator=(const TSettingsTable&) = delete;

    const TModuleHandle Module;
    // The settings objects using the table; changed under the registry's lock.
    int32_t RefCount = 0;

    // A copy of the first entry of that name (names compare exactly).
    bool Find(std::string_view name, TSettingValue& value) const;
    bool Contains(std::string_view name) const;
    // Finds the first entry of that name, adding one of the writer's kind
    // with a zero value when there is none; stores the value only when the
    // entry's kind is the writer's.
    bool Write(std::string_view name, const TSettingValue& value);
    // Appends an entry (a name that is already there is not found again).
    int32_t Add(const std::string& name, const TSettingValue& value);
    // Replaces every entry.
    void Assign(std::vector<TSettingEntry>&& entries);
    void Clear();
    size_t Count() const;
    size_t Capacity() const;

private:
    struct THash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    int32_t AddLocked(const std::string& name, const TSettingValue& value);
    void Reindex();

    mutable std::mutex Lock;
    std::vector<TSettingEntry> Entries;
    std::unordered_map<std::string, int32_t, THash, std::equal_to<>> FirstIndex;
};

// The built-in default of a key; nullptr for a key without one.
const TKeyValue* FindDefaultSetting(std::string_view name);

// ---------------------------------------------------------------------------
// The registry of module tables

// The settings resource of a module: a blob registered for it, else for the
// program file its compiled-in RCDATA "TZOREXCEPT"; empty when there is none
// (a library of the process carries no settings of its own).
std::string FindSettingsResource(TModuleHandle module);
bool HasSettingsResource(TModuleHandle module);
// Makes a stand-in module whose settings resource is the given bytes (tests,
// fuzzing). The handle is no address of the process.
TModuleHandle RegisterSettingsBlob(const std::string& resource);
void UnregisterSettingsBlob(TModuleHandle module);

// The registry is a process-wide object; attaching counts its users.
bool AttachSettingsRegistry();
void DetachSettingsRegistry();
// The module's table with its count raised (loaded on first use), or nullptr
// when the module has no settings resource.
TSettingsTable* AcquireModuleSettings(TModuleHandle module);
// Lowers the count; the last release frees the table and its written values.
void ReleaseModuleSettings(TSettingsTable* table);
// Reads the module's entries anew from its resource; written values are lost.
void ReloadModuleSettings(TModuleHandle module, TSettingsTable* table);

// ---------------------------------------------------------------------------
// Assistant form contents, as the form cache sees them: an assistant's forms
// with the result each was left with, and their edits and check boxes.

enum class TAssistantItemKind : uint8_t { Other, Edit, CheckBox };

struct TAssistantItemState {
    TAssistantItemKind Kind = TAssistantItemKind::Other;
    std::u16string Name;
    std::u16string Text;  // edits
    bool Checked = false; // check boxes
    // Where the item's value goes in the bug report.
    std::u16string OutputName;
    uint8_t OutputType = 0;
    int32_t Lines = 1;
};

struct TAssistantFormState {
    int32_t Result = 0; // 1: left with Continue
    std::u16string ContinueName;
    bool ContinueEnabled = false;
    std::u16string ActiveControl;
    std::vector<TAssistantItemState> Items;
};

struct TAssistantState {
    std::vector<TAssistantFormState> Forms;
};

// ---------------------------------------------------------------------------
// The settings interfaces. The per-key accessors are made from the key list:
// a read named after the key and, where the key is written, "Set" + key.

#define ZOR_GET_Bool(name)                                                                                             \
    bool name() const                                                                                                  \
    {                                                                                                                  \
        return ReadSettingBool(#name);                                                                                 \
    }
#define ZOR_SET_Bool(name)                                                                                             \
    bool Set##name(bool value)                                                                                         \
    {                                                                                                                  \
        return WriteSettingBool(#name, value);                                                                         \
    }
#define ZOR_GET_Int(name)                                                                                              \
    int32_t name() const                                                                                               \
    {                                                                                                                  \
        return ReadSettingInt(#name);                                                                                  \
    }
#define ZOR_SET_Int(name)                                                                                              \
    bool Set##name(int32_t value)                                                                                      \
    {                                                                                                                  \
        return WriteSettingInt(#name, value);                                                                          \
    }
#define ZOR_GET_Text(name)                                                                                             \
    std::u16string name() const                                                                                        \
    {                                                                                                                  \
        return ReadSettingText(#name);                                                                                 \
    }
#define ZOR_SET_Text(name)                                                                                             \
    bool Set##name(const std::u16string& value)                                                                        \
    {                                                                                                                  \
        return WriteSettingText(#name, value);                                                                         \
    }
#define ZOR_GET_Ansi(name)                                                                                             \
    std::string name() const                                                                                           \
    {                                                                                                                  \
        return ReadSettingAnsi(#name);                                                                                 \
    }
#define ZOR_SET_Ansi(name)                                                                                             \
    bool Set##name(const std::string& value)                                                                           \
    {                                                                                                                  \
        return WriteSettingAnsi(#name, value);                                                                         \
    }

#define ZOR_SETTINGS_ACCESS_RW(name, type) ZOR_GET_##type(name) ZOR_SET_##type(name)
#define ZOR_SETTINGS_ACCESS_R(name, type) ZOR_GET_##type(name)
#define ZOR_SETTINGS_ACCESS_MRW(name, type)
#define ZOR_SETTINGS_ACCESS_MR(name, type)
#define ZOR_SETTINGS_ACCESS_NONE(name, type)
#define ZOR_SETTINGS_ACCESSOR(name, type, access, stored, builtIn) ZOR_SETTINGS_ACCESS_##access(name, type)

#define ZOR_MODULE_ACCESS_RW(name, type)
#define ZOR_MODULE_ACCESS_R(name, type)
#define ZOR_MODULE_ACCESS_MRW(name, type) ZOR_GET_##type(name) ZOR_SET_##type(name)
#define ZOR_MODULE_ACCESS_MR(name, type) ZOR_GET_##type(name)
#define ZOR_MODULE_ACCESS_NONE(name, type)
#define ZOR_MODULE_ACCESSOR(name, type, access, stored, builtIn) ZOR_MODULE_ACCESS_##access(name, type)

class IZXSettings {
public:
    virtual ~IZXSettings() = default;

    virtual TModuleHandle ModuleHandle() const = 0;

    // Typed reads and writes by key. Text reads expand placeholders (all but
    // FrozenMsg's). A write fails on an object without a table, and on an
    // entry of another kind.
    virtual bool ReadSettingBool(std::string_view key) const = 0;
    virtual int32_t ReadSettingInt(std::string_view key) const = 0;
    uint32_t ReadSettingUInt(std::string_view key) const { return static_cast<uint32_t>(ReadSettingInt(key)); }
    virtual std::u16string ReadSettingText(std::string_view key) const = 0;
    // 8-bit text: each unit's low byte, and back.
    std::string ReadSettingAnsi(std::string_view key) const;
    virtual bool WriteSettingBool(std::string_view key, bool value) = 0;
    virtual bool WriteSettingInt(std::string_view key, int32_t value) = 0;
    virtual bool WriteSettingText(std::string_view key, const std::u16string& value) = 0;
    bool WriteSettingAnsi(std::string_view key, const std::string& value);

    ZOR_SETTINGS_KEYS(ZOR_SETTINGS_ACCESSOR)

    // The extra header fields of AddFields and the extra attachments of
    // AddAttachs, built on first use; changing them rewrites the key.
    virtual std::shared_ptr<IZXFields> AddFields() = 0;
    virtual std::shared_ptr<IZXAttachments> AddAttachs() = 0;

    // Report plug-ins named in Plugins ("|" between names, any case).
    virtual bool PluginEnabled(const std::u16string& name) const = 0;
    virtual void SetPluginEnabled(const std::u16string& name, bool on) = 0;
    virtual std::u16string VersionText() const = 0;
    // The assistant of that name ("Assistant1", "Assistant2", ...), built by
    // the assistant builder; nullptr when there is none.
    virtual std::shared_ptr<INVWizard> FindAssistant(const std::u16string& name) = 0;

    // The form cache: what was last entered in assistant forms.
    virtual void StoreFormContents(const TAssistantState& assistant) = 0;
    virtual void RestoreFormContents(TAssistantState& assistant) = 0;

    virtual TIZXSettings* SettingsObject() = 0;
};

class IZXModuleSettings : public virtual IZXSettings {
public:
    virtual bool SettingsValid() const = 0;
    ZOR_SETTINGS_KEYS(ZOR_MODULE_ACCESSOR)
    bool UsesOwnSettings() const { return !ReadSettingBool("NoSettings"); }
    bool MinDebugInfoEmpty() const { return ReadSettingText("MinDebugInfo").empty(); }
    bool BufferOverrunCheck() const { return ReadSettingBool("CrashOnBuffer") && !ReadSettingBool("CrashOnUnderrun"); }
    bool BufferUnderrunCheck() const { return ReadSettingBool("CrashOnBuffer") && ReadSettingBool("CrashOnUnderrun"); }
    virtual void ReloadModuleSettings() = 0;
};

// ---------------------------------------------------------------------------
// Settings objects

class TIZXSettings : public IZXModuleSettings, public std::enable_shared_from_this<TIZXSettings> {
public:
    // With load set, the object takes the module's table (valid when the
    // module has settings); without it, it starts without a table.
    static std::shared_ptr<TIZXSettings> Create(TModuleHandle module, bool load);
    ~TIZXSettings() override;
    TIZXSettings(const TIZXSettings&) = delete;
    TIZXSettings& operator=(const TIZXSettings&) = delete;

    // The value of a key without placeholder expansion: the object's table
    // first, then with useDefaults the built-in defaults. Overridden by the
    // exception object to put its own table in front.
    virtual bool LookupProperty(std::string_view key, bool useDefaults, TSettingValue& value) const;
    // The entry of the object's own table only.
    bool FindOwnProperty(std::string_view key, TSettingValue& value) const;

    TModuleHandle ModuleHandle() const override { return Module; }
    bool SettingsValid() const override { return Valid; }

    bool ReadSettingBool(std::string_view key) const override;
    int32_t ReadSettingInt(std::string_view key) const override;
    std::u16string ReadSettingText(std::string_view key) const override;
    bool WriteSettingBool(std::string_view key, bool value) override;
    bool WriteSettingInt(std::string_view key, int32_t value) override;
    bool WriteSettingText(std::string_view key, const std::u16string& value) override;

    std::shared_ptr<IZXFields> AddFields() override;
    std::shared_ptr<IZXAttachments> AddAttachs() override;

    bool PluginEnabled(const std::u16string& name) const override;
    void SetPluginEnabled(const std::u16string& name, bool on) override;
    std::u16string VersionText() const override;
    std::shared_ptr<INVWizard> FindAssistant(const std::u16string& name) override;
    // The settings part of FindAssistant: the title and forms of the named
    // assistant ("ScrShotForm" dropped when no screenshot is wanted).
    bool FindAssistantEntry(const std::u16string& name, std::u16string& title, std::vector<std::u16string>& forms);

    void StoreFormContents(const TAssistantState& assistant) override;
    void RestoreFormContents(TAssistantState& assistant) override;
    // The form cache itself (nullptr until something was stored).
    std::shared_ptr<IZXFields> FormCache() const;

    TIZXSettings* SettingsObject() override { return this; }
    void ReloadModuleSettings() override;

protected:
    TIZXSettings(TModuleHandle module, bool load);
    // Gives a text read its placeholders; the exception object supplies its
    // class, message and error details.
    virtual void ExpandRead(std::u16string& text) const;
    // Whether an assistant may keep its screenshot form.
    virtual bool AssistantMayShowScreenImage() const { return true; }
    // The exception object's own table.
    void UseOwnTable(TSettingsTable* table);
    void SetVersionText(const std::u16string& text);

    bool Valid = false;
    TModuleHandle Module = 0;
    TSettingsTable* Table = nullptr;

private:
    bool ReadValue(std::string_view key, TSettingValue& value) const;
    bool WriteValue(std::string_view key, const TSettingValue& value);

    bool OwnsRegistryTable = false;
    std::u16string Version;
    mutable std::mutex ListsLock;
    std::shared_ptr<TIZXAttachments> ExtraAttachments;
    std::shared_ptr<TIZXFields> ExtraFields;
    std::shared_ptr<TIZXFields> FormCacheList;
};

// Expands the placeholders of a text read through the settings of a module:
// through the placeholder slot, else only the program's name. "%bugReport%"
// stays as it is.
void ExpandSettingText(TModuleHandle module, std::u16string& text, const std::u16string& classText,
                       const std::u16string& errorDetails, const std::u16string& message);

// The program's settings, set by the reporter's start-up and cleared at its
// shut-down; nullptr before.
std::shared_ptr<IZXModuleSettings> MainSettings();
void SetMainSettings(std::shared_ptr<IZXModuleSettings> settings);

// The settings that apply to a module (0: the program file).
std::shared_ptr<IZXModuleSettings> ModuleSettings(TModuleHandle module = 0);
// The settings of the module holding a code address: here always the
// program's, as every module of the process runs with them.
std::shared_ptr<IZXModuleSettings> SettingsOfAddress(uintptr_t address);
std::shared_ptr<IZXModuleSettings> CallerSettings();
std::shared_ptr<IZXModuleSettings> CallerSettingsAt(int32_t level);
// The settings used when a module's own don't apply: the program's.
std::shared_ptr<IZXModuleSettings> SearchSettingsModules();
