#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/personage/Personage.h"

TEST(PersonageTest, RawRoundTripKeepsEveryByte)
{
    std::vector<uint8_t> bytes(PersonageSize);
    for (int i = 0; i < PersonageSize; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    TPersonage p;
    ASSERT_TRUE(PersonageFromBytes(bytes.data(), bytes.size(), p));
    std::vector<uint8_t> back(PersonageSize);
    PersonageToBytes(p, back.data());
    EXPECT_EQ(back, bytes);
    // Little-endian fields at their offsets.
    int32_t level = 0;
    std::memcpy(&level, bytes.data() + 12, 4);
    EXPECT_EQ(p.Level, level);
    EXPECT_EQ(p.Stats[1], static_cast<int16_t>(bytes[728] | bytes[729] << 8));
    EXPECT_EQ(p.Equipment[14], *reinterpret_cast<const int32_t*>(bytes.data() + 760 + 13 * 4));

    // A short buffer is refused and the record left as it was.
    TPersonage untouched = p;
    EXPECT_FALSE(PersonageFromBytes(bytes.data(), PersonageSize - 1, p));
    EXPECT_EQ(std::memcmp(&untouched, &p, PersonageSize), 0);
}

TEST(PersonageTest, ShortStringsCutAndNeverTrustTheLengthByte)
{
    TPersonage p{};
    p.Name.Assign(std::string(60, 'n'));
    EXPECT_EQ(p.Name.Length, 40);
    EXPECT_EQ(p.Name.Str(), std::string(40, 'n'));
    EXPECT_EQ(p.TypeName.Length, 0); // the next field is untouched
    p.TypeName.Assign("Pikeman of the long watch");
    EXPECT_EQ(p.TypeName.Str(), "Pikeman of the long ");
    p.Name.Assign("Ann");
    EXPECT_EQ(p.Name.Str(), "Ann");
    EXPECT_EQ(p.Name.Chars[3], 0); // the rest is cleared
    // A length byte read from a file larger than the room.
    p.VoiceTag.Length = 200;
    EXPECT_EQ(p.VoiceTag.Str().size(), 32u);
}

TEST(PersonageTest, BonusSetBits)
{
    TBonusSet set{};
    struct Row {
        int Value;
        int Byte;
        uint8_t Bit;
    };
    const Row rows[] = {{0, 0, 0x01}, {7, 0, 0x80}, {8, 1, 0x01}, {114, 14, 0x04}, {203, 25, 0x08}, {207, 25, 0x80}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Value);
        set.Clear();
        set.Include(row.Value);
        EXPECT_TRUE(set.Has(row.Value));
        for (int i = 0; i < 26; ++i)
            EXPECT_EQ(set.Bits[i], i == row.Byte ? row.Bit : 0);
        set.Exclude(row.Value);
        EXPECT_TRUE(set.Empty());
    }
    // Outside 0..207 nothing is set and nothing is held.
    set.Clear();
    for (int v : {208, 255, 1000, -1})
        set.Include(v);
    EXPECT_TRUE(set.Empty());
    std::memset(set.Bits, 0xFF, sizeof set.Bits);
    EXPECT_FALSE(set.Has(208));
    EXPECT_FALSE(set.Has(-3));
    EXPECT_TRUE(set.Has(207));
}

TEST(PersonageTest, UnalignedBattleFields)
{
    TPersonage p{};
    p.SetWorkStat(1, 120);
    p.SetWorkStat(8, -7);
    p.SetWorkStat(9, 5); // outside 1..8: nothing
    int16_t v = 0;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(&p) + 1099 + 2, 2);
    EXPECT_EQ(v, 120);
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(&p) + 1099 + 16, 2);
    EXPECT_EQ(v, -7);
    EXPECT_EQ(p.GetWorkStat(8), -7);
    EXPECT_EQ(p.GetWorkStat(0), 0);
    p.SetShownPosition(2, 1.5f);
    float f = 0;
    std::memcpy(&f, reinterpret_cast<const uint8_t*>(&p) + 1451 + 8, 4);
    EXPECT_EQ(f, 1.5f);
    p.SetMoveVector(0, -2.0f);
    EXPECT_EQ(p.GetMoveVector(0), -2.0f);

    int16_t drink = 77;
    EXPECT_TRUE(p.WriteAt(1636 + 2 * 3, drink));
    EXPECT_EQ(p.PotionItems[3], 77);
    uint8_t poison = 0;
    EXPECT_TRUE(p.WriteAt<uint8_t>(1704, 2));
    EXPECT_TRUE(p.ReadAt(1704, poison));
    EXPECT_EQ(poison, 2);
    int64_t outside = 0;
    EXPECT_FALSE(p.ReadAt(PersonageSize - 4, outside));
    EXPECT_FALSE(p.WriteAt(-1, outside));
}

TEST(PersonageTest, DefaultModelSettings)
{
    const TModelSettings s = DefaultModelSettings();
    EXPECT_EQ(s.Shadow, 1);
    EXPECT_EQ(s.Scale, 100);
    EXPECT_EQ(s.SpecularSRE, 0);
    for (float c : s.ColorizationColor)
        EXPECT_EQ(c, 1.0f);
}

TEST(PersonageTest, ShortStringsCompareByText)
{
    TPersonage p{};
    p.Name.Assign("Pikeman");
    p.TypeName.Assign("Pikeman");
    EXPECT_TRUE(p.Name == p.TypeName);
    p.Name.Chars[20] = 'x'; // bytes past the text don't count
    EXPECT_TRUE(p.Name == p.TypeName);
    p.Name.Assign("Hob the Pikeman");
    EXPECT_FALSE(p.Name == p.TypeName);
    EXPECT_TRUE(p.Name == std::string("Hob the Pikeman"));
}
