// The loading window's arithmetic and hand-over, the loader's fixed order,
// and the tip under the landscape.
#include "screens/front/Duskmarch_Loading.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "tests/render/GUITestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(LoadingBarTest, WidthOfTheProgressAgainstTheExpectation)
{
    struct Row {
        int64_t Progress;
        int64_t Expected;
        int32_t Width;
    };
    const Row rows[] = {
        {0, 1000, 0},                      // nothing arrived yet
        {-5, 1000, 0},                     // the device freed more than it received
        {500, 0, 0},                       // no amount measured yet: no division
        {500, -3, 0},                      // a broken expectation
        {1000, 1000, 230},                 // exactly the measured amount
        {2000, 1000, 230},                 // more than measured: held at the whole length
        {500, 1000, 115},                  // half
        {1, 1000, 0},                      // 0.23 px rounds to nothing
        {3, 1000, 1},                      // 0.69 px rounds to one
        {999, 1000, 230},                  // 229.77 rounds up
        {4000000000LL, 8000000000LL, 115}, // amounts past 32 bits
    };
    for (const Row& row : rows)
        EXPECT_EQ(LoadingBarWidth(row.Progress, row.Expected), row.Width) << row.Progress << " of " << row.Expected;
}

// The loader's side as the test wants it: a thread that has ended (or not
// yet), and an upload queue that drains one entry a call.
class TFakeLoadingDriver : public TLoadingDriver {
public:
    int64_t DeviceBytes() override { return Bytes; }
    void StartLoader() override
    {
        Started++;
        if (FinishAtOnce)
            StartupLoaderState = 3;
    }
    void JoinLoader() override { Joined++; }
    bool QueueEmpty() override { return Queue == 0; }
    void ProcessQueue(int32_t budget) override
    {
        Budgets.push_back(budget);
        // A large budget takes everything, the frame's budget one entry.
        Queue = budget > LoadingUploadBudget ? 0 : Queue - 1;
        Bytes += 100;
    }
    void HandOver(int64_t measured) override { HandedOver.push_back(measured); }

    bool FinishAtOnce = true;
    int32_t Queue = 0;
    int64_t Bytes = 0;
    int32_t Started = 0;
    int32_t Joined = 0;
    std::vector<int32_t> Budgets;
    std::vector<int64_t> HandedOver;
};

class LoadingFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartupLoaderState = 0;
        LoadingBaseline = 1000;
    }
    void TearDown() override { StartupLoaderState = 0; }
};

TEST_F(LoadingFrameTest, QueueDrainingOverThreeFramesOpensTheMenuInTheThird)
{
    TFakeLoadingDriver driver;
    driver.Queue = 3;
    driver.Bytes = 1000;
    EXPECT_FALSE(LoadingFrameStep(driver, false));
    EXPECT_EQ(driver.Started, 1);
    EXPECT_EQ(StartupLoaderState, 4) << "the ended thread is joined in the same frame";
    EXPECT_FALSE(LoadingFrameStep(driver, false));
    EXPECT_TRUE(driver.HandedOver.empty());
    EXPECT_TRUE(LoadingFrameStep(driver, false));
    EXPECT_EQ(driver.Started, 1);
    EXPECT_EQ(driver.Joined, 1);
    EXPECT_EQ(driver.Budgets, (std::vector<int32_t>{LoadingUploadBudget, LoadingUploadBudget, LoadingUploadBudget}));
    // The measured amount: the bytes since the window opened.
    EXPECT_EQ(driver.HandedOver, (std::vector<int64_t>{300}));
}

TEST_F(LoadingFrameTest, EmptyQueueWaitsForTheThread)
{
    TFakeLoadingDriver driver;
    driver.FinishAtOnce = false;
    for (int frame = 0; frame < 3; frame++)
        EXPECT_FALSE(LoadingFrameStep(driver, false)) << frame;
    EXPECT_EQ(driver.Started, 1) << "one thread, started in the first frame";
    EXPECT_EQ(driver.Joined, 0);
    StartupLoaderState = 3;
    EXPECT_TRUE(LoadingFrameStep(driver, false));
    EXPECT_EQ(driver.Joined, 1);
}

TEST_F(LoadingFrameTest, TestModeEndsTheLoaderAndUploadsAllInTheFirstFrame)
{
    TFakeLoadingDriver driver;
    driver.Queue = 50;
    EXPECT_TRUE(LoadingFrameStep(driver, true));
    EXPECT_EQ(driver.Joined, 2) << "joined as it starts, and again (harmlessly) at state 3";
    EXPECT_EQ(driver.Queue, 0);
    EXPECT_EQ(driver.HandedOver.size(), 1u);
}

// ---------------------------------------------------------------------------
// The loader's order

std::vector<std::string> Ran;

// Replaces every slot's step by one that records its name, for one test.
class LoaderOrderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const TLoaderSlot& slot : ScreenCreators)
            SavedCreators.push_back(slot.Run);
        for (int32_t i = 0; i < LoaderStepCount; i++)
            SavedSteps.push_back(LoaderSteps[i].Run);
        Ran.clear();
        StartupLoaderState = 0;
    }
    void TearDown() override
    {
        for (size_t i = 0; i < SavedCreators.size(); i++)
            ScreenCreators[i].Run = SavedCreators[i];
        for (size_t i = 0; i < SavedSteps.size(); i++)
            LoaderSteps[i].Run = SavedSteps[i];
        StartupLoaderState = 0;
    }
    std::vector<void (*)()> SavedCreators;
    std::vector<void (*)()> SavedSteps;
};

template <int N> void RecordCreator()
{
    Ran.push_back(ScreenCreators[N].Name);
}

TEST_F(LoaderOrderTest, ScreensAreBuiltInTheirFixedOrder)
{
    const std::vector<std::string> order = {"MainMenuScreen_Create",
                                            "OptionsScreen_Create",
                                            "TopScoresScreen_Create",
                                            "AchievementsScreen_Create",
                                            "SelectScenarioScreen_Create",
                                            "PersonageInfoScreen_Create",
                                            "BuildingInfoScreen_Create",
                                            "ArmyInfoScreen_Create",
                                            "SelectHeroScreen_Create",
                                            "SaveLoadScreen_Create",
                                            "ScenarioLoadingScreen_Create",
                                            "TransferScreen_Create",
                                            "ScenarioEndScreen_Create",
                                            "MapScreen_Create",
                                            "MapMenuScreen_Create",
                                            "JournalScreen_Create",
                                            "TentScreen_Create",
                                            "BuildingScreen_Create",
                                            "EventScreen_Create",
                                            "BattleLoadingScreen_Create",
                                            "BattleScreen_Create",
                                            "VictoryScreen_Create",
                                            "AssaultScreen_Create",
                                            "TutorialsScreen_Create",
                                            "BattleMenuScreen_Create",
                                            "JournalScreen_CreateMiniMap",
                                            "TAdditionalPersonage.Create",
                                            "EventResultsPanel_Create"};
    ASSERT_EQ(order.size(), static_cast<size_t>(ScreenCreatorCount));
    for (size_t i = 0; i < order.size(); i++)
        EXPECT_EQ(ScreenCreators[i].Name, order[i]) << i;
    EXPECT_NE(ScreenCreators[0].Run, nullptr) << "the main menu is built here";
}

TEST_F(LoaderOrderTest, TheThreadRunsTheFilledStepsInOrderAndSkipsTheEmpty)
{
    // Only the creators run for real here (recording); every other step is
    // left empty except the one that walks the creators.
    void (*walk)() = nullptr;
    for (int32_t i = 0; i < LoaderStepCount; i++)
        if (std::string(LoaderSteps[i].Name) == "ScreenCreators")
            walk = LoaderSteps[i].Run;
    ASSERT_NE(walk, nullptr);
    for (int32_t i = 0; i < LoaderStepCount; i++)
        LoaderSteps[i].Run = std::string(LoaderSteps[i].Name) == "ScreenCreators" ? walk : nullptr;
    for (TLoaderSlot& slot : ScreenCreators)
        slot.Run = nullptr;
    ScreenCreators[0].Run = RecordCreator<0>;
    ScreenCreators[13].Run = RecordCreator<13>;
    ScreenCreators[27].Run = RecordCreator<27>;
    StartupLoaderThread();
    EXPECT_EQ(Ran, (std::vector<std::string>{"MainMenuScreen_Create", "MapScreen_Create", "EventResultsPanel_Create"}));
    EXPECT_EQ(StartupLoaderState, 3);
}

TEST_F(LoaderOrderTest, StepsKeepTheirPlacesAroundTheScreens)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < LoaderStepCount; i++)
        names.push_back(LoaderSteps[i].Name);
    auto at = [&](const std::string& name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    const char* const order[] = {"UploadQueue_Begin",
                                 "MonthNames",
                                 "CreateConsole",
                                 "CurrentUserName",
                                 "ReadSettings",
                                 "GameTables",
                                 "LoadBattleEffects",
                                 "AI_LoadSettings",
                                 "HintList",
                                 "IconSizes",
                                 "LoadMapEditOptions",
                                 "LoadTerrainResources",
                                 "BattleMeshes",
                                 "TVisualArmyPath.Init",
                                 "SharedSprites",
                                 "ScreenCreators",
                                 "LoadSoundLibrary",
                                 "OptionsScreen_LoadSettings",
                                 "BetaLogWriteSettings",
                                 "UploadQueue_End"};
    for (size_t i = 0; i + 1 < std::size(order); i++)
        EXPECT_LT(at(order[i]), at(order[i + 1])) << order[i] << " before " << order[i + 1];
    EXPECT_TRUE(SetLoaderSlot("CreateConsole", RecordCreator<0>));
    EXPECT_TRUE(SetLoaderSlot("OptionsScreen_Create", RecordCreator<1>));
    EXPECT_EQ(ScreenCreators[1].Run, RecordCreator<1>);
    EXPECT_TRUE(SetLoaderSlot("TDragItem.Init", RecordCreator<2>));
    EXPECT_EQ(LoadingScreenSlots[1].Run, RecordCreator<2>);
    LoadingScreenSlots[1].Run = nullptr;
    EXPECT_FALSE(SetLoaderSlot("NoSuchStep", RecordCreator<0>));
}

// ---------------------------------------------------------------------------
// The hand-over between the loader thread and the window's frames

int32_t LoadedValue = 0; // written by the loader thread, read by the frame after the hand-over
std::mutex QueueLock;
int32_t QueuedUploads = 0;

void LoadSomething()
{
    for (int i = 0; i < 5; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::lock_guard<std::mutex> guard(QueueLock);
        QueuedUploads++;
    }
    LoadedValue = 42;
}

class TThreadLoadingDriver : public TLoadingDriver {
public:
    int64_t DeviceBytes() override { return 0; }
    void StartLoader() override { Thread = std::thread(StartupLoaderThread); }
    void JoinLoader() override
    {
        if (Thread.joinable())
            Thread.join();
    }
    bool QueueEmpty() override
    {
        std::lock_guard<std::mutex> guard(QueueLock);
        return QueuedUploads == 0;
    }
    void ProcessQueue(int32_t) override
    {
        std::lock_guard<std::mutex> guard(QueueLock);
        if (QueuedUploads > 0)
            QueuedUploads--;
    }
    void HandOver(int64_t) override { SeenAtHandOver = LoadedValue; }
    std::thread Thread;
    int32_t SeenAtHandOver = 0;
};

class LoaderHandOverThreadTest : public LoaderOrderTest {};

TEST_F(LoaderHandOverThreadTest, TheMenuSeesWhatTheThreadLoaded)
{
    for (int32_t i = 0; i < LoaderStepCount; i++)
        LoaderSteps[i].Run = nullptr;
    LoaderSteps[1].Run = LoadSomething;
    LoadedValue = 0;
    QueuedUploads = 0;
    LoadingBaseline = 0;
    TThreadLoadingDriver driver;
    int frames = 0;
    while (!LoadingFrameStep(driver, false) && frames < 100000) {
        frames++;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    driver.JoinLoader();
    EXPECT_EQ(driver.SeenAtHandOver, 42);
    EXPECT_EQ(StartupLoaderState, 4);
    EXPECT_EQ(QueuedUploads, 0);
}

// ---------------------------------------------------------------------------
// The tip

class TipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SavedSuffix = LanguageSuffix;
        LanguageSuffix = "_Eng";
    }
    void TearDown() override { LanguageSuffix = SavedSuffix; }
    TIniFile& Texts(const std::string& body)
    {
        Ini.Load(Folder.WriteProgramFile("Texts.ini", "[Texts]\r\nA_Eng=a\r\n" + body));
        return Ini;
    }
    TTempFolder Folder;
    TIniFile Ini;
    std::string SavedSuffix;
};

TEST_F(TipTest, NoTipWithoutCountOrText)
{
    const char* const bodies[] = {
        "",                                            // no section
        "[Tips]\r\nTips1_Eng=one\r\n",                 // no count
        "[Tips]\r\nTipsCount=0\r\nTips1_Eng=one\r\n",  // count 0
        "[Tips]\r\nTipsCount=1\r\nTips1_Eng=\r\n",     // an empty tip
        "[Tips]\r\nTipsCount=1\r\nTips1_Rus=один\r\n", // not in this language
    };
    for (const char* body : bodies) {
        SetRandomSeed(7);
        EXPECT_EQ(ChooseTip(Texts(body)), u"") << body;
        EXPECT_EQ(Ini.ReadString("A_Eng", -1), "a") << "section Texts is selected again";
    }
}

TEST_F(TipTest, EveryTipCanBeChosenAndNoOther)
{
    TIniFile& texts =
        Texts("[Tips]\r\nTipsCount=3\r\nTips1_Eng=one\r\nTips2_Eng=two\r\nTips3_Eng=three\r\nTips4_Eng=four\r\n");
    std::set<std::u16string> seen;
    for (uint32_t seed = 0; seed < 200; seed++) {
        SetRandomSeed(seed);
        seen.insert(ChooseTip(texts));
    }
    EXPECT_EQ(seen, (std::set<std::u16string>{u"one", u"two", u"three"}));
}

class TipFrameTest : public TGUITest {};

TEST_F(TipFrameTest, EmptyTipHidesTheFrameAndATipShowsIt)
{
    const std::string file = Folder.WriteProgramFile(
        "Loading.ini", "[Loading]\nLoading: window\nframe: sprite\nframe.width = 300\nframe.height = 100\n"
                       "frame.x = 10\nframe.y = 20\nframe.visible = 1\n");
    Render->Scene_Get(Scene)->AddPass("GUI", 0, 0, 640, 480);
    // Objects added by code belong to their maker: the list outlives the window.
    auto owned = std::make_unique<TGUI_StringList>(Render.get(), 20);
    TGUI_StringList* list = owned.get();
    TGUI_GraphicWindow window(Render.get(), "Loading_Window");
    window.DrawScene = Scene;
    window.LoadFromFile(file, "GUI", "");
    window.Arrange();
    window.AddObject(list, "", 0);
    const int32_t font = AddFixedFont(*Render, 8, 16);
    auto frameVisible = [&] {
        for (const TGUI_SpriteElement& element : window.SpriteElements)
            if (element.Name == "frame")
                return element.Visible != 0;
        ADD_FAILURE() << "no frame";
        return false;
    };

    ShowTip(window, *list, u"", font);
    EXPECT_FALSE(frameVisible());
    ShowTip(window, *list, u"A tip", font);
    EXPECT_TRUE(frameVisible());
    EXPECT_EQ(list->X, 30);
    EXPECT_EQ(list->Width, 260);
    // One 16-pixel line in an 80-pixel box: 32 pixels above it.
    EXPECT_EQ(list->Y, 30 + 32);
    ShowTip(window, *list, u"", font);
    EXPECT_FALSE(frameVisible());
}

} // namespace
