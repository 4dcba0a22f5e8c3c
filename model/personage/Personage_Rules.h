// The personage rules: reload from the template, strength rating, wounds,
// experience and levels, battle copies, item usability and equipping.
// Everything that changes a personage's type, level, items or wounds ends
// with a reload. They run on their caller's thread and draw from the
// engine's random generator.
#pragma once

#include <cstdint>

#include "engine/QX9_System.h"
#include "model/tables/Global.h"
#include "model/personage/Personage.h"

// AttackMode values (TActionMode numbers of the three attacks).
constexpr uint8_t AttackModeNone = 0;
constexpr uint8_t AttackModeFight = 4;
constexpr uint8_t AttackModeShoot = 13;
constexpr uint8_t AttackModeSpell = 16;

// ---------------------------------------------------------------------------
// Reload and strength

// Rebuilds every derived field of p from its template and its own state.
// Modes: 0 refresh, 1 after a level gain or a type change, 2 refresh that
// only lowers health, 4 new personage with the type's defaults, 5 new with a
// random weapon kind, 6 new with weapon kind and spell set chosen by arg,
// 7 restore. removed is emptied and receives the items taken off.
void ReloadPersonage(TPersonage& p, uint8_t mode, int32_t arg, TIntArray& removed);
// The same, for callers that keep nothing of what is taken off.
void ReloadPersonage(TPersonage& p, uint8_t mode);
// AttackMode from the three attack stats; ties give none.
void SetAttackMode(TPersonage& p);
// Strength and ItemStrength.
void CalcPersonageStrength(TPersonage& p);
// The caps, sums, factors and bonuses of one worn item applied to stats and
// a bonus set.
void ApplyItemEffects(const TItems& item, TStatArray& stats, TBonusSet& set);
// The experience that gains the next level.
int32_t CalcNextLevelExp(const TPersonage& p);

// ---------------------------------------------------------------------------
// Wounds, levels, battle copies

// Modes 0 (reload), 4 (battle reference), 19 (after a battle), 21 (healed
// over time), 25 (raise), 26 (lower); other modes do nothing.
void ApplyWoundStats(TPersonage& p, uint8_t mode);
// choice -1 gains the levels the experience pays for; 0 spends a point on a
// random upgrade or talent; otherwise the unit type (non-heroes) or talent
// code group x 100 + entry (heroes). Items a reload takes off go to the
// army's items and are listed in removed.
void LevelUp(int32_t army, int32_t slot, int32_t choice, TIntArray& removed);
void PrepareBattleCopy(const TPersonage& src, TPersonage& dst);
// The potion belt of a battle copy: the belt places (equipment slots 9 and
// 10) that hold a potion, in order.
void RebuildPotionBelt(TPersonage& p);

// ---------------------------------------------------------------------------
// Items

// Refusal codes of GetItemEquipRefusal.
enum TItemEquipRefusal : uint8_t {
    ieMayEquip = 0,
    ieNotUsed = 1,
    ieNotSkill = 2,
    ieNotSimple = 3,
    ieNotAligment = 4,
    ieNotNow = 5,
    ieNotAgry = 6,
    ieNotCursed = 7,
    ieNoNeed = 8,
    ieNoPlace = 9,
    ieLanceWithoutHorse = 10,
    ieBadPlace = 11,
    ieAlwaysUsed = 12,
};
// The hint key the screens show for a refusal code; empty for 0, 10 and
// codes outside the table.
const char* ItemEquipRefusalKey(uint8_t code);

int32_t GetItemIndex(int32_t id);
// The item of an id, nullptr when the id names no loaded item.
const TItems* FindItem(int32_t id);
// The item's main type (a TItemType); -1 when the id names no loaded item.
int32_t ItemMainType(int32_t id);
// Whether one of the personage's seven spell slots holds the spell.
bool KnowsSpell(const TPersonage& p, int32_t spell);
// Bit k set: the personage may wield weapons of TItemType k.
uint64_t GetEquipableItemKinds(const TPersonage& p);
// slot -1: the item alone; 1..14: in that slot too; -2: only code 12 counts.
uint8_t GetItemEquipRefusal(const TPersonage& p, int32_t item, int32_t slot);
bool IsItemUsableByType(const TPersonage& p, int32_t item, bool force);
int32_t FindUsableItemOfKind(const TPersonage& p, uint8_t kind);
uint8_t GetWeaponBonus(uint8_t mode, uint8_t kind, int32_t main, int32_t off);
// slot below 1 chooses the slot by kind (0 drinks a potion, -1 belts it);
// factor scales a potion's effect.
void EquipItem(TPersonage& p, int32_t item, int32_t slot, TIntArray& removed, float factor);
void RestoreDefaultItem(TPersonage& p, int32_t slot, TIntArray& removed);
