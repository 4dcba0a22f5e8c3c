// The shader registry: one slot per file whatever the kind asked, deferred
// creation, a lost device, and the fatal refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_Upload.h"
#include "tests/render/RenderTestSupport.h"

namespace {

std::vector<uint8_t> Text(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

const std::string VertexCode = "//GLSL-VS\nvoid vs_main() {}\n";
const std::string PixelCode = "//GLSL-PS\nvoid ps_main() {}\n";

using ShadersTest = TRecordingRenderTest;

TEST_F(ShadersTest, OneSlotPerFileWhateverTheKind)
{
    const std::string vs = Write("Shaders\\Sprite_VS.bin", Text(VertexCode));
    const std::string ps = Write("Shaders\\Sprite_PS.bin", Text(PixelCode));
    const std::string root = Folder.ProgramPath();
    EXPECT_EQ(Render->Shader_Load(vs, 1), 0);
    EXPECT_EQ(Render->Shader_Load(root + "shaders\\SPRITE_vs.bin", 0), 0);
    EXPECT_EQ(Render->Shader_Load(ps, 0), 1);
    EXPECT_EQ(Render->ShaderCount, 2);
    EXPECT_EQ(Render->ShaderObjects, 2);
    EXPECT_EQ(Device.Texts(), (std::vector<std::string>{"CreateVertexShader " + std::to_string(VertexCode.size()),
                                                        "CreatePixelShader " + std::to_string(PixelCode.size())}));
    const T3D_Shader* shader = ShaderAt(*Render, 0);
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(shader->Vertex, 1);
    EXPECT_EQ(shader->KeepData, 1);
    EXPECT_EQ(shader->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(shader->Bytecode, Text(VertexCode));
    EXPECT_NE(shader->VertexShader, nullptr);
    EXPECT_EQ(ShaderAt(*Render, 2), nullptr);
}

TEST_F(ShadersTest, DeferredShadersCostTheirFileSize)
{
    Render->UploadQueue_Begin();
    const int32_t slot = Render->Shader_Load(Write("Screen_PS.bin", Text(PixelCode)), 0);
    ASSERT_EQ(Render->UploadQueue.size(), 1u);
    EXPECT_EQ(Render->UploadQueue[0].Kind, UPLOAD_SHADER);
    EXPECT_EQ(Render->UploadQueue[0].Cost, static_cast<int32_t>(PixelCode.size()));
    EXPECT_EQ(ShaderAt(*Render, slot)->State, RESOURCE_FILE_READ);
    EXPECT_TRUE(Device.Texts().empty());
    Render->UploadQueue_Process(UPLOAD_FRAME_BUDGET);
    Render->UploadQueue_End();
    EXPECT_EQ(ShaderAt(*Render, slot)->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(Render->ShaderObjects, 1);
}

TEST_F(ShadersTest, LostDeviceMakesEveryShaderAgain)
{
    Render->Shader_Load(Write("A_VS.bin", Text(VertexCode)), 1);
    Render->Shader_Load(Write("A_PS.bin", Text(PixelCode)), 0);
    const int32_t live = Device.LiveObjects();
    Device.CooperativeAnswers = {D3DERR_DEVICENOTRESET, D3DERR_DEVICENOTRESET};
    Device.Clear();
    EXPECT_TRUE(Render->CheckDevice());
    EXPECT_EQ(Device.CallsStartingWith("CreateVertexShader").size(), 1u);
    EXPECT_EQ(Device.CallsStartingWith("CreatePixelShader").size(), 1u);
    EXPECT_EQ(Render->ShaderObjects, 2);
    EXPECT_EQ(Device.LiveObjects(), live + 2) << "the new back buffer and depth surface only";
    EXPECT_EQ(ShaderAt(*Render, 1)->State, RESOURCE_ON_DEVICE);
}

TEST_F(ShadersTest, MissingFileAndFullRegistryStop)
{
    const std::string missing = Folder.ProgramPath() + "None_VS.bin";
    EXPECT_THROW(Render->Shader_Load(missing, 1), TRenderFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rT3D_Shader.Load(" + missing + ") -> FILE NOT FOUND!");

    ClearEngineErrorText();
    const std::string file = Write("B_PS.bin", Text(PixelCode));
    for (T3D_Shader*& shader : Render->Shaders)
        if (shader == nullptr)
            shader = reinterpret_cast<T3D_Shader*>(&Device);
    EXPECT_THROW(Render->Shader_Load(file, 0), TRenderFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rT3D_Render.Shader_Load(" + file + ") -> SHADER REGISTRY FULL!");
    for (T3D_Shader*& shader : Render->Shaders)
        if (shader == reinterpret_cast<T3D_Shader*>(&Device))
            shader = nullptr;
}

} // namespace
