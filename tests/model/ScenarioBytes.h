// Scenario files written section by section by the tests: records of zero
// bytes with fields put at their offsets, texts, and a small landscape.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "tests/support/TestSupport.h"

// A record of n zero bytes with fields put at their offsets.
struct TRecord {
    std::string Bytes;
    explicit TRecord(size_t size) : Bytes(size, '\0') {}
    template <typename T> TRecord& Put(size_t offset, T value)
    {
        EXPECT_LE(offset + sizeof(T), Bytes.size());
        std::memcpy(Bytes.data() + offset, &value, sizeof(T));
        return *this;
    }
};

// The sections of a scenario file as a test writes them.
class TScenarioBytes {
public:
    void Raw(const std::string& name, const std::string& bytes, int32_t count, int32_t size)
    {
        Sections[name] = {bytes, count, size};
    }
    void Records(const std::string& name, const std::vector<TRecord>& records, size_t size = 0)
    {
        std::string bytes;
        for (const TRecord& record : records)
            bytes += record.Bytes;
        const size_t element = size != 0 ? size : records.empty() ? 1 : records[0].Bytes.size();
        Raw(name, bytes, static_cast<int32_t>(records.size()), static_cast<int32_t>(element));
    }
    void Ansi(const std::string& name, const std::vector<std::string>& texts)
    {
        std::string bytes;
        for (const std::string& text : texts)
            bytes += text + '\0';
        Raw(name, bytes, 1, static_cast<int32_t>(bytes.size()));
    }
    void Wide(const std::string& name, const std::vector<std::u16string>& texts)
    {
        std::string bytes;
        for (const std::u16string& text : texts) {
            const uint32_t length = static_cast<uint32_t>(text.size() * 2);
            bytes.append(reinterpret_cast<const char*>(&length), 4);
            bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        }
        Raw(name, bytes, 1, static_cast<int32_t>(bytes.size()));
    }
    void Remove(const std::string& name) { Sections.erase(name); }
    void Write(const std::string& file) const
    {
        TDatFile dat;
        dat.Init();
        for (const auto& [name, section] : Sections)
            dat.WriteRecords(name, section.Bytes.data(), section.Count, section.Size);
        ASSERT_TRUE(dat.Save(48, file));
    }

private:
    struct TSectionBytes {
        std::string Bytes;
        int32_t Count;
        int32_t Size;
    };
    std::map<std::string, TSectionBytes> Sections;
};

// A landscape of (n + 1)^2 cells whose height is x * 100 + z.
inline std::vector<TRecord> Landscape(int32_t n)
{
    std::vector<TRecord> cells;
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++)
            cells.push_back(TRecord(35).Put<int16_t>(0, static_cast<int16_t>(x * 100 + z)).Put<uint8_t>(2, 2));
    return cells;
}
