// After a lost device the caches are forgotten: the next key applies every
// field again and every global constant is uploaded again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/QX9_Render_StateKey.h"
#include "tests/render/RenderTestSupport.h"

namespace {

using CacheRecoveryTest = TRecordingRenderTest;

TEST_F(CacheRecoveryTest, StatesAndConstantsAreSetAgainAfterALostDevice)
{
    T3D_ConstantTemplate constantTemplate;
    constantTemplate.Entry(CONSTANT_VERTEX, 0)->Name = "Proj";
    constantTemplate.Entry(CONSTANT_VERTEX, 0)->Count = 4;
    T3D_ShaderConstant list;
    list.Priority = 2;
    list.SetVec4(CONSTANT_VERTEX, 0, "Proj", 1, 2, 3, 4, 1);
    TRenderStateKey key;
    RenderStateKeySet(RSK_FILTER(0), 2, key);
    RenderStateKeySet(RSK_DEPTHWRITE, 1, key);

    Render->ApplyRenderStateKey(key);
    Render->MergeConstants(constantTemplate, list, 1);
    Render->UploadConstants(constantTemplate);
    const std::vector<std::string> first = Device.Texts();
    EXPECT_EQ(first.size(), 6u);
    EXPECT_EQ(first[4], "SetSamplerState 0 10 8") << "the adapter's anisotropy";
    Device.Clear();
    Render->ApplyRenderStateKey(key);
    Render->MergeConstants(constantTemplate, list, 1);
    Render->UploadConstants(constantTemplate);
    EXPECT_TRUE(Device.Texts().empty());

    Device.CooperativeAnswers = {D3DERR_DEVICENOTRESET, D3DERR_DEVICENOTRESET};
    ASSERT_TRUE(Render->CheckDevice());
    Device.Clear();
    Render->ApplyRenderStateKey(key);
    Render->MergeConstants(constantTemplate, list, 1);
    Render->UploadConstants(constantTemplate);
    EXPECT_EQ(Device.Texts(), first);
}

} // namespace
