// A GUI object's Tag names the record behind it (a cell, a list, a sign).
// Tags are 32-bit, so a record is registered once with its kind and its tag
// is a handle that stands for it: handles start far above every bonus, stat
// and index tag the screens use, and a handle read as the wrong kind of
// record gives nothing.
//
// Threads: main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int32_t ObjectTagBase = 0x40000000;

enum TObjectTagKind : uint8_t {
    TagKindNone = 0,
    TagKindCell = 1,
    TagKindList = 2,
    TagKindSign = 3,
    TagKindPanelSlot = 4,
    TagKindPanel = 5,
};

// The handle of target (the same handle when it is registered already).
int32_t ObjectTagFor(const void* target, TObjectTagKind kind);
// The record a handle stands for when it is of that kind; nullptr else.
void* ObjectTagTarget(int32_t tag, TObjectTagKind kind);
// Forgets the record (its handle then names nothing).
void ReleaseObjectTag(const void* target);
