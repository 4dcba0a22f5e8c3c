// Named shader constants. Sprites, scene mesh instances, passes and scenes
// each own a list (T3D_ShaderConstant) of plain values and products of
// matrices; before drawing, the pass renderer merges the lists that apply
// into the renderer's global list, keyed by register and kind, and uploads
// what changed, but only into registers whose name in the pass's register
// template is the constant's name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "render/QX9_Render.h"

// A factor of a derived constant: an outside matrix (its 16 singles), or the
// name of another derived constant of the same list (then Matrix points at
// that constant's data once it is computed).
struct T3D_ConstantFactor {
    const float* Matrix = nullptr;
    std::string Name;
};

struct T3D_Constant {
    std::string Name;
    int32_t Priority = 0;
    uint32_t Group = 0;             // a merge takes constants sharing a bit with its bits
    uint8_t Kind = 0;               // 0 pixel-shader constant, 1 vertex-shader constant
    int32_t Register = -1;          // first float4 register; -1: never uploaded
    const float* DataPtr = nullptr; // external data; nullptr: the inline data
    float Data[16] = {};
    uint8_t Changed = 0;  // in the global list: to be uploaded
    uint8_t Derived = 0;  // the data is a product of the factors
    uint8_t Computed = 0; // set by Resolve once the product is made
    std::vector<T3D_ConstantFactor> Factors;
};

inline constexpr uint8_t CONSTANT_PIXEL = 0;
inline constexpr uint8_t CONSTANT_VERTEX = 1;

class T3D_ShaderConstant {
public:
    // 1 for sprites and scene mesh instances, 2 for passes, 3 for scenes.
    int32_t Priority = 0;
    std::vector<T3D_Constant> Constants;

    // The last constant of the same kind, register and name is replaced, else
    // one is appended; its inline data and changed byte stay as they were.
    int32_t Add(uint8_t kind, int32_t reg, const std::string& name, const float* data, uint32_t group);
    void SetFloat(uint8_t kind, int32_t reg, const std::string& name, float value, uint32_t group);
    void SetVec3(uint8_t kind, int32_t reg, const std::string& name, const TVec3& vector, uint32_t group);
    void SetVec4(uint8_t kind, int32_t reg, const std::string& name, float x, float y, float z, float w,
                 uint32_t group);
    // Declares a derived constant. A "WORLD" already in the list only moves
    // to the given register (when it is not negative).
    void AddMatrixProduct(uint8_t kind, int32_t reg, const std::string& name, uint32_t group);
    // Append a factor to the last constant of that name. Only the matrix's
    // address is kept: it must outlive the constant's use.
    void AddFactorPtr(const std::string& name, const TMatrix4& matrix);
    void AddFactorName(const std::string& name, const std::string& factorName);
    // Computes the derived constants: each is the product of its factors,
    // the later factor on the left. Sweeps until every one is computed or a
    // sweep computes nothing new (a cycle, or a factor naming a plain
    // constant); those keep their previous data.
    void Resolve();
};

struct T3D_ConstantTemplateEntry {
    std::string Name;
    int32_t Count = 0; // float4 registers
};

// The names a pass's shaders give their registers: 1024 vertex registers,
// then 256 pixel registers.
struct T3D_ConstantTemplate {
    static constexpr int32_t VertexRegisters = 1024;
    static constexpr int32_t PixelRegisters = 256;
    std::array<T3D_ConstantTemplateEntry, VertexRegisters + PixelRegisters> Entries;

    // The entry of a kind's register, nullptr outside the template.
    const T3D_ConstantTemplateEntry* Entry(uint8_t kind, int32_t reg) const;
    T3D_ConstantTemplateEntry* Entry(uint8_t kind, int32_t reg);
    // True when the constant has a register and the template names it there.
    bool Matches(const T3D_Constant& constant) const;
};

// The global list's work, on a list of the renderer's form (T3D_Render's
// MergeConstants and UploadConstants run these on T3D_Render::Constants).
void MergeConstantsInto(std::vector<T3D_Constant*>& global, const T3D_ConstantTemplate& constantTemplate,
                        const T3D_ShaderConstant& list, uint32_t groups);
// The same merge with a position index by kind and register (sized and kept
// by the merge itself). An index entry is used only when the list still holds
// that kind and register there; otherwise the list is walked as above. The
// list must only grow through merges, which never add a second entry for a
// kind and register.
void MergeConstantsIndexed(std::vector<T3D_Constant*>& global, std::vector<int32_t>& slots,
                           const T3D_ConstantTemplate& constantTemplate, const T3D_ShaderConstant& list,
                           uint32_t groups);
void UploadConstantsTo(IDirect3DDevice9* device, std::vector<T3D_Constant*>& global,
                       const T3D_ConstantTemplate& constantTemplate);
// Lets the lost-device recovery mark every global constant changed (done at
// start-up; tests that replace the handlers call it again).
void RegisterConstantDeviceLossHandlers();
// Frees the global list's entries.
void FreeConstants(std::vector<T3D_Constant*>& global);
