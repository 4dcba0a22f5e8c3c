// Any bytes as the model settings of personages and weapons
// ("Settings\Personages.qxs" and "Settings\Weapons.qxs", split at a line
// "%%"), read by the unit and item loaders for the models their tables name
// and for every section the files hold: whatever the bytes, the settings
// keep their shape (colours between 0 and 1, a known specular type, shadow
// on or off, a scale).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/tables/Global.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

const std::string Units = "[Knight]\r\nFileName=Knight01\r\n[Archer]\r\nFileName=Personages\\Archer01.d3d\r\n"
                          "[Nameless]\r\nFileName=\r\n";
const std::string Items = "[Sword]\r\nFileName=Sword01\r\nIconFileName=Sword.dds\r\n"
                          "[Bow]\r\nFileName=Weapons\\Bow01.D3D\r\n";

const std::string* TableText(const std::string& name, int language)
{
    if (language >= 0)
        return nullptr;
    return name == "Units.Ini" ? &Units : name == "Items.Ini" ? &Items : nullptr;
}

void Check(const TModelSettings& s)
{
    for (float c : s.ColorizationColor)
        FuzzCheck(c >= 0 && c <= 1);
    FuzzCheck(s.SpecularType <= 2 && s.Shadow <= 1 && s.Scale != 0);
}

// Every section of the file, as the name of a model.
void ReadEverySection(const std::string& file)
{
    TIniFile settings;
    settings.Load(file);
    TModelSettings s;
    for (int32_t n = 0; n < settings.SectionCount() && n < 64; ++n) {
        ReadModelSettings(settings.SectionName(n), settings, s);
        Check(s);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzGame game("modelsettings-fuzz", "eng");
    static const bool folders = OS_CreateDirectory(OS_ToProgramPath(game.Real + "Personages")) &&
                                OS_CreateDirectory(OS_ToProgramPath(game.Real + "Personages/Settings"));
    (void)folders;
    TableTextSource = &TableText;
    std::string parts[2];
    FuzzSplitInput(data, size, parts, 2);
    FuzzWriteRealFile(game.Real + "Personages/Settings/Personages.qxs", parts[0]);
    FuzzWriteRealFile(game.Real + "Personages/Settings/Weapons.qxs", parts[1]);
    TableLoadErrors.clear();
    LoadItems();
    LoadUnitTypes();
    for (int32_t n = 1; n <= ItemCount; ++n)
        Check(ItemTable[n].Model);
    for (int32_t n = 1; n <= UnitTypeCount; ++n)
        Check(UnitTypes[n].ModelSettings);
    ReadEverySection(PersonagesFolder + "Settings\\Personages.qxs");
    ReadEverySection(PersonagesFolder + "Settings\\Weapons.qxs");
    return 0;
}
