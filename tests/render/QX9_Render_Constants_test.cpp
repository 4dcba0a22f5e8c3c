// Shader constant lists: replacement rules, matrix products and their
// resolution order, the merge into the global list with its priorities, and
// the upload of what the pass's template names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/QX9_Render_Constants.h"
#include "tests/fakes/RecordingDevice.h"

namespace {

TMatrix4 Matrix(std::initializer_list<float> values)
{
    TMatrix4 m;
    std::copy(values.begin(), values.end(), m.e);
    return m;
}

// (a x b) at row i, column j: the sum over k of a[i][k] b[k][j].
TMatrix4 Product(const TMatrix4& a, const TMatrix4& b)
{
    TMatrix4 out;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            float sum = 0;
            for (int k = 0; k < 4; k++)
                sum += a.e[i * 4 + k] * b.e[k * 4 + j];
            out.e[i * 4 + j] = sum;
        }
    return out;
}

std::vector<float> Floats(const float* data, int n = 16)
{
    return std::vector<float>(data, data + n);
}

const TMatrix4 A = Matrix({1, 2, 0, 3, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
const TMatrix4 B = Matrix({0, -1, 0, 0, 1, 0, 0, 5, 0, 0, 1, 0, 0, 0, 0, 1});
const TMatrix4 C = Matrix({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 7, 0, 0, 0, 1});

TEST(ShaderConstantTest, AddReplacesTheLastOfTheSameKindRegisterAndName)
{
    T3D_ShaderConstant list;
    list.Priority = 2;
    list.SetVec4(CONSTANT_VERTEX, 8, "Color", 1, 2, 3, 4, 1);
    list.SetFloat(CONSTANT_PIXEL, 8, "Color", 9, 1); // another kind: a new constant
    list.Constants[0].Changed = 1;
    const int32_t again = list.Add(CONSTANT_VERTEX, 8, "Color", nullptr, 6);
    EXPECT_EQ(again, 0);
    ASSERT_EQ(list.Constants.size(), 2u);
    EXPECT_EQ(list.Constants[0].Group, 6u);
    EXPECT_EQ(list.Constants[0].Priority, 2);
    EXPECT_EQ(Floats(list.Constants[0].Data, 4), (std::vector<float>{1, 2, 3, 4})) << "inline data stays";
    EXPECT_EQ(list.Constants[0].Changed, 1);
    list.SetVec3(CONSTANT_VERTEX, 8, "Color", TVec3{5, 6, 7}, 1);
    EXPECT_EQ(Floats(list.Constants[0].Data, 4), (std::vector<float>{5, 6, 7, 0}));
}

TEST(ShaderConstantTest, WorldOnlyMovesItsRegister)
{
    T3D_ShaderConstant list;
    list.AddMatrixProduct(CONSTANT_VERTEX, -1, "WORLD", 1);
    list.AddFactorPtr("WORLD", A);
    list.AddMatrixProduct(CONSTANT_VERTEX, 4, "WORLD", 1);
    ASSERT_EQ(list.Constants.size(), 1u);
    EXPECT_EQ(list.Constants[0].Register, 4);
    ASSERT_EQ(list.Constants[0].Factors.size(), 1u);
    EXPECT_EQ(list.Constants[0].Factors[0].Matrix, A.e);

    // Other names are declared afresh, their factors emptied.
    list.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", 1);
    list.AddFactorPtr("Proj", A);
    list.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", 1);
    EXPECT_EQ(list.Constants.size(), 2u);
    EXPECT_TRUE(list.Constants[1].Factors.empty());
    list.AddFactorPtr("none", A); // no such constant: nothing
}

TEST(ShaderConstantTest, ProductsApplyTheLaterFactorOnTheLeft)
{
    const TMatrix4 expected = Product(C, Product(B, A));
    ASSERT_NE(Floats(expected.e), Floats(Product(A, Product(B, C)).e)) << "the matrices must not commute";
    for (bool nameFirst : {true, false}) {
        T3D_ShaderConstant list;
        auto declareA = [&] {
            list.AddMatrixProduct(CONSTANT_VERTEX, 0, "A", 1);
            list.AddFactorPtr("A", A);
        };
        if (nameFirst)
            declareA();
        list.AddMatrixProduct(CONSTANT_VERTEX, 4, "X", 1);
        list.AddFactorName("X", "A");
        list.AddFactorPtr("X", B);
        list.AddFactorPtr("X", C);
        if (!nameFirst)
            declareA();
        list.Resolve();
        const T3D_Constant& x = list.Constants[nameFirst ? 1 : 0];
        EXPECT_EQ(x.Computed, 1) << nameFirst;
        EXPECT_EQ(Floats(x.Data), Floats(expected.e)) << (nameFirst ? "A before X" : "A after X");
    }
}

TEST(ShaderConstantTest, UnresolvableNamesEndTheResolution)
{
    T3D_ShaderConstant list;
    list.AddMatrixProduct(CONSTANT_VERTEX, 0, "X", 1);
    list.AddFactorName("X", "Y");
    list.AddMatrixProduct(CONSTANT_VERTEX, 4, "Y", 1);
    list.AddFactorName("Y", "X");
    list.SetFloat(CONSTANT_VERTEX, 8, "Plain", 1, 1);
    list.AddMatrixProduct(CONSTANT_VERTEX, 12, "OnPlain", 1);
    list.AddFactorName("OnPlain", "Plain");
    list.AddMatrixProduct(CONSTANT_VERTEX, 16, "OnNothing", 1);
    list.AddFactorName("OnNothing", "Missing");
    list.AddFactorPtr("OnNothing", B);
    list.Constants[0].Data[0] = 42; // previous data of an unresolved constant stays
    list.Resolve();
    EXPECT_EQ(list.Constants[0].Computed, 0);
    EXPECT_EQ(list.Constants[0].Data[0], 42);
    EXPECT_EQ(list.Constants[1].Computed, 0);
    EXPECT_EQ(list.Constants[3].Computed, 0);
    // A name that matches nothing gives no matrix: the product of the rest.
    EXPECT_EQ(list.Constants[4].Computed, 1);
    EXPECT_EQ(Floats(list.Constants[4].Data), Floats(B.e));
}

class ConstantMergeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Template.Entry(CONSTANT_VERTEX, 4)->Name = "WORLD";
        Template.Entry(CONSTANT_VERTEX, 4)->Count = 4;
        Template.Entry(CONSTANT_PIXEL, 1)->Name = "_CpIndex";
        Template.Entry(CONSTANT_PIXEL, 1)->Count = 1;
    }
    void TearDown() override { FreeConstants(Global); }

    std::vector<float> Uploaded()
    {
        Device.VertexConstants.clear();
        UploadConstantsTo(&Device, Global, Template);
        auto it = Device.VertexConstants.find(4);
        return it == Device.VertexConstants.end() ? std::vector<float>{} : std::vector<float>{it->second[0]};
    }

    TRecordingDevice Device;
    T3D_ConstantTemplate Template;
    std::vector<T3D_Constant*> Global;
};

TEST_F(ConstantMergeTest, PriorityTable)
{
    // Steps: a merge of a list {priority, first float, external data} or an
    // upload ('U'), which records the value uploaded to register 4, if any.
    struct TStep {
        char Op;
        int32_t Priority = 0;
        float Value = 0;
        bool External = false;
    };
    struct TRow {
        const char* Name;
        std::vector<TStep> Steps;
        std::vector<std::vector<float>> Uploads;
    };
    const TRow rows[] = {
        {"instance after an uploaded pass value keeps the pass's",
         {{'M', 2, 5, false}, {'U'}, {'M', 1, 7, false}, {'U'}},
         {{5}, {}}},
        {"instance before the upload replaces the pass's", {{'M', 2, 5, false}, {'M', 1, 7, false}, {'U'}}, {{7}}},
        {"higher priority replaces an uploaded lower one",
         {{'M', 1, 5, false}, {'U'}, {'M', 3, 7, false}, {'U'}},
         {{5}, {7}}},
        {"equal data is not uploaded again", {{'M', 2, 5, false}, {'U'}, {'M', 2, 5, false}, {'U'}}, {{5}, {}}},
        {"external data is always taken as changed", {{'M', 2, 5, true}, {'U'}, {'M', 2, 5, true}, {'U'}}, {{5}, {5}}},
        {"external data of lower priority keeps the uploaded value",
         {{'M', 2, 5, false}, {'U'}, {'M', 1, 9, true}, {'U'}},
         {{5}, {}}},
    };
    for (const TRow& row : rows) {
        FreeConstants(Global);
        std::vector<std::vector<float>> uploads;
        std::vector<std::vector<float>> external; // outlives the merges
        external.reserve(row.Steps.size());
        for (const TStep& step : row.Steps) {
            if (step.Op == 'U') {
                uploads.push_back(Uploaded());
                continue;
            }
            T3D_ShaderConstant list;
            list.Priority = step.Priority;
            if (step.External) {
                external.push_back(std::vector<float>(16, step.Value));
                list.Add(CONSTANT_VERTEX, 4, "WORLD", external.back().data(), 1);
            } else {
                list.SetFloat(CONSTANT_VERTEX, 4, "WORLD", step.Value, 1);
            }
            MergeConstantsInto(Global, Template, list, 1);
        }
        EXPECT_EQ(uploads, row.Uploads) << row.Name;
        EXPECT_EQ(Global.size(), 1u) << row.Name;
    }
}

TEST_F(ConstantMergeTest, OnlyWhatTheTemplateNamesIsMergedAndUploaded)
{
    T3D_ShaderConstant list;
    list.Priority = 1;
    list.SetFloat(CONSTANT_VERTEX, -1, "WORLD", 1, 1);   // no register
    list.SetFloat(CONSTANT_VERTEX, 8, "WORLD", 2, 1);    // not named at 8
    list.SetFloat(CONSTANT_PIXEL, 4, "WORLD", 3, 1);     // wrong kind
    list.SetFloat(CONSTANT_VERTEX, 4, "Other", 4, 1);    // another name
    list.SetFloat(CONSTANT_VERTEX, 2000, "WORLD", 5, 1); // outside the template
    list.SetFloat(CONSTANT_PIXEL, 1, "_CpIndex", 6, 2);  // group not asked for
    MergeConstantsInto(Global, Template, list, 1);
    EXPECT_TRUE(Global.empty());

    list.SetFloat(CONSTANT_PIXEL, 1, "_CpIndex", 6, 3);
    MergeConstantsInto(Global, Template, list, 1);
    ASSERT_EQ(Global.size(), 1u);

    // A pass whose template names register 1 otherwise leaves it waiting.
    T3D_ConstantTemplate other;
    other.Entry(CONSTANT_PIXEL, 1)->Name = "_Other";
    other.Entry(CONSTANT_PIXEL, 1)->Count = 1;
    UploadConstantsTo(&Device, Global, other);
    EXPECT_TRUE(Device.Texts().empty());
    EXPECT_EQ(Global[0]->Changed, 1);
    UploadConstantsTo(&Device, Global, Template);
    EXPECT_EQ(Device.Texts(), std::vector<std::string>{"SetPixelShaderConstantF 1 1"});
    EXPECT_EQ(Device.PixelConstants[1], (std::vector<float>{6, 0, 0, 0}));
    EXPECT_EQ(Global[0]->Changed, 0);
}

TEST_F(ConstantMergeTest, InlineDataNeverUploadsMoreThanItHolds)
{
    Template.Entry(CONSTANT_VERTEX, 32)->Name = "Joints";
    Template.Entry(CONSTANT_VERTEX, 32)->Count = 210;
    T3D_ShaderConstant list;
    list.SetFloat(CONSTANT_VERTEX, 32, "Joints", 1, 1);
    std::vector<float> joints(210 * 4, 0.5f);
    list.Add(CONSTANT_VERTEX, 4, "WORLD", joints.data(), 1);
    Template.Entry(CONSTANT_VERTEX, 4)->Count = 210;
    MergeConstantsInto(Global, Template, list, 1);
    UploadConstantsTo(&Device, Global, Template);
    EXPECT_EQ(Device.Texts(),
              (std::vector<std::string>{"SetVertexShaderConstantF 32 4", "SetVertexShaderConstantF 4 210"}));
}

// The indexed merge must upload exactly what the walk over the list uploads:
// a fixed pseudo-random run of lists over a few registers, with priorities,
// outside data, two templates, group masks and a cleared global list.
TEST_F(ConstantMergeTest, IndexedMergeUploadsTheSameAsTheWalk)
{
    T3D_ConstantTemplate second;
    for (int32_t reg = 0; reg < 8; reg++) {
        const std::string name = "C" + std::to_string(reg);
        Template.Entry(CONSTANT_VERTEX, 32 + 3 * reg)->Name = name;
        Template.Entry(CONSTANT_VERTEX, 32 + 3 * reg)->Count = 3;
        Template.Entry(CONSTANT_PIXEL, 8 + reg)->Name = name;
        Template.Entry(CONSTANT_PIXEL, 8 + reg)->Count = 1;
        second.Entry(CONSTANT_VERTEX, 32 + 3 * reg)->Name = reg % 2 == 0 ? name : "Other";
        second.Entry(CONSTANT_VERTEX, 32 + 3 * reg)->Count = 2;
    }
    uint32_t state = 12345;
    auto next = [&state](uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    std::vector<std::vector<float>> external;
    for (int i = 0; i < 4; i++)
        external.push_back(std::vector<float>(16, static_cast<float>(i) + 0.5f));
    std::vector<T3D_Constant*> walked;
    std::vector<T3D_Constant*> indexed;
    std::vector<int32_t> slots;
    TRecordingDevice walkDevice;
    TRecordingDevice indexDevice;
    for (int step = 0; step < 3000; step++) {
        const uint32_t op = next(20);
        const T3D_ConstantTemplate& used = next(4) == 0 ? second : Template;
        if (op == 0) {
            UploadConstantsTo(&walkDevice, walked, used);
            UploadConstantsTo(&indexDevice, indexed, used);
            continue;
        }
        if (op == 1 && next(10) == 0) {
            FreeConstants(walked);
            FreeConstants(indexed);
            continue;
        }
        T3D_ShaderConstant list;
        list.Priority = static_cast<int32_t>(next(3)) + 1;
        const uint32_t count = next(6);
        for (uint32_t c = 0; c < count; c++) {
            const int32_t reg = static_cast<int32_t>(next(8));
            const uint8_t kind = next(3) == 0 ? CONSTANT_PIXEL : CONSTANT_VERTEX;
            const int32_t at = kind == CONSTANT_VERTEX ? 32 + 3 * reg : 8 + reg;
            const std::string name = next(8) == 0 ? "Stray" : "C" + std::to_string(reg);
            const uint32_t group = next(4) + 1;
            if (next(3) == 0)
                list.Add(kind, at, name, external[next(4)].data(), group);
            else
                list.SetFloat(kind, at, name, static_cast<float>(next(3)), group);
        }
        const uint32_t groups = next(3) + 1;
        MergeConstantsInto(walked, used, list, groups);
        MergeConstantsIndexed(indexed, slots, used, list, groups);
    }
    UploadConstantsTo(&walkDevice, walked, Template);
    UploadConstantsTo(&indexDevice, indexed, Template);
    EXPECT_GT(walkDevice.Texts().size(), 100u);
    EXPECT_EQ(indexDevice.Texts(), walkDevice.Texts());
    EXPECT_EQ(indexDevice.VertexConstants, walkDevice.VertexConstants);
    EXPECT_EQ(indexDevice.PixelConstants, walkDevice.PixelConstants);
    FreeConstants(walked);
    FreeConstants(indexed);
}

} // namespace
