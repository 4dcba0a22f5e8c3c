// A game folder in a temporary folder, with the set-up globals pointing at it
// and a recording renderer installed, for the tests of the game tables; and
// the same for the sample installation checked in under data/.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/QX9_System.h"

#include "model/tables/Global.h"
#include "model/Support.h"
#include "tests/fakes/RecordingRenderHooks.h"
#include "tests/support/TestSupport.h"

// Wide table text as UTF-8, for comparing with literals.
inline std::string Utf8(const std::u16string& text)
{
    return OS_WideToMultiByte(CP_UTF8, text);
}

class TGameFolderTest : public ::testing::Test {
protected:
    TTempFolder Folder;
    TRecordingRenderHooks Render;

    void SetUp() override
    {
        SetGameFolders(Folder.ProgramPath());
        FreeGameOptions();
        SetGameLanguage("eng");
        SetRenderHooks(&Render);
        TableLoadErrors.clear();
    }
    void TearDown() override
    {
        SetRenderHooks(nullptr);
        FreeGameOptions();
        SetGameLanguage("eng");
    }

    // Writes a file below the game folder (the path may use "\" or "/").
    void Write(const std::string& relative, const std::string& text) const { Folder.WriteProgramFile(relative, text); }
    // The program path of a file below the game folder.
    std::string Game(const std::string& relative) const { return GameFolder + relative; }

    // Lists the mods in the installation's options and reads them (the
    // user's copy goes to "User\" in the game folder).
    void UseMods(const std::string& modList)
    {
        FreeGameOptions();
        std::remove((Folder.Path() + "User/Options_Game.ini").c_str());
        Write("Options_Game.ini", "[Main]\r\nGlobal_Language=eng\r\nModName=" + modList + "\r\n");
        LoadGameOptions(GameFolder + "User\\");
    }
};

// A game folder without mods, for the tests of one table's loader.
class TTableTest : public TGameFolderTest {
protected:
    void SetUp() override
    {
        TGameFolderTest::SetUp();
        UseMods("");
    }
};

// The sample installation as the game folder (read only: the user's options
// go to a temporary folder), with a recording renderer installed.
class TSampleInstallationTest : public ::testing::Test {
protected:
    TTempFolder User;
    TRecordingRenderHooks Render;

    void SetUp() override
    {
        const std::string data = std::filesystem::canonical(FixturePath("../../data")).string();
        SetGameFolders(OS_ToProgramPath(data));
        FreeGameOptions();
        LoadGameOptions(User.ProgramPath());
        SetGameLanguage("eng");
        SetRenderHooks(&Render);
        TableLoadErrors.clear();
        ClearEngineErrorText();
    }
    void TearDown() override
    {
        SetRenderHooks(nullptr);
        FreeGameOptions();
        SetGameLanguage("eng");
    }
};
