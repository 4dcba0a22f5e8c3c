#include "crashreport/core/zorExcept_Settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <gnu/libc-version.h>
#include <thread>

#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_SettingsSource.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorZip.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/crashreport/ZorTestSupport.h"

namespace {

const std::string EmptyResource = std::string(SettingsSignature, sizeof(SettingsSignature)) + '\0';

// A resource of the source's entries, then one entry of the given raw type.
std::string WithRawEntry(const std::string& source, const std::string& name, uint8_t type,
                         const std::string& after = "")
{
    std::string resource = SettingsFromSource(source);
    resource.pop_back();
    resource += static_cast<char>(name.size()) + name + static_cast<char>(type);
    return resource + SettingsFromSource(after).substr(sizeof(SettingsSignature));
}

std::u16string ProgramName()
{
    return FileNamePartW(ModuleFileName(0));
}

// The value a key reads raw (without placeholders) and whether it is found.
bool RawValue(const TIZXSettings& settings, const char* key, TSettingValue& value)
{
    return settings.LookupProperty(key, true, value);
}

bool SameValue(const TSettingValue& read, TSettingKind kind, const TKeyValue& expected)
{
    switch (kind) {
    case TSettingKind::Bool:
        return read.Bool == expected.Bool;
    case TSettingKind::Int:
        return read.Int == expected.Int;
    case TSettingKind::Text:
        return WideToUtf8(read.Text) == (expected.Text ? expected.Text : "");
    }
    return false;
}

// ---------------------------------------------------------------------------
// The generator and the game's resource

TEST(ZorSettingsSource, TheBuildReproducesTheGamesResource)
{
    const std::string built = GameSettingsResource();
    ASSERT_FALSE(built.empty());
    EXPECT_EQ(built.size(), 2658u);
    EXPECT_EQ(Crc(built), 0xacbbb309u);
    // The generator run by the build and the one in the library agree byte
    // for byte, and the test program's own settings are the game's with the
    // test variant laid over them.
    EXPECT_EQ(SettingsFromSource(GameSettingsSource()), built);
    std::ifstream in(DUSKMARCH_FIXTURES "/crashreport/TestProgram.zorsettings");
    const std::string variant((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string program;
    std::string error;
    ASSERT_TRUE(CompileSettingsSources({GameSettingsSource(), variant}, program, error)) << error;
    EXPECT_EQ(ReadResourceText(RT_RCDATA, u"TZOREXCEPT"), program);
}

TEST(ZorSettingsSource, EncodingsAndOverlays)
{
    // Every value type, picked by the source or by the value.
    const std::string source = "Small int -5\n"
                               "Medium int -300\n"
                               "Large int 70000\n"
                               "Forced 4 1\n"
                               "Ansi text \"plain\"\n"
                               "Utf text \"\xC3\xA4\\u20AC\"\n"
                               "Latin 12 \"caf\xC3\xA9\"\n"
                               "Wide 18 \"w\\u0416\"\n"
                               "LongUtf 20 \"x\"\n"
                               "Escapes text \"a\\\\b\\\"c\\r\\n\\td\"\n"
                               "On bool on\n"
                               "Off 8\n"
                               "  # a comment\n"
                               "\n";
    std::vector<TSettingsSourceEntry> entries;
    std::string error;
    ASSERT_TRUE(ParseSettingsSource(source, false, entries, error)) << error;
    const std::vector<uint8_t> types = {2, 3, 4, 4, 6, 7, 12, 18, 20, 6, 9, 8};
    ASSERT_EQ(entries.size(), types.size());
    for (size_t i = 0; i < types.size(); ++i)
        EXPECT_EQ(entries[i].Type, types[i]) << entries[i].Name;

    std::vector<TSettingEntry> read;
    EXPECT_EQ(LoadSettingsResource(WriteSettingsResource(entries), read), "");
    ASSERT_EQ(read.size(), entries.size());
    EXPECT_EQ(read[0].Value.Int, -5);
    EXPECT_EQ(read[1].Value.Int, -300);
    EXPECT_EQ(read[2].Value.Int, 70000);
    EXPECT_EQ(read[4].Value.Text, u"plain");
    EXPECT_EQ(read[5].Value.Text, u"\u00E4\u20AC");
    EXPECT_EQ(read[6].Value.Text, u"caf\u00E9");
    EXPECT_EQ(read[7].Value.Text, u"w\u0416");
    EXPECT_EQ(read[9].Value.Text, u"a\\b\"c\r\n\td");
    EXPECT_EQ(read[10].Value.Kind, TSettingKind::Bool);
    EXPECT_TRUE(read[10].Value.Bool);
    EXPECT_FALSE(read[11].Value.Bool);

    // An overlay replaces the first entry of a name in place and adds new
    // keys at the end; the base may name a key twice.
    std::string resource;
    ASSERT_TRUE(CompileSettingsSources({"A int 1\nB int 2\nA int 3\n", "A int 9\nC bool on\n"}, resource, error));
    read.clear();
    LoadSettingsResource(resource, read);
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0].Name, "A");
    EXPECT_EQ(read[0].Value.Int, 9);
    EXPECT_EQ(read[2].Value.Int, 3);
    EXPECT_EQ(read[3].Name, "C");
}

TEST(ZorSettingsSource, FaultsNameTheLine)
{
    const std::pair<std::string, std::string> cases[] = {
        {"A\tword 1", "line 1: unknown type \"word\""},
        {"A 5 1", "line 1: unknown type \"5\""},
        {"A bool yes", "line 1: a bool is on or off"},
        {"A int 1x", "line 1: \"1x\" is no number"},
        {"A int 4294967296", "line 1: the number does not fit its type"},
        {"A 2 200", "line 1: the number does not fit its type"},
        {"A text plain", "line 1: a text must be quoted"},
        {"A text \"open", "line 1: the text has no closing quote"},
        {"A text \"\\q\"", "line 1: unknown escape \\q"},
        {"A text \"\\u12\"", "line 1: \\u needs four hex digits"},
        {"A 6 \"\\u0416\"", "line 1: an 8-bit text holds Latin-1 characters only"},
        {"A 6 \"" + std::string(256, 'x') + "\"", "line 1: the text is too long for its type"},
        {"A-B int 1", "line 1: \"A-B\" is no key name"},
        {"# fine\nA int 1 2", "line 2: more than a name, a type and a value"},
    };
    for (const auto& [source, message] : cases) {
        std::string resource;
        std::string error;
        EXPECT_FALSE(CompileSettingsSources({"Ok int 1", source}, resource, error)) << source;
        EXPECT_EQ(error, "source 2, " + message) << source;
    }
}

// ---------------------------------------------------------------------------
// The resource reader

TEST(ZorSettingsResource, UnknownTypeStopsTheReadingAndKeepsWhatWasRead)
{
    std::vector<TSettingEntry> entries;
    const std::string message = LoadSettingsResource(WithRawEntry("A int 1\n", "B", 13, "C int 2\n"), entries);
    EXPECT_EQ(message, "Internal error: Invalid settings resource ($d).");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "A");

    // Through a module: the entry before stays readable.
    TSettingsModule module(WithRawEntry("A int 1\n", "B", 13, "C int 2\n"));
    const auto settings = module.Settings();
    EXPECT_TRUE(settings->SettingsValid());
    EXPECT_EQ(settings->ReadSettingInt("A"), 1);
    EXPECT_EQ(settings->ReadSettingInt("C"), 0);
}

TEST(ZorSettingsResource, CutsAndForeignBytesNeverReadPastTheEnd)
{
    const std::string full = GameSettingsResource();
    std::vector<TSettingEntry> all;
    ASSERT_EQ(LoadSettingsResource(full, all), "");
    size_t last = 0;
    for (size_t length = 0; length < full.size(); ++length) {
        std::vector<TSettingEntry> entries;
        EXPECT_EQ(LoadSettingsResource(full.substr(0, length), entries), "");
        EXPECT_LE(entries.size(), all.size());
        EXPECT_GE(entries.size(), last);
        last = entries.size();
    }
    // Without the signature, nothing.
    std::vector<TSettingEntry> entries;
    EXPECT_EQ(LoadSettingsResource("TPF0" + full.substr(4, 10), entries), "");
    std::string wrong = full;
    wrong[5] = 'X';
    EXPECT_EQ(LoadSettingsResource(wrong, entries), "");
    EXPECT_TRUE(entries.empty());
    // A length that runs past the end ends the reading.
    EXPECT_EQ(LoadSettingsResource(WithRawEntry("A int 1\n", "T", 12) + "\xff\xff\xff\x7f", entries), "");
    EXPECT_EQ(entries.size(), 1u);
}

// ---------------------------------------------------------------------------
// The key table

TEST(ZorSettingsKeys, StoredAndBuiltInValues)
{
    TSettingsModule game(GameSettingsResource());
    TSettingsModule empty(EmptyResource);
    const auto stored = game.Settings();
    const auto builtIn = empty.Settings();
    ASSERT_TRUE(stored->SettingsValid());
    ASSERT_TRUE(builtIn->SettingsValid());

    // The keys the readers name, through the accessors made from the table.
    EXPECT_EQ(stored->PrepAttMsg(), u"Preparing attachments...");
    EXPECT_EQ(builtIn->PrepAttMsg(), u"Prepare attachments...");
    EXPECT_EQ(stored->BugRepFile(), u"bugreport.txt");
    EXPECT_EQ(builtIn->BugRepFile(), u"bugreport.zbr");
    EXPECT_EQ(stored->SmtpPort(), 25);
    EXPECT_EQ(builtIn->SmtpPort(), 0);
    EXPECT_EQ(stored->LimitDisAsm(), 50);
    EXPECT_EQ(builtIn->LimitDisAsm(), 5);
    EXPECT_FALSE(stored->AppendBugReps());
    EXPECT_TRUE(builtIn->AppendBugReps());
    EXPECT_EQ(stored->FreezeTimeout(), 60000);
    EXPECT_EQ(builtIn->FreezeTimeout(), 60);
    EXPECT_EQ(stored->MailAddr(), u"bugs@duskmarch.invalid");
    EXPECT_EQ(stored->SmtpServer(), "");
    EXPECT_TRUE(stored->Enabled());
    EXPECT_FALSE(builtIn->Enabled());
    EXPECT_TRUE(stored->UsesOwnSettings());
    EXPECT_FALSE(builtIn->UsesOwnSettings());

    // Every key of the table against the source the resource is built from,
    // and against the built-in defaults.
    for (const TSettingKeyInfo& key : SettingKeys) {
        TSettingValue value;
        const TKeyValue& expected = key.Stored.Present ? key.Stored : key.BuiltIn;
        EXPECT_EQ(RawValue(*stored, key.Name, value), expected.Present) << key.Name;
        if (expected.Present) {
            EXPECT_TRUE(SameValue(value, key.Kind, expected)) << key.Name;
        }
        value = {};
        EXPECT_EQ(RawValue(*builtIn, key.Name, value), key.BuiltIn.Present) << key.Name;
        if (key.BuiltIn.Present) {
            EXPECT_TRUE(SameValue(value, key.Kind, key.BuiltIn)) << key.Name;
        }
    }
}

// ---------------------------------------------------------------------------
// Store semantics

TEST(ZorSettingsStore, TheFirstEntryOfANameWins)
{
    TSettingsModule module(SettingsFromSource("SmtpPort int 25\nSmtpPort int 0\n"));
    const auto settings = module.Settings();
    EXPECT_EQ(settings->SmtpPort(), 25);
    EXPECT_TRUE(settings->SetSmtpPort(587));
    EXPECT_EQ(settings->SmtpPort(), 587);
}

TEST(ZorSettingsStore, FallBacksToTheDefaults)
{
    TSettingsModule game(GameSettingsResource());
    const auto settings = game.Settings();
    EXPECT_EQ(settings->AutoDelay(), 60); // absent from the resource
    // Absent from both: false, 0, empty.
    EXPECT_FALSE(settings->ReadSettingBool("NoSuchKey"));
    EXPECT_EQ(settings->ReadSettingInt("NoSuchKey"), 0);
    EXPECT_EQ(settings->ReadSettingText("NoSuchKey"), u"");
    EXPECT_TRUE(settings->MinDebugInfoEmpty());
    EXPECT_FALSE(settings->BufferOverrunCheck());
    // Reading does not compare the kind.
    EXPECT_EQ(settings->ReadSettingInt("TitleBar"), 0);
    EXPECT_EQ(settings->ReadSettingUInt("BugRepFileSize"), 300000u);
}

TEST(ZorSettingsStore, TextReadsExpandPlaceholdersButNotTheFrozenMessage)
{
    TSlotsGuard slots;
    TSettingsModule module(SettingsFromSource("TitleBar text \"%appname%\"\n"
                                              "FrozenMsg text \"%appname% stands still\"\n"
                                              "BugTrTitle text \"%APPNAME%, %exceptMsg% %modname%%\"\n"));
    const auto settings = module.Settings();
    EXPECT_EQ(settings->TitleBar(), ProgramName());
    EXPECT_EQ(settings->FrozenMsg(), u"%appname% stands still");
    // The failure's placeholders stay on a plain settings object.
    EXPECT_EQ(settings->BugTrTitle(), ProgramName() + u", %exceptMsg% " + ProgramName() + u"%");

    // The full expansion, when there is one, gets the placeholders of the
    // failure's texts themselves.
    std::u16string classText, details, message;
    ZorSlots().ExpandPlaceholders = [&](TModuleHandle m, std::u16string& text, const std::u16string& c,
                                        const std::u16string& d, const std::u16string& b, const std::u16string& msg) {
        EXPECT_EQ(m, module.Handle);
        EXPECT_EQ(b, u"%bugReport%");
        classText = c;
        details = d;
        message = msg;
        text = u"expanded";
    };
    EXPECT_EQ(settings->TitleBar(), u"expanded");
    EXPECT_EQ(classText, u"%exceptClass%");
    EXPECT_EQ(details, u"%errorDetails%");
    EXPECT_EQ(message, u"%exceptMsg%");
    EXPECT_EQ(settings->FrozenMsg(), u"%appname% stands still");
}

TEST(ZorSettingsStore, WritesKeepTheKindAndAddUnknownKeys)
{
    TSettingsModule game(GameSettingsResource());
    const auto settings = game.Settings();
    EXPECT_FALSE(settings->WriteSettingText("AutoSave", u"yes"));
    EXPECT_TRUE(settings->AutoSave());
    EXPECT_FALSE(settings->WriteSettingInt("TitleBar", 3));

    EXPECT_TRUE(settings->WriteSettingInt("NewKey", 5));
    EXPECT_EQ(settings->ReadSettingInt("NewKey"), 5);
    EXPECT_FALSE(settings->WriteSettingBool("NewKey", true));
    // A key known only to the defaults is added to the module's table.
    EXPECT_TRUE(settings->SetAutoDelay(9));
    EXPECT_EQ(settings->AutoDelay(), 9);
    EXPECT_TRUE(settings->SetHttpServer("bugs.example.org"));
    EXPECT_EQ(settings->HttpServer(), "bugs.example.org");

    // An object without a table takes no writes and reads the defaults.
    const auto none = TIZXSettings::Create(MainModuleHandle() + 1, true);
    EXPECT_FALSE(none->SettingsValid());
    EXPECT_FALSE(none->SetAutoDelay(1));
    EXPECT_EQ(none->AutoDelay(), 60);
    EXPECT_FALSE(TIZXSettings::Create(game.Handle, false)->SettingsValid());
}

TEST(ZorSettingsStore, ObjectsOfAModuleShareItsTableUntilTheLastGoes)
{
    TSettingsModule game(GameSettingsResource());
    auto first = game.Settings();
    auto second = game.Settings();
    EXPECT_TRUE(first->SetSmtpPort(2525));
    EXPECT_TRUE(first->WriteSettingText("Extra", u"x"));
    EXPECT_EQ(second->SmtpPort(), 2525);
    EXPECT_EQ(second->ReadSettingText("Extra"), u"x");

    // Reloading reads the resource again.
    second->ReloadModuleSettings();
    EXPECT_EQ(first->SmtpPort(), 25);
    EXPECT_TRUE(first->SetSmtpPort(2525));

    first.reset();
    EXPECT_EQ(second->SmtpPort(), 2525);
    second.reset();
    EXPECT_EQ(game.Settings()->SmtpPort(), 25);
    EXPECT_EQ(game.Settings()->ReadSettingText("Extra"), u"");
}

TEST(ZorSettingsStore, TablesStartWithRoomFor147AndGrowBy20)
{
    TSettingsModule game(GameSettingsResource());
    const auto settings = game.Settings();
    TSettingsTable* table = AcquireModuleSettings(game.Handle);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->Capacity(), 147u);
    for (size_t n = table->Count(); n < 148; ++n)
        settings->WriteSettingInt("Grow" + std::to_string(n), 1);
    EXPECT_EQ(table->Count(), 148u);
    EXPECT_EQ(table->Capacity(), 167u);
    ReleaseModuleSettings(table);
}

TEST(ZorSettingsStore, StoredPasswordsAreDeciphered)
{
    const std::u16string smtp = EncipherForTest(u"s3cret", u"mailer", "smtp.example.org");
    const std::u16string http = EncipherForTest(u"h\u00E4ttp", u"uploader", "bugs.example.org");
    const std::u16string tracker = EncipherForTest(u"tr", u"tracker", "bugs.example.org");
    TSettingsModule module(SettingsFromSource(
        "SmtpServer text \"smtp.example.org\"\nSmtpAccount text \"mailer\"\nSmtpPassword text \"" + WideToUtf8(smtp) +
        "\"\nHttpServer text \"bugs.example.org\"\nHttpAccount text \"uploader\"\nHttpPassword text \"" +
        WideToUtf8(http) + "\"\nBugTrAccount text \"tracker\"\nBugTrPassword text \"" + WideToUtf8(tracker) + "\"\n"));
    const auto settings = module.Settings();
    EXPECT_EQ(settings->SmtpPassword(), u"s3cret");
    EXPECT_EQ(settings->HttpPassword(), u"h\u00E4ttp");
    EXPECT_EQ(settings->BugTrPassword(), u"tr");
}

TEST(ZorSettingsStore, AnotherModulesKeysComeFromTheMainSettings)
{
    TSlotsGuard slots;
    TSettingsModule main(SettingsFromSource("MailAddr text \"main@x\"\nLimitDisAsm int 7\n"));
    TSettingsModule other(SettingsFromSource("MailAddr text \"other@x\"\n"));
    const auto mainSettings = main.Settings();
    SetMainSettings(mainSettings);
    EXPECT_EQ(MainSettings(), mainSettings);

    const auto settings = other.Settings();
    EXPECT_EQ(settings->MailAddr(), u"other@x");
    EXPECT_EQ(settings->LimitDisAsm(), 7); // the main table
    EXPECT_EQ(settings->AutoDelay(), 60);  // the main settings' defaults
    // The main module itself reads its own defaults.
    EXPECT_EQ(mainSettings->AutoDelay(), 60);
    EXPECT_EQ(mainSettings->LimitDisAsm(), 7);
    SetMainSettings(nullptr);
    EXPECT_EQ(settings->LimitDisAsm(), 5);
}

TEST(ZorSettingsStore, TheProgramsSettings)
{
    const auto program = ModuleSettings();
    ASSERT_TRUE(program->SettingsValid());
    EXPECT_EQ(program->ModuleHandle(), MainModuleHandle());
    // The test program runs with the game's settings and its variant.
    EXPECT_EQ(program->GnShowCfg(), 4);
    EXPECT_TRUE(program->AppendBugReps());
    EXPECT_EQ(program->BugRepFile(), u"bugreport.txt");
    EXPECT_EQ(program->VersionText(), Utf8ToWide(ZorProgramVersion));
    EXPECT_EQ(program->TitleBar(), ProgramName());

    // Every address answers with the program's settings.
    // A function of the C library the sanitizers don't stand in for.
    const uintptr_t libcFunction = reinterpret_cast<uintptr_t>(&gnu_get_libc_version);
    EXPECT_EQ(SettingsOfAddress(libcFunction)->ModuleHandle(), MainModuleHandle());
    EXPECT_EQ(SettingsOfAddress(0)->ModuleHandle(), MainModuleHandle());
    EXPECT_EQ(CallerSettings()->ModuleHandle(), MainModuleHandle());
    EXPECT_EQ(CallerSettingsAt(3)->ModuleHandle(), MainModuleHandle());
    // A library has no settings of its own.
    TModuleHandle libc = 0;
    std::string file;
    ASSERT_TRUE(ModuleOfAddress(libcFunction, libc, file));
    EXPECT_FALSE(ModuleSettings(libc)->SettingsValid());

    // A module whose settings say it has none of its own gets the program's.
    TSettingsModule none(SettingsFromSource("NoSettings bool on\n"));
    EXPECT_EQ(ModuleSettings(none.Handle)->ModuleHandle(), MainModuleHandle());
}

// ---------------------------------------------------------------------------
// Plug-ins and assistants

TEST(ZorSettingsKeys, PlugIns)
{
    TSettingsModule empty(EmptyResource);
    const auto builtIn = empty.Settings();
    EXPECT_TRUE(builtIn->PluginEnabled(u"Hardware"));
    builtIn->SetPluginEnabled(u"hardware", false);
    EXPECT_EQ(builtIn->ReadSettingText("Plugins"), u"modules|processes");
    builtIn->SetPluginEnabled(u"MODULES", false);
    EXPECT_EQ(builtIn->ReadSettingText("Plugins"), u"processes");
    builtIn->SetPluginEnabled(u"processes", true); // already on
    EXPECT_EQ(builtIn->ReadSettingText("Plugins"), u"processes");

    TSettingsModule game(GameSettingsResource());
    const auto stored = game.Settings();
    EXPECT_FALSE(stored->PluginEnabled(u"x"));
    stored->SetPluginEnabled(u"x", true);
    EXPECT_EQ(stored->ReadSettingText("Plugins"), u"x");
    stored->SetPluginEnabled(u"y", true);
    EXPECT_EQ(stored->ReadSettingText("Plugins"), u"x|y");
    EXPECT_TRUE(stored->PluginEnabled(u"Y"));
}

TEST(ZorSettingsKeys, Assistants)
{
    TSlotsGuard slots;
    TSettingsModule game(GameSettingsResource());
    const auto settings = game.Settings();
    std::u16string title;
    std::vector<std::u16string> forms;
    ASSERT_TRUE(settings->FindAssistantEntry(u"sendassistant", title, forms));
    EXPECT_EQ(title, u"Send Assistant");
    // No screenshot is taken: the screenshot form goes.
    EXPECT_EQ(forms, (std::vector<std::u16string>{u"ContactForm", u"DetailsForm"}));
    ASSERT_TRUE(settings->FindAssistantEntry(u"PrintAssistant", title, forms));
    EXPECT_EQ(title, u"Print Assistant");
    EXPECT_FALSE(settings->FindAssistantEntry(u"Unknown", title, forms));

    settings->SetScrShotDepth(51200);
    ASSERT_TRUE(settings->FindAssistantEntry(u"SendAssistant", title, forms));
    EXPECT_EQ(forms.back(), u"ScrShotForm");
    // Through a failure that wants no screenshot, it goes again.
    const auto exception = TIZXException::Create(ModuleSettings(game.Handle));
    exception->SetWantScreenImage(false);
    ASSERT_TRUE(exception->FindAssistantEntry(u"SendAssistant", title, forms));
    EXPECT_EQ(forms.size(), 2u);
    exception->SetWantScreenImage(true);
    ASSERT_TRUE(exception->FindAssistantEntry(u"SendAssistant", title, forms));
    EXPECT_EQ(forms.size(), 3u);

    // The list ends at the first missing number.
    TSettingsModule gap(SettingsFromSource("Assistant1 text \"A|a|F\"\nAssistant2 text \"B|b|F\"\n"
                                           "Assistant3 text \"C|c|F\"\nAssistant5 text \"Unknown|u|F\"\n"));
    EXPECT_FALSE(gap.Settings()->FindAssistantEntry(u"Unknown", title, forms));

    // The assistant itself comes from the builder, given the entry's title
    // and forms and the failure when there is one.
    EXPECT_EQ(settings->FindAssistant(u"SendAssistant"), nullptr);
    int built = 0;
    ZorSlots().CreateAssistant = [&](IZXSettings& s, const std::u16string& t, const std::vector<std::u16string>& f,
                                     IZXException* e) -> std::shared_ptr<INVWizard> {
        ++built;
        EXPECT_EQ(s.ModuleHandle(), game.Handle);
        EXPECT_EQ(t, u"Save Assistant");
        EXPECT_EQ(f.size(), 2u);
        EXPECT_EQ(e, nullptr);
        return nullptr;
    };
    EXPECT_EQ(settings->FindAssistant(u"saveassistant"), nullptr);
    EXPECT_EQ(settings->FindAssistant(u"Unknown"), nullptr);
    EXPECT_EQ(built, 1);
}

TEST(ZorSettingsFormCache, StoreAndRestore)
{
    TSettingsModule game(GameSettingsResource());
    const auto settings = game.Settings();
    auto item = [](TAssistantItemKind kind, std::u16string name, std::u16string text) {
        TAssistantItemState i;
        i.Kind = kind;
        i.Name = std::move(name);
        i.Text = std::move(text);
        return i;
    };
    auto form = [&](int32_t result, std::u16string name, std::u16string text, bool checked) {
        TAssistantFormState f;
        f.Result = result;
        f.ContinueName = u"ContinueBtn";
        f.ContinueEnabled = true;
        f.Items.push_back(item(TAssistantItemKind::Edit, name, text));
        TAssistantItemState box;
        box.Kind = TAssistantItemKind::CheckBox;
        box.Name = name + u"Box";
        box.Checked = checked;
        f.Items.push_back(box);
        f.Items.push_back(item(TAssistantItemKind::Other, u"Label", u"ignored"));
        return f;
    };
    TAssistantState entered;
    entered.Forms = {form(1, u"NameEdit", u"  Ada  ", true), form(3, u"SkippedEdit", u"x", true)};
    EXPECT_EQ(settings->FormCache(), nullptr);
    settings->RestoreFormContents(entered); // nothing cached: nothing happens
    settings->StoreFormContents(entered);
    const auto cache = settings->FormCache();
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->FieldContent(u"NameEdit"), u"Ada");
    EXPECT_EQ(cache->FieldContent(u"NameEditBox"), u"+");
    EXPECT_EQ(cache->IndexOfField(u"SkippedEdit"), -1);
    EXPECT_EQ(cache->IndexOfField(u"Label"), -1);

    TAssistantState shown;
    shown.Forms = {form(0, u"NameEdit", u"", false), form(0, u"SkippedEdit", u"", false)};
    settings->RestoreFormContents(shown);
    EXPECT_EQ(shown.Forms[0].Items[0].Text, u"Ada");
    EXPECT_TRUE(shown.Forms[0].Items[1].Checked);
    EXPECT_EQ(shown.Forms[0].ActiveControl, u"ContinueBtn");
    // A form whose items were not all cached keeps its active control.
    EXPECT_EQ(shown.Forms[1].Items[0].Text, u"");
    EXPECT_EQ(shown.Forms[1].ActiveControl, u"");
    shown.Forms[0].ActiveControl.clear();
    shown.Forms[0].Items.push_back(item(TAssistantItemKind::Edit, u"NewEdit", u""));
    settings->RestoreFormContents(shown);
    EXPECT_EQ(shown.Forms[0].ActiveControl, u"");
}

// ---------------------------------------------------------------------------
// Lists built from settings

TEST(ZorSettingsLists, ExtraAttachmentsAndFieldsWriteTheirKeysBack)
{
    TSettingsModule game(GameSettingsResource());
    auto settings = game.Settings();
    const auto attachments = settings->AddAttachs();
    EXPECT_EQ(settings->AddAttachs(), attachments);
    ASSERT_EQ(attachments->AttachmentCount(), 1);
    std::u16string file, sendAs, zip, field;
    ASSERT_TRUE(attachments->AttachmentAt(0, file, sendAs, zip, field));
    EXPECT_EQ(file, u"Duskmarch.log");
    EXPECT_EQ(sendAs, u"Duskmarch.log");
    EXPECT_EQ(zip, u"");
    EXPECT_EQ(field, u"Duskmarch");
    // Filling the list did not write the key.
    EXPECT_EQ(settings->ReadSettingText("AddAttachs"), u"Duskmarch.log>Duskmarch.log>");
    attachments->AddAttachment(u"/logs/run.txt", u"", u"logs.zip", u"");
    EXPECT_EQ(settings->ReadSettingText("AddAttachs"),
              u"Duskmarch.log>Duskmarch.log>>Duskmarch|/logs/run.txt>run.txt>logs.zip>run");

    TSettingsModule module(SettingsFromSource("AddFields text \"a=b=c|x=y|lonely\"\n"));
    auto withFields = module.Settings();
    const auto fields = withFields->AddFields();
    ASSERT_EQ(fields->FieldCount(), 2);
    EXPECT_EQ(fields->FieldContent(u"a"), u"b");
    EXPECT_EQ(fields->FieldContent(u"x"), u"y");
    EXPECT_EQ(withFields->ReadSettingText("AddFields"), u"a=b=c|x=y|lonely");
    fields->PutField(u"z", u" 1 ");
    EXPECT_EQ(withFields->ReadSettingText("AddFields"), u"a=b|x=y|z=1");
    fields->RemoveField(u"A");
    EXPECT_EQ(withFields->ReadSettingText("AddFields"), u"x=y|z=1");

    // The lists outlive their settings object and then write nowhere.
    settings.reset();
    withFields.reset();
    attachments->ClearAttachments();
    fields->PutField(u"later", u"1");
    EXPECT_EQ(fields->FieldCount(), 3);
}

// ---------------------------------------------------------------------------
// Threads

TEST(SettingsThreadTest, ReadsWhileOtherThreadsAddEntries)
{
    TSettingsModule game(GameSettingsResource());
    const auto settings = game.Settings();
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i)
                settings->WriteSettingInt("Key" + std::to_string(t) + "_" + std::to_string(i), i);
        });
    std::thread reader([&] {
        while (!stop)
            EXPECT_EQ(settings->SmtpPort(), 25);
    });
    for (auto& w : writers)
        w.join();
    stop = true;
    reader.join();
    EXPECT_EQ(settings->ReadSettingInt("Key2_299"), 299);
}

} // namespace
