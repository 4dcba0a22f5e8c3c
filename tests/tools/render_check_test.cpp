// render_check draws each of its scenes through the real device (software
// GL) and reports probes; these are the frames the renderer must produce.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "model/Support.h"
#include "platform/os/OS.h"
#include "scenes/Landscape_Daylight.h"
#include "tests/support/TestSupport.h"

namespace {

// "probe NAME X Y RRGGBB" and "value NAME N" lines by name.
struct TProbes {
    std::map<std::string, uint32_t> Colours;
    std::map<std::string, long long> Values;
};

TProbes RunCheck(const std::string& arguments, std::string& out)
{
    int status = 0;
    out = RunProgram(DUSKMARCH_RENDER_CHECK, arguments, status);
    EXPECT_EQ(status, 0) << out;
    TProbes probes;
    std::istringstream lines(out);
    std::string kind, name, line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        words >> kind >> name;
        if (kind == "probe") {
            int x = 0, y = 0;
            std::string colour;
            words >> x >> y >> colour;
            probes.Colours[name] = static_cast<uint32_t>(std::strtoul(colour.c_str(), nullptr, 16));
        } else if (kind == "value") {
            words >> probes.Values[name];
        }
    }
    return probes;
}

// Within a few steps per channel: software rasterisers round differently.
bool Near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) > 6)
            return false;
    return true;
}

} // namespace

TEST(RenderCheck, SpritesClipAndLabel)
{
    std::string out;
    TProbes p = RunCheck("sprites", out);
    EXPECT_TRUE(Near(p.Colours["red"], 0xFF0000)) << out;
    EXPECT_EQ(p.Values["red_pixels"], 16) << out;
    EXPECT_TRUE(Near(p.Colours["clipped_in"], 0x00FF00)) << out;
    EXPECT_TRUE(Near(p.Colours["clipped_out"], 0)) << out;
    EXPECT_GT(p.Values["label_inside"], 20) << out;
    EXPECT_EQ(p.Values["label_outside"], 0) << out;
}

TEST(RenderCheck, WindingCulledSpriteLeavesNoRed)
{
    std::string out;
    TProbes p = RunCheck("winding", out);
    EXPECT_TRUE(Near(p.Colours["red"], 0)) << out;
    EXPECT_EQ(p.Values["red_pixels"], 0) << out;
}

TEST(RenderCheck, MeshThroughAnOffscreenTargetAndAScreenQuad)
{
    std::string out;
    TTempFolder folder;
    TProbes p = RunCheck("mesh --out \"" + folder.Path() + "mesh.tga\"", out);
    EXPECT_TRUE(Near(p.Colours["centre"], 0xFF8000)) << out;
    EXPECT_TRUE(Near(p.Colours["corner"], 0x101010)) << out;
    EXPECT_EQ(p.Values["entries"], 2) << out;
    EXPECT_EQ(p.Values["off_draw_calls"], 1) << out; // the instance behind the camera is culled
    EXPECT_EQ(folder.ReadFile("mesh.tga").size(), 18u + 160u * 120u * 4u);
}

TEST(RenderCheck, SkinnedBarBendsTowardTheLeft)
{
    std::string out;
    TProbes p = RunCheck("skinned", out);
    EXPECT_TRUE(Near(p.Colours["base"], 0xFFFFFF)) << out;
    EXPECT_GT(p.Values["upper_left"], 50) << out;
    EXPECT_EQ(p.Values["upper_right"], 0) << out;
}

// The contact sheet of the map's models and the personages: every cell shows
// its model, and the sheet stays in the build folder for a reviewer to see.
TEST(RenderCheck, ModelSheetFillsEveryCell)
{
    const std::string shots = std::string(DUSKMARCH_INSTALL) + "/../shots/";
    std::filesystem::create_directories(shots);
    std::string out;
    TProbes p = RunCheck("models --size 1280x960 --out \"" + shots + "models.tga\"", out);
    ASSERT_GT(p.Values["cells"], 0) << out;
    long long cells = 0;
    for (const auto& [name, value] : p.Values)
        if (name.rfind("cell_", 0) == 0) {
            cells++;
            EXPECT_GT(value, 0) << name << " shows nothing";
        }
    EXPECT_EQ(cells, p.Values["cells"]) << out;
    EXPECT_GT(ReadWholeFile(shots + "models.tga").size(), 1280u * 960u * 4u);
}

// Personages dressed and posed by the personage model code: the gear each
// one wears, the clip set its weapons choose, and a picture for a reviewer.
TEST(RenderCheck, PersonagesWearTheirGearInTheirPoses)
{
    const std::string shots = std::string(DUSKMARCH_INSTALL) + "/../shots/";
    std::filesystem::create_directories(shots);
    std::string out;
    TProbes p = RunCheck("personage --size 1024x1024 --out \"" + shots + "personage_poses.tga\"", out);
    const struct {
        const char* title;
        const char* prefix;
        long long worn;
    } cases[] = {
        {"knight_walk", "shield_", 2},
        {"archer_attack", "bow_", 2}, // the bow in the left hand, the quiver on the back
        {"pikeman_stand", "pike_", 1},
        {"knight_riding", "horse_", 3}, // lance, shield and horse
    };
    for (const auto& c : cases) {
        EXPECT_NE(out.find(std::string("prefix ") + c.title + " " + c.prefix + "\n"), std::string::npos) << out;
        EXPECT_EQ(p.Values[std::string(c.title) + "_worn"], c.worn) << c.title;
        EXPECT_GT(p.Values[std::string("cell_") + c.title], 5000) << c.title << " shows little";
    }
}

TEST(RenderCheck, PickNumbersReadBackExactly)
{
    for (const char* number : {"1234", "1", "65535", "2016"}) {
        std::string out;
        TProbes p = RunCheck(std::string("pick ") + number, out);
        EXPECT_EQ(p.Values["inside"], std::atoll(number)) << out;
        EXPECT_EQ(p.Values["outside"], 0) << out;
    }
}

TEST(RenderCheck, InterfaceTargetLaidOverTheMainPass)
{
    std::string out;
    TProbes p = RunCheck("gui-quad --size 200x100", out);
    EXPECT_TRUE(Near(p.Colours["sprite"], 0xFF0000)) << out;
    EXPECT_TRUE(Near(p.Colours["backdrop"], 0x0000FF)) << out;
}

TEST(RenderCheck, InterfaceWindowWithEveryControl)
{
    std::string out;
    TProbes p = RunCheck("gui --size 320x240", out);
    // Red faded to green halfway: 127 of 255 of the new look over the old.
    EXPECT_TRUE(Near(p.Colours["button_mix"], 0x807F00)) << out;
    EXPECT_TRUE(Near(p.Colours["check_box"], 0xFFFF00)) << out;
    EXPECT_TRUE(Near(p.Colours["slider_vertical"], 0x00FFFF)) << out;
    EXPECT_TRUE(Near(p.Colours["slider_horizontal"], 0x00FFFF)) << out;
    EXPECT_TRUE(Near(p.Colours["background"], 0x101010)) << out;
    EXPECT_EQ(p.Values["focused"], 1) << out;
    // Centred on x 160.
    EXPECT_EQ(p.Values["label_x"], 160 - p.Values["label_width"] / 2) << out;
    EXPECT_GT(p.Values["label_lit"], 50) << out;
    EXPECT_EQ(p.Values["label_around"], 0) << out;
    // The caret shows in its first 500 ms and not in the next.
    EXPECT_GT(p.Values["caret_lit"], 5) << out;
    EXPECT_EQ(p.Values["caret_lit_later"], 0) << out;
    // The three newest console lines in their colours; nothing above the block.
    EXPECT_GT(p.Values["console_red"], 20) << out;
    EXPECT_GT(p.Values["console_green"], 20) << out;
    EXPECT_GT(p.Values["console_blue"], 20) << out;
    EXPECT_EQ(p.Values["console_outside"], 0) << out;
}

TEST(RenderCheck, StringListScrolledHighlightedAndClipped)
{
    std::string out;
    TProbes p = RunCheck("list --size 320x240", out);
    // Eight items, the third wrapped onto three lines.
    EXPECT_EQ(p.Values["lines"], 10) << out;
    EXPECT_EQ(p.Values["item2_lines"], 3) << out;
    EXPECT_EQ(p.Values["highlight_height"], 3 * p.Values["line_height"]) << out;
    EXPECT_EQ(p.Values["scroll"], p.Values["line_height"] / 2) << out;
    EXPECT_TRUE(Near(p.Colours["highlight"], 0x0000C0)) << out;
    EXPECT_TRUE(Near(p.Colours["background"], 0x101018)) << out;
    EXPECT_GT(p.Values["text_lit"], 0) << out;
    // The clip keeps the scrolled text inside the list.
    EXPECT_EQ(p.Values["above_lit"], 0) << out;
    EXPECT_EQ(p.Values["below_lit"], 0) << out;
}

TEST(RenderCheck, SampleParticleEffect)
{
    std::string out;
    // Pools of rate x the shorter of the longest life and the emission time:
    // 20/s x 2.5 s and 25/s x 1.2 s.
    TProbes p = RunCheck("particles Interface/Effects/Demo.psi --seconds 2 --seed 3", out);
    EXPECT_EQ(p.Values["system1_pool"], 50) << out;
    EXPECT_EQ(p.Values["system2_pool"], 30) << out;
    // Lives of 0.8 .. 1.2 s at 25 a second.
    EXPECT_GE(p.Values["system2_live"], 20) << out;
    EXPECT_LE(p.Values["system2_live"], 30) << out;
    EXPECT_GT(p.Values["lit"], 100) << out;

    // The second system emits for 3 s and its particles live 1.2 s at most;
    // the first emits for ever, 20 a second for 1.5 .. 2.5 s each.
    p = RunCheck("particles Interface/Effects/Demo.psi --seconds 5", out);
    EXPECT_EQ(p.Values["system2_live"], 0) << out;
    EXPECT_GE(p.Values["system1_live"], 30) << out;
    EXPECT_LE(p.Values["system1_live"], 50) << out;
    EXPECT_EQ(p.Values["running"], 1) << out;
}

TEST(RenderCheck, DemonstrationWindowGeometryAndClick)
{
    int status = 0;
    const std::string out =
        RunProgram(DUSKMARCH_RENDER_CHECK,
                   "window Interface/Windows/GuiDemo.ini --size 1500x1050 --var margin=30 --click b_ok", status);
    ASSERT_EQ(status, 0) << out;
    // Worked out from the file: a 1500 x 1050 pass, a margin of 30, a 400 x
    // 120 panel, 120 x 32 buttons, 24 x 24 check boxes, a row gap of 12 and
    // the title's 96 x 18 pixels of "Duskmarch" in the baked font.
    const char* const lines[] = {
        "element c_title 750 40 96 18 1\n",   // centred on the screen, 10 below the panel's top
        "element b_ok 690 180 120 32 1\n",    // centred, a margin below the panel
        "element cb_sound 690 224 24 24 1\n", // under the button, the free value's gap between
        "element sb_list 1460 30 16 990 1\n", // the screen's height less two margins
        "element back 0 0 1500 1050 1\n",     // the tile stretched over the screen
        "element panel 550 30 400 120 1\n",   // "Panel%%" made "Panel_Eng"
        "element knob 0 0 120 32 0\n",        // the button's hover look, not drawn by itself
        "b_ok OnClick\n",
    };
    for (const char* line : lines)
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
}

namespace {

struct TElement {
    int X = 0, Y = 0, W = 0, H = 0, Visible = -1;
};

// The "element" lines of a window drawn at the given size, by lower-case name.
std::map<std::string, TElement> WindowElements(const std::string& file, const std::string& size)
{
    int status = 0;
    const std::string out = RunProgram(DUSKMARCH_RENDER_CHECK, "window " + file + " --size " + size, status);
    EXPECT_EQ(status, 0) << out;
    std::map<std::string, TElement> elements;
    std::istringstream lines(out);
    std::string line, kind, name;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        TElement e;
        if (words >> kind >> name >> e.X >> e.Y >> e.W >> e.H >> e.Visible && kind == "element")
            elements[name] = e;
    }
    return elements;
}

const char* const WindowSizes[] = {"1500x1050", "1867x1050"};

} // namespace

// The loading window as the start-up finds it: the landscape over the whole
// screen, the tip frame and the plate centred at the bottom, the 230 x 15 bar
// inside the plate and the label above the bar.
TEST(RenderCheck, LoadingWindowLayout)
{
    for (const char* size : WindowSizes) {
        const int width = std::atoi(size), height = 1050;
        auto e = WindowElements("Interface/Loading.ini", size);
        for (const char* name : {"s_background", "frame", "s_plate", "s_bar", "c_label"})
            ASSERT_EQ(e.count(name), 1u) << name << " at " << size;
        const TElement back = e["s_background"], frame = e["frame"], plate = e["s_plate"], bar = e["s_bar"],
                       label = e["c_label"];
        EXPECT_TRUE(back.X == 0 && back.Y == 0 && back.W == width && back.H == height) << size;
        EXPECT_EQ(bar.W, 230) << size;
        EXPECT_EQ(bar.H, 15) << size;
        EXPECT_TRUE(bar.X > plate.X && bar.X + bar.W < plate.X + plate.W && bar.Y > plate.Y &&
                    bar.Y + bar.H < plate.Y + plate.H)
            << size;
        for (const TElement& centred : {frame, plate})
            EXPECT_NEAR(centred.X + centred.W / 2, width / 2, 1) << size;
        EXPECT_NEAR(label.X, width / 2, 1) << size; // centred text: X is its middle
        EXPECT_LT(label.Y + label.H, bar.Y) << size;
        EXPECT_LT(frame.Y + frame.H, plate.Y) << size;
        EXPECT_GT(frame.Y, height / 2) << size;
        EXPECT_LE(plate.Y + plate.H, height) << size;
        EXPECT_EQ(frame.Visible, 1) << size;
    }
}

// The main menu's seven buttons in a centred column, each caption centred on
// its button, all on the screen and none over another.
TEST(RenderCheck, MainMenuLayout)
{
    const char* const names[] = {"continuegame", "newgame", "loadgame", "options", "credits", "topscores", "exit"};
    for (const char* size : WindowSizes) {
        const int width = std::atoi(size), height = 1050;
        auto e = WindowElements("Interface/MainMenu.ini", size);
        ASSERT_EQ(e.count("s_background"), 1u) << size;
        int previousBottom = 0;
        for (const char* name : names) {
            const std::string button = std::string("btn_") + name, caption = std::string("c_") + name;
            ASSERT_EQ(e.count(button), 1u) << button << " at " << size;
            ASSERT_EQ(e.count(caption), 1u) << caption << " at " << size;
            const TElement b = e[button], c = e[caption];
            EXPECT_GE(b.W, 300) << button;
            EXPECT_NEAR(b.X + b.W / 2, width / 2, 1) << button << " at " << size;
            EXPECT_GT(b.Y, previousBottom) << button << " at " << size;
            EXPECT_LE(b.Y + b.H, height) << button;
            EXPECT_EQ(c.X, b.X + b.W / 2) << caption << " at " << size;
            EXPECT_NEAR(c.Y + c.H / 2, b.Y + b.H / 2, 1) << caption << " at " << size;
            EXPECT_LT(c.W, b.W - 40) << caption; // the longest caption fits
            previousBottom = b.Y + b.H;
        }
    }
}

TEST(RenderCheck, BadArgumentsFail)
{
    int status = 0;
    RunProgram(DUSKMARCH_RENDER_CHECK, "no-such-scene", status);
    EXPECT_NE(status, 0);
    RunProgram(DUSKMARCH_RENDER_CHECK, "sprites --size 5x5", status);
    EXPECT_NE(status, 0);
    RunProgram(DUSKMARCH_RENDER_CHECK, "particles Interface/Effects/None.psi", status);
    EXPECT_NE(status, 0);
    RunProgram(DUSKMARCH_RENDER_CHECK, "window Interface/Windows/GuiDemo.ini --click nothing", status);
    EXPECT_NE(status, 0);
}

// The map scene's pictures stay in the build folder's "shots" for a reader.
namespace {

std::string MapShot(const std::string& name)
{
    const std::filesystem::path tool(DUSKMARCH_RENDER_CHECK);
    const std::filesystem::path shots = tool.parent_path().parent_path() / "shots";
    std::error_code ec;
    std::filesystem::create_directories(shots, ec);
    return (shots / name).string();
}

uint32_t Brightness(uint32_t rgb)
{
    return ((rgb >> 16) & 255) + ((rgb >> 8) & 255) + (rgb & 255);
}

} // namespace

TEST(RenderCheck, DaylightFromDawnThroughNoonToNight)
{
    std::string out;
    const std::string file = MapShot("daylight.tga");
    TProbes p = RunCheck("daylight --out \"" + file + "\"", out);
    ASSERT_EQ(p.Colours.size(), 6u) << out;
    EXPECT_GT(Brightness(p.Colours["noon"]), Brightness(p.Colours["midnight"]) + 300);
    EXPECT_GT(Brightness(p.Colours["morning"]), Brightness(p.Colours["dawn"]));
    EXPECT_GT(Brightness(p.Colours["evening"]), Brightness(p.Colours["night"]) + 200);
    EXPECT_GT(p.Values["sun_noon"], p.Values["sun_dawn"]);
    EXPECT_GT(p.Values["sun_noon"], p.Values["sun_evening"]);
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(RenderCheck, MapCoverOfLibraryModels)
{
    std::string out;
    const std::string file = MapShot("map-cover.tga");
    TProbes p = RunCheck("map-cover --out \"" + file + "\"", out);
    // Named buildings block their walls and open their gates.
    EXPECT_GT(p.Values["town_blocked"], 0) << out;
    EXPECT_GT(p.Values["town_gate"], 0);
    EXPECT_GT(p.Values["fort_blocked"], 0);
    EXPECT_GT(p.Values["fort_gate"], 0);
    // The ruin nobody names blocks all it covers.
    EXPECT_GT(p.Values["ruin_blocked"], 0);
    EXPECT_EQ(p.Values["ruin_passable"], 0);
    // The deck crosses the whole channel at cost 4; the open water blocks.
    EXPECT_EQ(p.Values["bridge_across"], 7);
    EXPECT_EQ(p.Values["bridge_cost"], 4);
    EXPECT_EQ(p.Values["water_open"], 0);
    // A rock, drawn whole into the index image as the map places it, blocks
    // its own vertex and the neighbours its model covers.
    EXPECT_EQ(p.Values["rocks_blocked"], 4);
    EXPECT_EQ(p.Values["rock_neighbours_open"], 0);
    EXPECT_TRUE(std::filesystem::exists(file));
}

// Arenas loaded as the battle loads them, with six personages of the sample
// units on the field: each one shows over the backdrop and picks as side x
// 32 + slot, wears its gear where it belongs, and no collision wall shows.
TEST(RenderCheck, ArenasWithPersonagesOnTheField)
{
    const std::string shots = std::string(DUSKMARCH_INSTALL) + "/../shots/";
    std::filesystem::create_directories(shots);
    const struct {
        const char* file;
        const char* tags;
        const char* shot;
    } arenas[] = {
        {"Arenas/Plain/Plain.qxs", "", "arena_plain.tga"},
        {"Arenas/Plain/Plain_Night.qxs", "", "arena_plain_night.tga"},
        {"Arenas/Lake/Lake.qxs", "island -collision", "arena_lake.tga"},
        {"Arenas/Tent/Tent.qxs", "", "arena_tent.tga"},
    };
    // Right 1, left 2, back 4, shield 8, horse 16.
    const struct {
        const char* name;
        long long slots;
    } cast[] = {
        {"pers_1_1", 1 | 8},      // sword, shield on the arm
        {"pers_1_2", 2 | 4},      // bow in the left hand, quiver on the back
        {"pers_1_3", 1},          // pike
        {"pers_2_1", 1 | 8 | 16}, // lance, shield, horse
        {"pers_2_2", 2},          // staff
        {"pers_2_3", 0},          // the wolf
    };
    for (const auto& arena : arenas) {
        SCOPED_TRACE(arena.file);
        std::string arguments = std::string("arena ") + arena.file + " --out \"" + shots + arena.shot + "\"";
        if (*arena.tags != '\0')
            arguments += std::string(" --tags \"") + arena.tags + "\"";
        std::string out;
        TProbes p = RunCheck(arguments, out);
        EXPECT_GT(p.Values["objects"], 0) << out;
        EXPECT_EQ(p.Values["collision_shown"], 0) << out;
        for (const auto& c : cast) {
            const std::string name = c.name;
            const long long side = name[5] - '0', slot = name[7] - '0';
            EXPECT_EQ(p.Values[name + "_differs"], 1) << name << "\n" << out;
            EXPECT_EQ(p.Values[name + "_pick"], side * 32 + slot) << name;
            EXPECT_EQ(p.Values[name + "_slots"], c.slots) << name;
        }
    }
}

// The sample scenario built as a new game's loading builds it, over the town
// by day and by night: the pictures stay in the build folder for a reviewer.
TEST(RenderCheck, SampleMapByDayAndByNight)
{
    SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
    LoadMapEditOptions();
    std::map<int, TProbes> frames;
    for (const auto& [minute, name] : {std::pair{600, "map_day.tga"}, std::pair{1380, "map_night.tga"}}) {
        SCOPED_TRACE(minute);
        std::string out;
        const std::string file = MapShot(name);
        // By day also the hero's army from near by.
        const std::string closeUp = minute == 600 ? " --close-up \"" + MapShot("map_day_army.tga") + "\"" : "";
        TProbes& p = frames[minute] =
            RunCheck("map --minute " + std::to_string(minute) + " --out \"" + file + "\"" + closeUp, out);
        // The town is drawn and the index pass names it; the hero's figure
        // carries the player's army number.
        ASSERT_GT(p.Values["town"], 0) << out;
        EXPECT_EQ(p.Values["town_pick"], p.Values["town"]) << out;
        EXPECT_EQ(p.Values["hero_pick"], 6000) << out;
        EXPECT_GT(p.Values["armies_shown"], 1);
        UpdateDaylight(int64_t{minute} * 10000);
        EXPECT_NE(p.Colours["town"], MapClearColor() & 0xFFFFFF) << out;
        EXPECT_EQ(static_cast<uint32_t>(p.Values["main_clear"]), MapClearColor() & 0xFFFFFF) << out;
        // The drawn footprints cost what the headless ones do away from the
        // models, and no building covers a vertex beyond its model.
        EXPECT_GT(p.Values["cover_compared"], 100000);
        EXPECT_EQ(p.Values["cover_mismatched"], 0);
        EXPECT_GT(p.Values["cover_vertices"], 0);
        EXPECT_EQ(p.Values["cover_outside"], 0);
        EXPECT_TRUE(std::filesystem::exists(file));
    }
    EXPECT_TRUE(std::filesystem::exists(MapShot("map_day_army.tga")));
    EXPECT_LE(frames[1380].Values["luminance"] * 10, frames[600].Values["luminance"] * 6);
}
