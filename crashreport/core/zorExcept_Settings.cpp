// zorExcept settings: the resource reader, the module tables and their
// registry, the built-in defaults and the settings objects.
#include "crashreport/core/zorExcept_Settings.h"

#include <algorithm>
#include <cstring>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

const char SettingsSignature[25] = {'T', 'P', 'F', '0', 10,  'T', 'Z', 'o', 'r', 'E', 'x', 'c', 'e',
                                    'p', 't', 9,   'z', 'o', 'r', 'E', 'x', 'c', 'e', 'p', 't'};

namespace {

constexpr size_t FirstCapacity = 147;
constexpr size_t CapacityStep = 20;

// Room for one more entry: 147 places at first, then 20 more at a time.
void MakeRoom(std::vector<TSettingEntry>& entries)
{
    if (entries.capacity() < FirstCapacity)
        entries.reserve(FirstCapacity);
    else if (entries.size() == entries.capacity())
        entries.reserve(entries.capacity() + CapacityStep);
}

// 8-bit text of the resource and of the interface is Latin-1.
std::u16string WidenLatin1(const char* bytes, size_t count)
{
    std::u16string wide(count, u'\0');
    for (size_t i = 0; i < count; ++i)
        wide[i] = static_cast<unsigned char>(bytes[i]);
    return wide;
}

// Reads little-endian numbers and byte runs; every read checks the end.
class TBlobReader {
public:
    TBlobReader(const std::string& bytes, size_t at) : Bytes(bytes), At(at) {}
    bool Byte(uint8_t& value)
    {
        if (At >= Bytes.size())
            return false;
        value = static_cast<uint8_t>(Bytes[At++]);
        return true;
    }
    bool Number(size_t width, uint32_t& value)
    {
        if (Bytes.size() - At < width)
            return false;
        value = 0;
        for (size_t i = 0; i < width; ++i)
            value |= static_cast<uint32_t>(static_cast<uint8_t>(Bytes[At + i])) << (8 * i);
        At += width;
        return true;
    }
    size_t Position() const { return At; }
    bool Run(uint64_t count, const char*& start)
    {
        if (Bytes.size() - At < count)
            return false;
        start = Bytes.data() + At;
        At += static_cast<size_t>(count);
        return true;
    }

private:
    const std::string& Bytes;
    size_t At;
};

enum class TReadResult { Entry, End, BadType };

// One entry of the resource after its name: the value type and the value.
TReadResult ReadValue(TBlobReader& reader, uint8_t type, TSettingValue& value)
{
    uint32_t number = 0;
    const char* run = nullptr;
    switch (type) {
    case 2:
    case 3:
    case 4: {
        const size_t width = type == 2 ? 1 : type == 3 ? 2 : 4;
        if (!reader.Number(width, number))
            return TReadResult::End;
        value.Kind = TSettingKind::Int;
        value.Int = width == 1   ? static_cast<int8_t>(number)
                    : width == 2 ? static_cast<int16_t>(number)
                                 : static_cast<int32_t>(number);
        return TReadResult::Entry;
    }
    case 8:
    case 9:
        value.Kind = TSettingKind::Bool;
        value.Bool = type == 9;
        return TReadResult::Entry;
    case 6:
    case 7:
    case 12:
    case 20:
    case 18: {
        const size_t width = (type == 6 || type == 7) ? 1 : 4;
        if (!reader.Number(width, number))
            return TReadResult::End;
        const uint64_t bytes = type == 18 ? uint64_t(number) * 2 : number;
        if (!reader.Run(bytes, run))
            return TReadResult::End;
        value.Kind = TSettingKind::Text;
        if (type == 6 || type == 12) {
            value.Text = WidenLatin1(run, number);
        } else if (type == 18) {
            value.Text.resize(number);
            for (uint32_t i = 0; i < number; ++i)
                value.Text[i] =
                    static_cast<char16_t>(static_cast<uint8_t>(run[2 * i]) | static_cast<uint8_t>(run[2 * i + 1]) << 8);
        } else {
            value.Text = Utf8ToWide(std::string(run, number));
        }
        return TReadResult::Entry;
    }
    default:
        return TReadResult::BadType;
    }
}

} // namespace

TResourceValueResult ReadResourceValue(const std::string& bytes, size_t& at, uint8_t type, TSettingValue& value)
{
    TBlobReader reader(bytes, at);
    const TReadResult result = ReadValue(reader, type, value);
    at = reader.Position();
    return result == TReadResult::Entry ? TResourceValueResult::Value
           : result == TReadResult::End ? TResourceValueResult::End
                                        : TResourceValueResult::BadType;
}

std::string LoadSettingsResource(const std::string& resource, std::vector<TSettingEntry>& entries)
{
    if (resource.size() < sizeof(SettingsSignature) ||
        resource.compare(0, sizeof(SettingsSignature), SettingsSignature, sizeof(SettingsSignature)) != 0)
        return "";
    MakeRoom(entries);
    TBlobReader reader(resource, sizeof(SettingsSignature));
    for (;;) {
        uint8_t nameLength = 0;
        const char* name = nullptr;
        uint8_t type = 0;
        if (!reader.Byte(nameLength) || nameLength == 0 || !reader.Run(nameLength, name) || !reader.Byte(type))
            return "";
        TSettingEntry entry;
        // The name is kept as a zero-terminated copy.
        entry.Name.assign(name, strnlen(name, nameLength));
        const TReadResult result = ReadValue(reader, type, entry.Value);
        if (result == TReadResult::End)
            return "";
        if (result == TReadResult::BadType)
            return "Internal error: Invalid settings resource (" + CardToHexTextA(type) + ").";
        MakeRoom(entries);
        entries.push_back(std::move(entry));
    }
}

// ---------------------------------------------------------------------------
// Tables

bool TSettingsTable::Find(std::string_view name, TSettingValue& value) const
{
    std::lock_guard guard(Lock);
    const auto found = FirstIndex.find(name);
    if (found == FirstIndex.end())
        return false;
    value = Entries[found->second].Value;
    return true;
}

bool TSettingsTable::Contains(std::string_view name) const
{
    std::lock_guard guard(Lock);
    return FirstIndex.find(name) != FirstIndex.end();
}

int32_t TSettingsTable::AddLocked(const std::string& name, const TSettingValue& value)
{
    MakeRoom(Entries);
    Entries.push_back({name, value});
    const int32_t index = static_cast<int32_t>(Entries.size() - 1);
    FirstIndex.emplace(name, index);
    return index;
}

bool TSettingsTable::Write(std::string_view name, const TSettingValue& value)
{
    std::lock_guard guard(Lock);
    const auto found = FirstIndex.find(name);
    int32_t index;
    if (found != FirstIndex.end()) {
        index = found->second;
    } else {
        TSettingValue zero;
        zero.Kind = value.Kind;
        index = AddLocked(std::string(name), zero);
    }
    TSettingValue& entry = Entries[index].Value;
    if (entry.Kind != value.Kind)
        return false;
    switch (value.Kind) {
    case TSettingKind::Bool:
        entry.Bool = value.Bool;
        break;
    case TSettingKind::Int:
        entry.Int = value.Int;
        break;
    case TSettingKind::Text:
        entry.Text = value.Text;
        break;
    }
    return true;
}

int32_t TSettingsTable::Add(const std::string& name, const TSettingValue& value)
{
    std::lock_guard guard(Lock);
    return AddLocked(name, value);
}

void TSettingsTable::Reindex()
{
    FirstIndex.clear();
    for (size_t i = 0; i < Entries.size(); ++i)
        FirstIndex.emplace(Entries[i].Name, static_cast<int32_t>(i));
}

void TSettingsTable::Assign(std::vector<TSettingEntry>&& entries)
{
    std::lock_guard guard(Lock);
    Entries = std::move(entries);
    Reindex();
}

void TSettingsTable::Clear()
{
    std::lock_guard guard(Lock);
    Entries = {};
    FirstIndex.clear();
}

size_t TSettingsTable::Count() const
{
    std::lock_guard guard(Lock);
    return Entries.size();
}

size_t TSettingsTable::Capacity() const
{
    std::lock_guard guard(Lock);
    return Entries.capacity();
}

// ---------------------------------------------------------------------------
// Built-in defaults

namespace {

// Every key of the table by name.
const TSettingKeyInfo* FindKey(std::string_view name)
{
    static const auto* const keys = [] {
        auto* map = new std::unordered_map<std::string_view, const TSettingKeyInfo*>;
        for (const TSettingKeyInfo& key : SettingKeys)
            map->emplace(key.Name, &key);
        return map;
    }();
    const auto found = keys->find(name);
    return found == keys->end() ? nullptr : found->second;
}

bool DefaultValue(std::string_view name, TSettingValue& value)
{
    const TSettingKeyInfo* key = FindKey(name);
    if (key == nullptr || !key->BuiltIn.Present)
        return false;
    value.Kind = key->Kind;
    value.Bool = key->BuiltIn.Bool;
    value.Int = key->BuiltIn.Int;
    value.Text = key->BuiltIn.Text != nullptr ? WidenLatin1(key->BuiltIn.Text, strlen(key->BuiltIn.Text)) : u"";
    return true;
}

} // namespace

const TKeyValue* FindDefaultSetting(std::string_view name)
{
    const TSettingKeyInfo* key = FindKey(name);
    return key != nullptr && key->BuiltIn.Present ? &key->BuiltIn : nullptr;
}

namespace {

// ---------------------------------------------------------------------------
// The registry. It outlives every settings object, also those that static
// objects release at the program's end, so it is never freed.

struct TBlobModule {
    TModuleHandle Module;
    std::string Resource;
};

struct TRegistry {
    std::mutex Lock;
    int32_t Users = 0;
    std::vector<std::unique_ptr<TSettingsTable>> Tables;
    std::vector<TBlobModule> Blobs;
    TModuleHandle NextBlob = 0x1000;
};

TRegistry& Registry()
{
    static TRegistry* const registry = new TRegistry;
    return *registry;
}

// The passwords are stored enciphered, keyed by their server and account.
void DecipherPasswords(std::vector<TSettingEntry>& entries)
{
    auto text = [&](const char* name) -> std::u16string* {
        for (TSettingEntry& e : entries)
            if (e.Name == name)
                return &e.Value.Text;
        return nullptr;
    };
    static const char* const triples[][3] = {{"SmtpPassword", "SmtpServer", "SmtpAccount"},
                                             {"HttpPassword", "HttpServer", "HttpAccount"},
                                             {"BugTrPassword", "HttpServer", "BugTrAccount"}};
    for (const auto& t : triples) {
        std::u16string* password = text(t[0]);
        if (password == nullptr || password->empty())
            continue;
        const std::u16string* server = text(t[1]);
        const std::u16string* account = text(t[2]);
        *password = DecipherStoredPassword(*password, account ? *account : u"",
                                           server ? WideToAnsiTrunc(*server) : std::string());
    }
}

// Reads the module's entries from its resource; returns the resource's error
// message.
std::string LoadModuleEntries(TSettingsTable& table, const std::string& resource)
{
    std::vector<TSettingEntry> entries;
    const std::string message = LoadSettingsResource(resource, entries);
    DecipherPasswords(entries);
    table.Assign(std::move(entries));
    return message;
}

void ShowSettingsMessage(const std::string& message)
{
    if (!message.empty())
        OS_MessageBox("zorExcept", message, 0);
}

} // namespace

std::string FindSettingsResource(TModuleHandle module)
{
    {
        TRegistry& registry = Registry();
        std::lock_guard guard(registry.Lock);
        for (const TBlobModule& blob : registry.Blobs)
            if (blob.Module == module)
                return blob.Resource;
    }
    if (module != 0 && module == MainModuleHandle())
        return ReadResourceText(RT_RCDATA, u"TZOREXCEPT");
    return "";
}

bool HasSettingsResource(TModuleHandle module)
{
    return !FindSettingsResource(module).empty();
}

TModuleHandle RegisterSettingsBlob(const std::string& resource)
{
    TRegistry& registry = Registry();
    std::lock_guard guard(registry.Lock);
    const TModuleHandle module = registry.NextBlob;
    registry.NextBlob += 0x1000;
    registry.Blobs.push_back({module, resource});
    return module;
}

void UnregisterSettingsBlob(TModuleHandle module)
{
    TRegistry& registry = Registry();
    std::lock_guard guard(registry.Lock);
    std::erase_if(registry.Blobs, [&](const TBlobModule& b) { return b.Module == module; });
}

bool AttachSettingsRegistry()
{
    TRegistry& registry = Registry();
    std::lock_guard guard(registry.Lock);
    ++registry.Users;
    return true;
}

void DetachSettingsRegistry()
{
    TRegistry& registry = Registry();
    std::lock_guard guard(registry.Lock);
    if (registry.Users > 0)
        --registry.Users;
}

TSettingsTable* AcquireModuleSettings(TModuleHandle module)
{
    const std::string resource = FindSettingsResource(module);
    if (resource.empty() || !AttachSettingsRegistry())
        return nullptr;
    TRegistry& registry = Registry();
    std::string message;
    TSettingsTable* table = nullptr;
    {
        std::lock_guard guard(registry.Lock);
        for (const auto& t : registry.Tables)
            if (t->Module == module)
                table = t.get();
        if (table == nullptr) {
            registry.Tables.push_back(std::make_unique<TSettingsTable>(module));
            table = registry.Tables.back().get();
            message = LoadModuleEntries(*table, resource);
        }
        ++table->RefCount;
    }
    // Shown without the lock: a box waits for the user.
    ShowSettingsMessage(message);
    return table;
}

void ReleaseModuleSettings(TSettingsTable* table)
{
    if (table == nullptr)
        return;
    TRegistry& registry = Registry();
    {
        std::lock_guard guard(registry.Lock);
        if (--table->RefCount <= 0)
            std::erase_if(registry.Tables, [&](const auto& t) { return t.get() == table; });
    }
    DetachSettingsRegistry();
}

void ReloadModuleSettings(TModuleHandle module, TSettingsTable* table)
{
    if (table == nullptr || table->Module != module)
        return;
    const std::string resource = FindSettingsResource(module);
    std::string message;
    {
        std::lock_guard guard(Registry().Lock);
        message = LoadModuleEntries(*table, resource);
    }
    ShowSettingsMessage(message);
}

// ---------------------------------------------------------------------------
// The main settings

namespace {

struct TMainSettingsHolder {
    std::mutex Lock;
    std::shared_ptr<IZXModuleSettings> Settings;
    // Read by every settings read without the lock.
    std::atomic<bool> Present{false};
    std::atomic<TModuleHandle> Module{0};
};

TMainSettingsHolder& MainHolder()
{
    static TMainSettingsHolder* const holder = new TMainSettingsHolder;
    return *holder;
}

} // namespace

std::shared_ptr<IZXModuleSettings> MainSettings()
{
    TMainSettingsHolder& holder = MainHolder();
    std::lock_guard guard(holder.Lock);
    return holder.Settings;
}

void SetMainSettings(std::shared_ptr<IZXModuleSettings> settings)
{
    TMainSettingsHolder& holder = MainHolder();
    std::shared_ptr<IZXModuleSettings> old;
    {
        std::lock_guard guard(holder.Lock);
        old = std::move(holder.Settings);
        holder.Settings = std::move(settings);
        holder.Module = holder.Settings ? holder.Settings->ModuleHandle() : 0;
        holder.Present = holder.Settings != nullptr;
    }
    // The old object goes outside the lock: its release takes other locks.
}

// ---------------------------------------------------------------------------
// Placeholders

namespace {

// The module-level placeholders the reporter knows without the full
// expansion: the program's name. One pass; inserted text is not looked at.
void ExpandProgramNames(std::u16string& text)
{
    static const std::u16string names[] = {u"%appname%", u"%modname%"};
    static const std::u16string ProgramName = FileNamePartW(ModuleFileName(0));
    std::u16string out;
    size_t at = 0;
    bool changed = false;
    while (at < text.size()) {
        const size_t mark = text.find(u'%', at);
        if (mark == std::u16string::npos)
            break;
        out.append(text, at, mark - at);
        at = mark;
        bool matched = false;
        for (const std::u16string& name : names)
            if (SameTextW(text.substr(mark, name.size()), name)) {
                out += ProgramName;
                at += name.size();
                matched = changed = true;
                break;
            }
        if (!matched)
            out.push_back(text[at++]);
    }
    if (changed) {
        out.append(text, at, std::u16string::npos);
        text = std::move(out);
    }
}

} // namespace

void ExpandSettingText(TModuleHandle module, std::u16string& text, const std::u16string& classText,
                       const std::u16string& errorDetails, const std::u16string& message)
{
    if (text.find(u'%') == std::u16string::npos)
        return;
    if (ZorSlots().ExpandPlaceholders)
        ZorSlots().ExpandPlaceholders(module, text, classText, errorDetails, u"%bugReport%", message);
    else
        ExpandProgramNames(text);
}

// ---------------------------------------------------------------------------
// Settings objects

std::string IZXSettings::ReadSettingAnsi(std::string_view key) const
{
    return WideToAnsiTrunc(ReadSettingText(key));
}

bool IZXSettings::WriteSettingAnsi(std::string_view key, const std::string& value)
{
    return WriteSettingText(key, WidenLatin1(value.data(), value.size()));
}

std::shared_ptr<TIZXSettings> TIZXSettings::Create(TModuleHandle module, bool load)
{
    return std::shared_ptr<TIZXSettings>(new TIZXSettings(module, load));
}

TIZXSettings::TIZXSettings(TModuleHandle module, bool load)
{
    if (!load)
        return;
    Table = AcquireModuleSettings(module);
    Valid = OwnsRegistryTable = Table != nullptr;
    if (Valid) {
        Module = module;
        Version = WidenLatin1(ZorProgramVersion, strlen(ZorProgramVersion));
    }
}

TIZXSettings::~TIZXSettings()
{
    {
        std::lock_guard guard(ListsLock);
        if (ExtraAttachments)
            ExtraAttachments->DetachOwner();
        if (ExtraFields)
            ExtraFields->DetachSettings();
    }
    if (OwnsRegistryTable)
        ReleaseModuleSettings(Table);
    Table = nullptr;
}

void TIZXSettings::UseOwnTable(TSettingsTable* table)
{
    Table = table;
}

void TIZXSettings::SetVersionText(const std::u16string& text)
{
    Version = text;
}

bool TIZXSettings::FindOwnProperty(std::string_view key, TSettingValue& value) const
{
    return Table != nullptr && Table->Find(key, value);
}

bool TIZXSettings::LookupProperty(std::string_view key, bool useDefaults, TSettingValue& value) const
{
    if (FindOwnProperty(key, value))
        return true;
    return useDefaults && DefaultValue(key, value);
}

bool TIZXSettings::ReadValue(std::string_view key, TSettingValue& value) const
{
    TMainSettingsHolder& main = MainHolder();
    const bool useDefaults = !main.Present || main.Module == Module;
    if (LookupProperty(key, useDefaults, value))
        return true;
    value = TSettingValue();
    if (useDefaults)
        return false;
    // Another module's key is answered by the main settings: their table,
    // then the defaults. The text is expanded once, by the reader.
    const std::shared_ptr<IZXModuleSettings> settings = MainSettings();
    return settings && settings->SettingsObject()->LookupProperty(key, true, value);
}

bool TIZXSettings::ReadSettingBool(std::string_view key) const
{
    TSettingValue value;
    ReadValue(key, value);
    return value.Bool;
}

int32_t TIZXSettings::ReadSettingInt(std::string_view key) const
{
    TSettingValue value;
    ReadValue(key, value);
    return value.Int;
}

std::u16string TIZXSettings::ReadSettingText(std::string_view key) const
{
    TSettingValue value;
    ReadValue(key, value);
    // The frozen message is shown as it stands: placeholders there would need
    // the frozen thread's state.
    if (key != "FrozenMsg")
        ExpandRead(value.Text);
    return std::move(value.Text);
}

void TIZXSettings::ExpandRead(std::u16string& text) const
{
    ExpandSettingText(Module, text, u"%exceptClass%", u"%errorDetails%", u"%exceptMsg%");
}

bool TIZXSettings::WriteValue(std::string_view key, const TSettingValue& value)
{
    return Valid && Table != nullptr && Table->Write(key, value);
}

bool TIZXSettings::WriteSettingBool(std::string_view key, bool value)
{
    TSettingValue v;
    v.Kind = TSettingKind::Bool;
    v.Bool = value;
    return WriteValue(key, v);
}

bool TIZXSettings::WriteSettingInt(std::string_view key, int32_t value)
{
    TSettingValue v;
    v.Kind = TSettingKind::Int;
    v.Int = value;
    return WriteValue(key, v);
}

bool TIZXSettings::WriteSettingText(std::string_view key, const std::u16string& value)
{
    TSettingValue v;
    v.Kind = TSettingKind::Text;
    v.Text = value;
    return WriteValue(key, v);
}

std::shared_ptr<IZXFields> TIZXSettings::AddFields()
{
    std::lock_guard guard(ListsLock);
    if (!ExtraFields) {
        auto fields = std::make_shared<TIZXFields>();
        fields->AllowChanges();
        const std::u16string text = ReadSettingText("AddFields");
        for (int32_t i = 1, n = ItemCountW(text, u'|'); i <= n; ++i) {
            const std::u16string item = ItemW(text, i, u'|');
            fields->PutField(ItemW(item, 1, u'='), ItemW(item, 2, u'='));
        }
        // Only now: filling the list must not write the key back.
        fields->SetSettingsParent(weak_from_this());
        ExtraFields = std::move(fields);
    }
    return ExtraFields;
}

std::shared_ptr<IZXAttachments> TIZXSettings::AddAttachs()
{
    std::lock_guard guard(ListsLock);
    if (!ExtraAttachments) {
        auto attachments = std::make_shared<TIZXAttachments>();
        const std::u16string text = ReadSettingText("AddAttachs");
        for (int32_t i = 1, n = ItemCountW(text, u'|'); i <= n; ++i) {
            const std::u16string item = ItemW(text, i, u'|');
            attachments->AddAttachment(ItemW(item, 1, u'>'), ItemW(item, 2, u'>'), ItemW(item, 3, u'>'),
                                       ItemW(item, 4, u'>'));
        }
        attachments->SetSettingsParent(weak_from_this());
        ExtraAttachments = std::move(attachments);
    }
    return ExtraAttachments;
}

bool TIZXSettings::PluginEnabled(const std::u16string& name) const
{
    return HasItemTextW(ReadSettingText("Plugins"), name, u'|');
}

void TIZXSettings::SetPluginEnabled(const std::u16string& name, bool on)
{
    if (PluginEnabled(name) == on)
        return;
    std::u16string plugins = ReadSettingText("Plugins");
    if (on) {
        plugins = plugins.empty() ? name : plugins + u"|" + name;
    } else {
        plugins = u"|" + plugins + u"|";
        ReplaceTextW(plugins, u"|" + name + u"|", u"|");
        plugins = plugins.substr(1, plugins.size() - 2);
    }
    WriteSettingText("Plugins", plugins);
}

std::u16string TIZXSettings::VersionText() const
{
    return Version;
}

bool TIZXSettings::FindAssistantEntry(const std::u16string& name, std::u16string& title,
                                      std::vector<std::u16string>& forms)
{
    std::u16string entry;
    for (int32_t n = 1;; ++n) {
        entry = ReadSettingText("Assistant" + std::to_string(n));
        if (entry.empty())
            return false;
        if (SameTextW(ItemW(entry, 1, u'|'), name))
            break;
    }
    if ((!AssistantMayShowScreenImage() || ReadSettingInt("ScrShotDepth") == 0) &&
        HasItemTextW(entry, u"ScrShotForm", u'|')) {
        entry = u"|" + entry + u"|";
        ReplaceTextW(entry, u"|ScrShotForm|", u"|");
        TidyItemsW(entry, u'|');
    }
    title = ItemW(entry, 2, u'|');
    forms.clear();
    for (int32_t i = 3, n = ItemCountW(entry, u'|'); i <= n; ++i)
        forms.push_back(ItemW(entry, i, u'|'));
    return true;
}

std::shared_ptr<INVWizard> TIZXSettings::FindAssistant(const std::u16string& name)
{
    std::u16string title;
    std::vector<std::u16string> forms;
    const TZorSlots& slots = ZorSlots();
    if (!FindAssistantEntry(name, title, forms) || !slots.CreateAssistant)
        return nullptr;
    std::shared_ptr<INVWizard> assistant =
        slots.CreateAssistant(*this, title, forms, dynamic_cast<IZXException*>(this));
    if (assistant && slots.AssistantFormState)
        if (TAssistantState* state = slots.AssistantFormState(*assistant))
            RestoreFormContents(*state);
    return assistant;
}

void TIZXSettings::StoreFormContents(const TAssistantState& assistant)
{
    std::shared_ptr<TIZXFields> cache;
    {
        std::lock_guard guard(ListsLock);
        if (!FormCacheList) {
            FormCacheList = std::make_shared<TIZXFields>();
            FormCacheList->AllowChanges();
        }
        cache = FormCacheList;
    }
    for (const TAssistantFormState& form : assistant.Forms) {
        if (form.Result != 1)
            continue;
        for (const TAssistantItemState& item : form.Items) {
            if (item.Kind == TAssistantItemKind::Edit)
                cache->StoreField(item.Name, item.Text);
            else if (item.Kind == TAssistantItemKind::CheckBox)
                cache->StoreField(item.Name, YesNoTextW(item.Checked));
        }
    }
}

void TIZXSettings::RestoreFormContents(TAssistantState& assistant)
{
    const std::shared_ptr<IZXFields> cache = FormCache();
    if (!cache)
        return;
    for (TAssistantFormState& form : assistant.Forms) {
        int32_t restored = 0;
        bool everyOne = true;
        for (TAssistantItemState& item : form.Items) {
            if (item.Kind == TAssistantItemKind::Other)
                continue;
            if (cache->IndexOfField(item.Name) < 0) {
                everyOne = false;
                continue;
            }
            const std::u16string content = cache->FieldContent(item.Name);
            if (item.Kind == TAssistantItemKind::Edit)
                item.Text = content;
            else
                item.Checked = content == u"+";
            ++restored;
        }
        if (restored > 0 && everyOne && form.ContinueEnabled)
            form.ActiveControl = form.ContinueName;
    }
}

std::shared_ptr<IZXFields> TIZXSettings::FormCache() const
{
    std::lock_guard guard(ListsLock);
    return FormCacheList;
}

void TIZXSettings::ReloadModuleSettings()
{
    if (OwnsRegistryTable)
        ::ReloadModuleSettings(Module, Table);
}

// ---------------------------------------------------------------------------
// Finding the settings of a module

std::shared_ptr<IZXModuleSettings> SearchSettingsModules()
{
    const TModuleHandle program = MainModuleHandle();
    if (!HasSettingsResource(program))
        return nullptr;
    return TIZXSettings::Create(program, true);
}

std::shared_ptr<IZXModuleSettings> ModuleSettings(TModuleHandle module)
{
    if (module == 0)
        module = MainModuleHandle();
    std::shared_ptr<IZXModuleSettings> settings = TIZXSettings::Create(module, true);
    // Without settings of its own a module stays without: the reporter is
    // part of the program, not a package that other modules share.
    if (!settings->SettingsValid() || settings->UsesOwnSettings())
        return settings;
    std::shared_ptr<IZXModuleSettings> found = SearchSettingsModules();
    if (found && found->SettingsValid() && found->UsesOwnSettings())
        return found;
    return settings;
}

std::shared_ptr<IZXModuleSettings> SettingsOfAddress(uintptr_t /*address*/)
{
    std::shared_ptr<IZXModuleSettings> found = SearchSettingsModules();
    return found ? found : TIZXSettings::Create(MainModuleHandle(), true);
}

__attribute__((noinline)) std::shared_ptr<IZXModuleSettings> CallerSettings()
{
    return SettingsOfAddress(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

// Every frame's module answers with the program's settings, so the frames
// above need no walk.
__attribute__((noinline)) std::shared_ptr<IZXModuleSettings> CallerSettingsAt(int32_t /*level*/)
{
    return SettingsOfAddress(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}
