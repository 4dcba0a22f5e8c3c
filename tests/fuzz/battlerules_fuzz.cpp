// Any bytes as "Options_AI.ini" read for its battle rules (section
// "DefaultRules"): whatever the bytes, the rules load from them, and a file
// without the section reads every key as missing (switches off, numbers at
// the reader's defaults).
#include <cstddef>
#include <cstdint>
#include <string>

#include "battle/Battle_Rules.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzGame game("battlerules-fuzz", "eng");
    if (!FuzzWriteRealFile(game.Real + "Config/Options_AI.ini", data, size))
        return 0;
    LoadBattleRules();
    // The section's name as the reader sees it: lines lose their codes
    // below 14; a packed file is unpacked first (and not looked into here).
    std::string text;
    for (size_t i = 0; i < size; ++i)
        if (data[i] > 13 || data[i] == 10 || data[i] == 13)
            text.push_back(static_cast<char>(data[i]));
    if (text.compare(0, 4, "QXpf") != 0 && text.find("DefaultRules") == std::string::npos)
        FuzzCheck(!UseRetreat && !FriendlyFear && BattleEndTurn == 25 && MinDamage == 5 && MinManaCost == 5 &&
                  ExpCorrection[2] == 40000 && BadWound == -2500);
    return 0;
}
