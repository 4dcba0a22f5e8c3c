// Personage icons and their bars on the recording renderer: the segmented
// bar's slices and marks, zero divisors, the status marks, the level-up
// sign's pulse, the slide, the frames of empty slots and the hover fades.
#include "screens/kit/Duskmarch_PersIcon.h"

#include <gtest/gtest.h>

#include "render/QX9_Render_Sprites.h"
#include "tests/screens/kit/PartyTestSupport.h"

namespace {

class PersIconTest : public TPartyKitTest {
protected:
    float SliceWidth(int32_t sprite) { return Render->Sprite_Get(sprite)->Width; }

    TPersonage Bars(int32_t full, int32_t capped, int32_t hits, int32_t wounds, int32_t limit)
    {
        TPersonage p = *Hero;
        p.FullHits = full;
        p.Stats[statHits] = static_cast<int16_t>(capped);
        p.Hits = static_cast<int16_t>(hits);
        p.Wounds = wounds;
        p.WoundLimit = limit;
        return p;
    }
};

TEST_F(PersIconTest, BarSlicesAndWoundMarks)
{
    const int32_t x = 100, y = 200;
    TPersonage p = Bars(60, 45, 30, 2, 4);
    DrawPersonageBars(0, &p, BarFull, BarMissing, BarLost, x, y, 255, -1, -1);
    const auto drawn = Drawn();
    EXPECT_EQ(Of(drawn, BarFull), (std::vector<TDrawn>{{BarFull, x, y, 255}}));
    EXPECT_EQ(SliceWidth(BarFull), 30);
    EXPECT_EQ(Of(drawn, BarMissing), (std::vector<TDrawn>{{BarMissing, x + 30, y, 255}}));
    EXPECT_EQ(SliceWidth(BarMissing), 15);
    EXPECT_EQ(Of(drawn, BarLost), (std::vector<TDrawn>{{BarLost, x + 45, y, 255}}));
    EXPECT_EQ(SliceWidth(BarLost), 15);
    // Step 60 div 4 = 15; marks right to left, 8 wide, centred in their step;
    // 12 high over an 8-high bar.
    EXPECT_EQ(Of(drawn, IconSprites.StatusWounded),
              (std::vector<TDrawn>{{IconSprites.StatusWounded, x + 48, y - 2, 255},
                                   {IconSprites.StatusWounded, x + 33, y - 2, 255}}));
}

TEST_F(PersIconTest, BarCases)
{
    struct {
        const char* Name;
        int32_t Full, Capped, Hits, Wounds, Limit;
        int32_t FullDraws, FullWidth, MissingDraws, LostDraws, Marks;
    } cases[] = {
        // Full health: one whole bar and no marks, whatever wounds say.
        {"full health", 60, 60, 60, 3, 4, 1, 60, 0, 0, 0},
        {"dead", 60, 60, 0, 0, 4, 0, 0, 1, 0, 0},
        {"no grey when capped equals full", 60, 60, 20, 0, 4, 1, 20, 1, 0, 0},
        {"wound limit 0 draws no marks", 60, 45, 30, 2, 0, 1, 30, 1, 1, 0},
        {"full maximum 0 draws nothing", 0, 0, 0, 2, 4, 0, 0, 0, 0, 0},
        {"more wounds than the limit stop at the limit", 60, 30, 30, 9, 2, 1, 30, 0, 1, 2},
    };
    for (const auto& c : cases) {
        TPersonage p = Bars(c.Full, c.Capped, c.Hits, c.Wounds, c.Limit);
        DrawPersonageBars(0, &p, BarFull, BarMissing, BarLost, 0, 0, 255, -1, -1);
        const auto drawn = Drawn();
        EXPECT_EQ(Of(drawn, BarFull).size(), static_cast<size_t>(c.FullDraws)) << c.Name;
        if (c.FullDraws > 0)
            EXPECT_EQ(SliceWidth(BarFull), c.FullWidth) << c.Name;
        EXPECT_EQ(Of(drawn, BarMissing).size(), static_cast<size_t>(c.MissingDraws)) << c.Name;
        EXPECT_EQ(Of(drawn, BarLost).size(), static_cast<size_t>(c.LostDraws)) << c.Name;
        EXPECT_EQ(Of(drawn, IconSprites.StatusWounded).size(), static_cast<size_t>(c.Marks)) << c.Name;
    }
}

TEST_F(PersIconTest, BattleBarsWithZeroDivisorsDrawNothingOfThatPart)
{
    TPersonage p = Bars(60, 60, 30, 0, 4);
    p.AttackMode = 16;
    p.Stats[statMagicPower] = 0;
    p.Mana = 5;
    p.Mounted = 1;
    p.HorseHits = 0;
    const int32_t manaFull = Look(60, 8), manaEmpty = Look(60, 8);
    DrawPersonageBars(3, &p, BarFull, BarMissing, BarLost, 0, 0, 255, manaFull, manaEmpty);
    auto drawn = Drawn();
    EXPECT_TRUE(Of(drawn, manaFull).empty());
    EXPECT_TRUE(Of(drawn, manaEmpty).empty());
    EXPECT_TRUE(Of(drawn, IconSprites.HorseShoe).empty());
    EXPECT_EQ(Of(drawn, BarFull).size(), 1u);

    // With their divisors the parts come back: two horseshoes 18 wide in
    // steps of 30 under the bar.
    p.HorseHits = 2;
    DrawPersonageBars(3, &p, BarFull, BarMissing, BarLost, 0, 0, 255, manaFull, manaEmpty);
    drawn = Drawn();
    EXPECT_EQ(Of(drawn, IconSprites.HorseShoe),
              (std::vector<TDrawn>{{IconSprites.HorseShoe, 36, 10, 255}, {IconSprites.HorseShoe, 6, 10, 255}}));
}

TEST_F(PersIconTest, StatusMarksOfABoundSlot)
{
    TPersIcon icon;
    icon.Create(Window, IconArmySlot, "ArmyPersIcon0");
    icon.SetPosition(50, 60);
    icon.SetPersonage(Hero, PlayerArmy, 1, 1, 1);
    struct {
        int16_t Hits;
        int16_t Debt;
        int32_t Mark;
    } cases[] = {{0, 0, IconSprites.Dead}, {1, 3, IconSprites.Wounded}, {20, 3, IconSprites.NoMoney}, {20, 0, -1}};
    for (const auto& c : cases) {
        Hero->Hits = c.Hits;
        Hero->UpkeepDebt = c.Debt;
        icon.Draw(0, 0);
        const auto drawn = Drawn();
        for (int32_t mark : {IconSprites.Dead, IconSprites.Wounded, IconSprites.NoMoney}) {
            const auto found = Of(drawn, mark);
            if (mark == c.Mark)
                EXPECT_EQ(found, (std::vector<TDrawn>{{mark, 50, 60, 255}})) << c.Hits;
            else
                EXPECT_TRUE(found.empty()) << c.Hits << " " << mark;
        }
        EXPECT_EQ(Of(drawn, IconSprites.SlotArmy).size(), 1u);
    }
    icon.Destroy();
}

TEST_F(PersIconTest, LevelSignPulsesBetween180And0)
{
    EXPECT_EQ(LevelSignAlpha(0), 180);
    EXPECT_EQ(LevelSignAlpha(300), 90);
    EXPECT_EQ(LevelSignAlpha(600), 0);
    EXPECT_EQ(LevelSignAlpha(900), 90);
    EXPECT_EQ(LevelSignAlpha(1200), 180);

    TPersIcon icon;
    icon.Create(Window, IconArmySlot, "");
    icon.SetPersonage(Hero, PlayerArmy, 1, 1, 1);
    Hero->UpgradePoints = 1;
    for (const auto& [now, alpha] : {std::pair{12000, 180}, {12300, 90}, {12600, 0}}) {
        Now = now;
        icon.Draw(0, 0);
        EXPECT_EQ(Of(Drawn(), IconSprites.NewLevelSign), (std::vector<TDrawn>{{IconSprites.NewLevelSign, 3, 48, alpha}}));
    }
    Hero->UpgradePoints = 0;
    icon.Draw(0, 0);
    EXPECT_TRUE(Of(Drawn(), IconSprites.NewLevelSign).empty());
    icon.Destroy();
}

TEST_F(PersIconTest, SlideTakes400Milliseconds)
{
    TPersIcon icon;
    icon.Create(Window, IconArmySlot, "");
    icon.SetPersonage(Hero, PlayerArmy, 1, 1, 1);
    icon.SetPosition(400, 200);
    icon.SlideFromX = 0;
    icon.SlideFromY = 0;
    icon.SlideToX = 400;
    icon.SlideToY = 200;
    icon.SlideStart = 5000;
    icon.Flags |= IconSliding;
    for (const auto& [now, x, y] : {std::tuple{5000, 0, 0}, {5200, 200, 100}, {5400, 400, 200}}) {
        Now = now;
        icon.Draw(0, 0);
        EXPECT_EQ(Of(Drawn(), IconSprites.SlotArmy), (std::vector<TDrawn>{{IconSprites.SlotArmy, x, y, -1}})) << now;
    }
    EXPECT_EQ(icon.Flags & IconSliding, 0);
    icon.Destroy();
}

TEST_F(PersIconTest, EmptySlotFramesByRow)
{
    TPersIcon icon;
    icon.Create(Window, IconArmySlot, "");
    struct {
        int32_t Row;
        int32_t Frame;
    } cases[] = {{0, -1}, {1, IconSprites.SlotMelee}, {2, IconSprites.SlotRange}, {3, IconSprites.SlotSupport}, {4, -1}};
    for (const auto& c : cases) {
        icon.SetPersonage(nullptr, PlayerArmy, 0, c.Row, 0);
        icon.Draw(0, 0);
        const auto drawn = Drawn();
        for (int32_t frame : {IconSprites.SlotMelee, IconSprites.SlotRange, IconSprites.SlotSupport,
                              IconSprites.SlotArmy, IconSprites.SlotArmyActive})
            EXPECT_EQ(Of(drawn, frame).size(), frame == c.Frame ? 1u : 0u) << "row " << c.Row;
    }
    icon.Destroy();
}

TEST_F(PersIconTest, HireCardDoesNotHighlightDuringADrag)
{
    TPersIcon card;
    card.Create(Window, IconHireCard, "HirePersIcon0");
    card.SetPersonage(Hero, PlayerArmy, 1, 0, 0);
    card.GuiObject->EnterTime = Now - 120;
    card.Draw(0, 0);
    EXPECT_EQ(Of(Drawn(), IconSprites.SelectionHire), (std::vector<TDrawn>{{IconSprites.SelectionHire, 0, 0, 64}}));
    DragItem.Active = 1;
    DragItem.Kind = DragKindItem;
    card.Draw(0, 0);
    EXPECT_TRUE(Of(Drawn(), IconSprites.SelectionHire).empty());
    card.Destroy();
}

TEST_F(PersIconTest, HoverFadeRisesAndFalls)
{
    TGUI_Object object(Render.get());
    object.EnterTime = 1000;
    EXPECT_EQ(HoverFadeAlpha(object, 1060, 255), 127);
    EXPECT_EQ(HoverFadeAlpha(object, 1200, 255), 255);
    EXPECT_EQ(HoverFadeAlpha(object, 1060, 160), 80);
    object.EnterTime = -1;
    object.LeaveTime = 1000;
    EXPECT_EQ(HoverFadeAlpha(object, 1060, 255), 128);
    EXPECT_EQ(HoverFadeAlpha(object, 1500, 255), 0);
    object.LeaveTime = -1;
    EXPECT_EQ(HoverFadeAlpha(object, 1060, 255), 0);
}

TEST_F(PersIconTest, DisabledIconDrawsNothingAndDestroyFreesItsSprites)
{
    TPersIcon icon;
    icon.Create(Window, IconArmySlot, "ArmyPersIcon3");
    EXPECT_EQ(Window->FindObject("ArmyPersIcon3"), icon.GuiObject);
    icon.SetPersonage(Hero, PlayerArmy, 1, 1, 1);
    icon.SetEnabled(false);
    icon.Draw(0, 0);
    EXPECT_TRUE(Drawn().empty());
    EXPECT_EQ(icon.GuiObject->Visible, 0);
    const int32_t portrait = icon.Portrait;
    icon.Destroy();
    EXPECT_EQ(Window->FindObject("ArmyPersIcon3"), nullptr);
    EXPECT_EQ(Render->Sprite_Get(portrait), nullptr);
}

TEST_F(PersIconTest, BattleTilesDrawTheBattleScreensSpritesOnlyOnceLoaded)
{
    TPersIcon tile;
    tile.Create(Window, IconBattleTile, "");
    tile.SetPersonage(Hero, 1, 1, 1, 1);
    tile.SetPosition(200, 300);
    tile.Flags = IconBattleHighlightA | IconBattleHighlightB;
    tile.Draw(0, 0);
    auto drawn = Drawn();
    EXPECT_EQ(Of(drawn, tile.Portrait).size(), 1u);
    for (const TDrawn& d : drawn)
        EXPECT_GE(d.Sprite, 0) << "no sprite -1 is queued";

    const int32_t sides[2] = {Look(80, 95), Look(80, 95)}, a = Look(76, 91), b = Look(76, 91);
    BattleTileSprites[BattleTileSideFirst] = sides[0];
    BattleTileSprites[BattleTileSideSecond] = sides[1];
    BattleTileSprites[BattleTileHighlightA] = a;
    BattleTileSprites[BattleTileHighlightB] = b;
    Now = 7 * 300 - 50 * 300; // the pulse of y 300 at 300
    tile.Draw(0, 0);
    drawn = Drawn();
    EXPECT_EQ(Of(drawn, sides[0]), (std::vector<TDrawn>{{sides[0], 194, 294, -1}}));
    EXPECT_TRUE(Of(drawn, sides[1]).empty());
    EXPECT_EQ(Of(drawn, b), (std::vector<TDrawn>{{b, 197, 297, 211}}));
    EXPECT_EQ(Of(drawn, a), (std::vector<TDrawn>{{a, 197, 297, 211}}));
    EXPECT_EQ(BattlePulseAlpha(0, 0), 0);
    EXPECT_EQ(BattlePulseAlpha(7 * 255, 0), 255);
    EXPECT_EQ(BattlePulseAlpha(7 * 256, 0), 255);
    EXPECT_EQ(BattlePulseAlpha(7 * 511, 0), 0);
    for (int32_t& sprite : BattleTileSprites)
        sprite = -1;
    tile.Destroy();
}

} // namespace
