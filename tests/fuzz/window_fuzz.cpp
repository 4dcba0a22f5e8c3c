// Any bytes as a window description file, parsed and arranged twice (with a
// variable and an object added by code in between) in a scene whose "GUI"
// pass gives the screen size. The file has no extension and nothing beside
// it, so no name resolves to a file: what is exercised is the parser, the
// element look-ups and the layout's substitutions and evaluation.
#include <cstddef>
#include <cstdint>
#include <string>

#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "tests/fuzz/FuzzRender.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("window-fuzz", "");
    if (!FuzzWriteFile(files.Input, data, size))
        return 0;
    T3D_Render& render = FuzzRender();
    // Made once, freed at the end of the run (before the renderer goes).
    struct TScene {
        T3D_Render& Render;
        int32_t Index;
        ~TScene()
        {
            delete Render.Scenes[static_cast<size_t>(Index)];
            Render.Scenes[static_cast<size_t>(Index)] = nullptr;
        }
    };
    static const TScene owned{render, render.Scene_Add("2D")};
    const int32_t scene = owned.Index;
    if (render.Scene_Get(scene)->FindPass("GUI") == nullptr)
        render.Scene_Get(scene)->AddPass("GUI", 0, 0, 800, 600);
    TGUI_Object added(&render);
    {
        TGUI_GraphicWindow window(&render, "fuzz");
        window.DrawScene = scene;
        window.AddMacro("%%", "_Eng");
        FuzzRefuses([&] {
            window.LoadFromFile(files.Input, "GUI", "");
            window.Arrange();
            window.SetVariableInt("gap", 12, false);
            window.SetVariable("b_ok.x", "3", true);
            window.AddObject(&added, "s_list", 3);
            window.MoveTo(5, 7);
            window.Draw();
            window.RemoveObject(window.GetObject(0));
            window.Arrange();
        });
    }
    render.Scene_Get(scene)->ClearDrawList();
    FreeFuzzRenderResources(render);
    return 0;
}
