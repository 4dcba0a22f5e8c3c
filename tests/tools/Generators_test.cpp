// The generators of the sample installation's pictures and music: the same
// bytes on every run, and the files the start-up loads, in the forms its
// readers take.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <vorbis/vorbisfile.h>

#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

// Runs the commands side by side (each generator twice at once halves the
// wait); the exit codes in order, -1 for one that did not run or end.
std::vector<int> RunTogether(const std::vector<std::vector<std::string>>& commands)
{
    std::vector<pid_t> pids;
    for (const auto& command : commands) {
        std::vector<char*> argv;
        for (const std::string& arg : command)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            pid = -1;
        pids.push_back(pid);
    }
    std::vector<int> exits;
    for (pid_t pid : pids) {
        int status = 0;
        exits.push_back(pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return exits;
}

// Every file below the folder by its relative path, sorted.
std::vector<std::string> FileTree(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

void ExpectSameTrees(const std::string& a, const std::string& b)
{
    const std::vector<std::string> files = FileTree(a);
    ASSERT_EQ(files, FileTree(b));
    for (const std::string& file : files)
        EXPECT_TRUE(ReadWholeFile(a + file) == ReadWholeFile(b + file)) << file;
}

uint32_t DWord(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    if (bytes.size() >= at + 4)
        std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

uint16_t Word(const std::string& bytes, size_t at)
{
    uint16_t v = 0;
    if (bytes.size() >= at + 2)
        std::memcpy(&v, bytes.data() + at, 2);
    return v;
}

// A picture's form as the texture loader sees it: "TGA32", "DXT1" or "DXT5"
// (anything else "?"), and its size.
struct TPicture {
    std::string Form;
    int Width = 0, Height = 0;
};

TPicture ReadPicture(const std::string& path)
{
    const std::string bytes = ReadWholeFile(path);
    if (bytes.size() >= 128 && bytes.compare(0, 4, "DDS ") == 0)
        return {std::string(bytes, 84, 4), static_cast<int>(DWord(bytes, 16)), static_cast<int>(DWord(bytes, 12))};
    if (bytes.size() >= 18 && bytes[2] == 2 && bytes[16] == 32)
        return {"TGA32", Word(bytes, 12), Word(bytes, 14)};
    return {"?"};
}

// The alpha of pixel (x, y) of a top-down 32-bit TGA without an ID field; -1 outside.
int TopDownAlpha(const std::string& tga, int x, int y)
{
    const int width = Word(tga, 12), height = Word(tga, 14);
    const size_t at = 18 + (static_cast<size_t>(y) * width + x) * 4 + 3;
    if (x < 0 || y < 0 || x >= width || y >= height || tga[0] != 0 || (tga[17] & 0x20) == 0 || at >= tga.size())
        return -1;
    return static_cast<uint8_t>(tga[at]);
}

// A generator's runs, each into its own temporary folder, kept for the
// tests of the program: a test asks for as many runs as it needs, and the
// missing ones run side by side.
class TGeneratorRuns {
public:
    explicit TGeneratorRuns(std::vector<std::string> command) : Command(std::move(command)) {}
    // The runs' folders (real paths), after making sure there are at least
    // count runs; false when one of them failed.
    bool Ensure(size_t count)
    {
        std::vector<std::vector<std::string>> commands;
        while (Folders.size() < count) {
            Folders.push_back(std::make_unique<TTempFolder>());
            std::vector<std::string> command = Command;
            command.insert(command.begin() + 1, Folders.back()->Path());
            commands.push_back(command);
        }
        for (int exit : RunTogether(commands))
            Failed = Failed || exit != 0;
        return !Failed;
    }
    std::string Folder(size_t i) const { return Folders[i]->Path(); }
    void Clear() { Folders.clear(); }

private:
    std::vector<std::string> Command; // the program, then the arguments after the folder
    std::vector<std::unique_ptr<TTempFolder>> Folders;
    bool Failed = false;
};

TGeneratorRuns InterfaceArt({DUSKMARCH_ARTGEN, "interface"});
TGeneratorRuns Music({DUSKMARCH_SOUNDGEN});

class GeneratorsTest : public ::testing::Test {
protected:
    static void TearDownTestSuite()
    {
        InterfaceArt.Clear();
        Music.Clear();
    }
};

} // namespace

TEST_F(GeneratorsTest, TwoRunsWriteTheSameBytes)
{
    ASSERT_TRUE(InterfaceArt.Ensure(2));
    ASSERT_TRUE(Music.Ensure(2));
    ExpectSameTrees(InterfaceArt.Folder(0), InterfaceArt.Folder(1));
    ExpectSameTrees(Music.Folder(0), Music.Folder(1));
    EXPECT_GT(FileTree(InterfaceArt.Folder(0)).size(), 100u);
    // The arena set's battle meshes and hex grid are not the interface set's.
    for (const char* other : {"Common/Hex_Circle.D3D", "Common/Hex_Parts.D3D", "Common/Hex_FlatArrow.D3D",
                              "Common/Way_Arrow.D3D", "Common/HEX_grid.DDS"})
        EXPECT_FALSE(std::filesystem::exists(InterfaceArt.Folder(0) + "Interface/" + other)) << other;
}

// What the loading window, the main menu and the start-up loader read from
// the installation the build laid out, each in the form and size its reader
// and window file take.
TEST_F(GeneratorsTest, InterfaceSetHoldsWhatTheStartUpLoads)
{
    const std::string root = std::string(DUSKMARCH_INSTALL) + "/Interface/";
    const struct {
        const char* File;
        const char* Form;
        int Width, Height; // 0: any
    } pictures[] = {
        {"Loading/Bar.tga", "TGA32", 230, 15},
        {"Loading/Frame.tga", "TGA32", 420, 96},
        {"Loading/TipFrame.tga", "TGA32", 960, 128},
        {"MainMenu/Button.tga", "TGA32", 400, 64},
        {"MainMenu/Button_Hover.tga", "TGA32", 400, 64},
        {"MainMenu/Button_Pressed.tga", "TGA32", 400, 64},
        {"MainMenu/Button_Disabled.tga", "TGA32", 400, 64},
        {"MainMenu/Panel.tga", "TGA32", 480, 640},
        {"Common/Black.DDS", "DXT1", 0, 0},
    };
    for (const auto& p : pictures) {
        const TPicture got = ReadPicture(root + p.File);
        EXPECT_EQ(got.Form, p.Form) << p.File;
        if (p.Width > 0) {
            EXPECT_TRUE(got.Width == p.Width && got.Height == p.Height)
                << p.File << " " << got.Width << "x" << got.Height;
        }
    }
    // The cursors, each with its point drawn where the loading window puts
    // the mouse: an opaque pixel at the hot spot.
    const struct {
        const char* Name;
        int X, Y;
    } cursors[] = {{"Cursor", 0, 0},         {"Loading", 10, 17},   {"Cursor_battle", 17, 18}, {"Cursor_action", 0, 0},
                   {"Cursor_enter", 17, 15}, {"Cursor_move", 0, 0}, {"Inspect", 0, 0},         {"Cursor_stop", 0, 0}};
    for (const auto& c : cursors) {
        const std::string path = root + "Common/Cursors/" + c.Name + ".tga";
        const TPicture got = ReadPicture(path);
        ASSERT_EQ(got.Form, "TGA32") << c.Name;
        EXPECT_TRUE(got.Width >= 24 && got.Width <= 64 && got.Height >= 24 && got.Height <= 64) << c.Name;
        EXPECT_GE(TopDownAlpha(ReadWholeFile(path), c.X, c.Y), 128) << c.Name;
    }
    // The backgrounds: opaque DXT1 on a texture the GUI stretches over the screen.
    for (const char* name :
         {"altar", "altar_night", "castle", "castle_night", "harbor", "harbor_night", "house", "house_night", "market",
          "market_night", "rhuins", "rhuins_night", "town_night", "village"}) {
        const TPicture got = ReadPicture(root + "Common/Images/" + name + ".dds");
        EXPECT_EQ(got.Form, "DXT1") << name;
        EXPECT_TRUE(got.Width == 2048 && got.Height == 1024) << name;
    }
    // The shared sprites of the start-up loader (names without an extension are ".DDS").
    const char* const sprites[] = {
        "Common/Army_Locked.DDS",
        "Common/Army_Selection.DDS",
        "Common/Saving_Icon.DDS",
        "Common/Invent_Selection.DDS",
        "Common/Invent_Selection_Long.DDS",
        "Common/Invent_Selection_List.DDS",
        "Common/Item_Locked.DDS",
        "Common/MiniButton_Ok.DDS",
        "Common/MiniButton_Ok_Putted.DDS",
        "Common/MiniButton_Ok_Lighten.DDS",
        "Common/MiniButton_Cancel.DDS",
        "Common/MiniButton_Cancel_Putted.DDS",
        "Common/MiniButton_Cancel_Lighten.DDS",
        "Windows/Common/slot_army.DDS",
        "Windows/Common/slot_army_active.DDS",
        "Windows/Common/slot_melee.DDS",
        "Windows/Common/slot_range.DDS",
        "Windows/Common/slot_support.DDS",
        "Windows/Common/slot_talent_inactive.DDS",
        "Windows/Common/slot_talent_active.DDS",
        "Windows/Common/button_trade_inactive.DDS",
        "Windows/Common/button_trade_click.DDS",
        "Windows/Common/button_trade_active.DDS",
        "Windows/Common/button_trade_disabled.DDS",
        "Windows/Common/Icons/Weapon_Sword.tga",
        "Windows/Common/Icons/Weapon_Bow.tga",
        "Windows/Common/Icons/Charact_SpellPower.tga",
        "Windows/Common/Icons/Charact_Health.tga",
        "Windows/Common/Icons/Charact_WoundHeal.tga",
        "Windows/Common/Icons/Charact_Initiative.tga",
        "Windows/Common/Icons/Charact_MeleeArmor.tga",
        "Windows/Common/Icons/Charact_DistantArmor.tga",
        "Windows/Common/Icons/Charact_Willpower.tga",
        "Windows/Common/Icons/Status_Wounded.tga",
        "Windows/Common/Icons/HorseShoe.tga",
        "Windows/Common/Icons/Icon_Arrow_Up.tga",
        "Windows/Common/Icons/Icon_Arrow_Down.tga",
        "Windows/Common/Icons/Icon_Arrows_Both.tga",
        "Windows/Common/Icons/Unit_Companion.tga",
        "Windows/Common/Icons/Unit_Vedidize.tga",
        "Windows/Common/Icons/Unit_Mercenary.tga",
        "Windows/Common/Icons/NoIcon.tga",
        "Windows/_OldGraphics/Gold.DDS",
        "Windows/_OldGraphics/NewLevelSign.DDS",
        "Common/Icons/Items/Trophy_04.DDS",
        "Common/Icons/Abilities/Sandglass_Simple.tga",
        "Common/Icons/Abilities/Sandglass_Lighten.tga",
        "Common/Icons/Abilities/Sandglass_Putted.tga",
        "Common/Icons/Abilities/Retreat_Simple.tga",
        "Common/Icons/Abilities/Retreat_Lighten.tga",
        "Common/Icons/Abilities/Retreat_Putted.tga",
        "Windows/Inventory/Dead.tga",
        "Windows/Inventory/Wounded.tga",
        "Windows/Inventory/NoMoney.tga",
        "Windows/Inventory/slot_character.DDS",
        "Windows/Inventory/slot_amulets.DDS",
        "Windows/Inventory/slot_default.DDS",
        "Windows/Inventory/slot_inventory.DDS",
        "Windows/Inventory/slot_inventory_green.DDS",
        "Windows/Inventory/slot_inventory_red.DDS",
        "Windows/Tent/talent_arrow_inactive.DDS",
        "Windows/Tent/talent_arrow_inactive_02.DDS",
        "Windows/Tent/talent_arrow_inactive_03.DDS",
        "Windows/Tent/talent_arrow_active.DDS",
        "Windows/Tent/talent_arrow_active_02.DDS",
        "Windows/Tent/talent_arrow_active_03.DDS",
        "Tent/Inventory_Lable.DDS",
        "Tent/Arrow.DDS",
        "Windows/Building/slot_shop_inactive.DDS",
        "Windows/Building/slot_shop_inactive_green.DDS",
        "Windows/Building/slot_shop_inactive_red.DDS",
        "Windows/Building/slot_shop_active.DDS",
        "Windows/Building/slot_shop_active_green.DDS",
        "Windows/Building/slot_shop_active_red.DDS",
        "Windows/SaveLoad/slot_save2.DDS",
        "Windows/SaveLoad/slot_save_glow2.DDS",
    };
    for (const char* sprite : sprites) {
        const TPicture got = ReadPicture(root + sprite);
        EXPECT_TRUE(got.Form == "TGA32" || got.Form == "DXT5") << sprite << ": " << got.Form;
    }
}

// The contact sheet of the screens' pictures, left in the build folder's
// "shots" for a reader: a PNG as wide as its eleven tiles, with a row for
// every eleven pictures.
TEST_F(GeneratorsTest, ContactSheetOfTheScreensPictures)
{
    const std::filesystem::path shots = std::filesystem::path(DUSKMARCH_INSTALL).parent_path() / "shots";
    std::filesystem::create_directories(shots);
    const std::string sheet = (shots / "ui_art_sheet.png").string();
    std::filesystem::remove(sheet);
    TTempFolder folder;
    ASSERT_EQ(RunTogether({{DUSKMARCH_ARTGEN, folder.Path(), "interface", "--sheet", sheet}}), std::vector<int>{0});
    const std::string png = ReadWholeFile(sheet);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    auto be32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(png[at])) << 24 |
               static_cast<uint32_t>(static_cast<uint8_t>(png[at + 1])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(png[at + 2])) << 8 | static_cast<uint8_t>(png[at + 3]);
    };
    EXPECT_EQ(be32(16), 11u * 176u);
    // At least the screens' two hundred pictures.
    EXPECT_GE(be32(20), 19u * 150u);
}

// The installation's two themes: stereo Ogg Vorbis at the mixer's rate, 20
// to 40 seconds long, and not silent.
TEST_F(GeneratorsTest, ThemesPlayTheirLength)
{
    for (const char* name : {"01 The Gloamwood.ogg", "28 The Raven.ogg"}) {
        const std::string path = std::string(DUSKMARCH_INSTALL) + "/Music/" + name;
        OggVorbis_File file;
        ASSERT_EQ(ov_fopen(path.c_str(), &file), 0) << name;
        const vorbis_info* info = ov_info(&file, -1);
        EXPECT_EQ(info->channels, 2) << name;
        EXPECT_EQ(info->rate, 44100) << name;
        const double seconds = ov_time_total(&file, -1);
        EXPECT_TRUE(seconds >= 20 && seconds <= 40) << name << ": " << seconds << " s";
        float peak = 0;
        float** samples = nullptr;
        int section = 0;
        long frames = 0;
        while ((frames = ov_read_float(&file, &samples, 4096, &section)) > 0)
            for (long i = 0; i < frames; i++)
                peak = std::max(peak, std::fabs(samples[0][i]));
        EXPECT_GT(peak, 0.5f) << name;
        ov_clear(&file);
    }
}
