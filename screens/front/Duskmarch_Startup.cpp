#include "screens/front/Duskmarch_Startup.h"

#include "engine/QX9_System.h"
#include "platform/os/OS.h"

int32_t ItemCellSize = 96;
int32_t SmallItemCellSize = 70;
int32_t LongItemCellHeight = 375;
int32_t ShadowPresetSize = 2048;
uint8_t RenderATOC = 0;

namespace {

const char* const SettingsFileName = "Options_Game.ini";

void SelectOrAddSection(TIniFile& ini, const std::string& section)
{
    if (ini.SelectSection(section))
        return;
    TIniSection added;
    added.Name = section;
    ini.Sections.push_back(std::move(added));
    ini.SelectSection(section);
}

} // namespace

void LoadInstallFile(TIniFile& ini, const std::string& fileName)
{
    // The loader would create a missing file; the installation is only read.
    if (!FileExistsMask(fileName))
        FatalError("TIniFile.Load", fileName, "FILE NOT FOUND!");
    ini.Load(fileName);
}

void PrepareUserSettings(TIniFile& settings, const std::string& userFolder, const std::string& gameFolder)
{
    const std::string userFile = userFolder + SettingsFileName;
    if (!PathDirExists(userFolder) || !FileExistsMask(userFile)) {
        TIniFile install;
        LoadInstallFile(install, gameFolder + SettingsFileName);
        OS_CreateDirectoryTree(userFolder);
        install.Save(userFile);
    }
    settings.Load(userFile);
}

void CopyInstallDefault(TIniFile& settings, TIniFile& install, const std::string& section, const std::string& key)
{
    std::string value;
    if (install.SelectSection(section))
        value = install.ReadString(key, -1);
    SelectOrAddSection(settings, section);
    settings.WriteString(key, value, -1);
}

void CopyInstallDefaults(TIniFile& settings, const std::string& gameFolder)
{
    TIniFile install;
    LoadInstallFile(install, gameFolder + SettingsFileName);
    for (const TMeasuredLoadingKey& entry : MeasuredLoadingKeys)
        CopyInstallDefault(settings, install, entry.Section, entry.Key);
    settings.Save();
}

TVirtualSize ComputeVirtualSize(int32_t screenWidth, int32_t screenHeight)
{
    TVirtualSize size{screenWidth, screenHeight, 1.0f, 1.0f};
    if (screenWidth <= 0 || screenHeight <= 0 || (screenWidth >= 1500 && screenHeight >= 1050))
        return size;
    if (static_cast<float>(screenWidth) / static_cast<float>(screenHeight) < 1.428f) {
        size.Width = 1500;
        size.Height = static_cast<int32_t>(static_cast<int64_t>(screenHeight) * 1500 / screenWidth);
    } else {
        size.Width = static_cast<int32_t>(static_cast<int64_t>(screenWidth) * 1050 / screenHeight);
        size.Height = 1050;
    }
    size.ScaleX = static_cast<float>(size.Width) / static_cast<float>(screenWidth);
    size.ScaleY = static_cast<float>(size.Height) / static_cast<float>(screenHeight);
    return size;
}

int32_t ShadowMapSize(int32_t setting)
{
    switch (setting) {
    case 1:
    case 1024:
        return 1024;
    case 3:
    case 4096:
        return 4096;
    default:
        return 2048;
    }
}

void ShutDownInOrder(const TShutdownSteps& steps)
{
    if (steps.FlushRecorder != nullptr)
        steps.FlushRecorder();
    if (steps.SaveLog != nullptr)
        steps.SaveLog();
    if (steps.FreeRenderer != nullptr)
        steps.FreeRenderer();
}
