// Constant lists, their matrix products, and the merge into and upload from
// the renderer's global list.
#include "render/QX9_Render_Constants.h"

#include <cstring>

namespace {

T3D_Constant* FindLast(std::vector<T3D_Constant>& constants, uint8_t kind, int32_t reg, const std::string& name)
{
    for (size_t i = constants.size(); i-- > 0;)
        if (constants[i].Kind == kind && constants[i].Register == reg && constants[i].Name == name)
            return &constants[i];
    return nullptr;
}

T3D_Constant* FindLastByName(std::vector<T3D_Constant>& constants, const std::string& name)
{
    for (size_t i = constants.size(); i-- > 0;)
        if (constants[i].Name == name)
            return &constants[i];
    return nullptr;
}

using TFloat4 = float __attribute__((vector_size(16)));

// P := F x P, rows and columns as stored. A row of the result at once: each
// of its four sums still adds its products from 0 in the order k = 0..3.
void MultiplyLeft(const float* f, float* p)
{
    TFloat4 rows[4], out[4];
    std::memcpy(rows, p, sizeof(rows));
    for (int i = 0; i < 4; i++) {
        TFloat4 sum = {0, 0, 0, 0};
        for (int k = 0; k < 4; k++)
            sum += f[i * 4 + k] * rows[k];
        out[i] = sum;
    }
    std::memcpy(p, out, sizeof(out));
}

void MarkGlobalConstantsChanged(T3D_Render& render)
{
    for (T3D_Constant* constant : render.Constants)
        constant->Changed = 1;
}

struct TRegisterConstantHandlers {
    TRegisterConstantHandlers() { RegisterConstantDeviceLossHandlers(); }
} RegisterConstantHandlersAtStart;

} // namespace

void RegisterConstantDeviceLossHandlers()
{
    // After a device reset every global constant is uploaded again.
    DeviceLossHandlers.MarkConstantsChanged = &MarkGlobalConstantsChanged;
}

int32_t T3D_ShaderConstant::Add(uint8_t kind, int32_t reg, const std::string& name, const float* data, uint32_t group)
{
    T3D_Constant* constant = FindLast(Constants, kind, reg, name);
    if (constant == nullptr) {
        Constants.emplace_back();
        constant = &Constants.back();
    }
    constant->Name = name;
    constant->Priority = Priority;
    constant->Group = group;
    constant->Kind = kind;
    constant->Register = reg;
    constant->DataPtr = data;
    constant->Derived = 0;
    constant->Factors.clear();
    return static_cast<int32_t>(constant - Constants.data());
}

void T3D_ShaderConstant::SetFloat(uint8_t kind, int32_t reg, const std::string& name, float value, uint32_t group)
{
    T3D_Constant& constant = Constants[Add(kind, reg, name, nullptr, group)];
    std::memset(constant.Data, 0, sizeof(constant.Data));
    constant.Data[0] = value;
}

void T3D_ShaderConstant::SetVec3(uint8_t kind, int32_t reg, const std::string& name, const TVec3& vector,
                                 uint32_t group)
{
    T3D_Constant& constant = Constants[Add(kind, reg, name, nullptr, group)];
    std::memset(constant.Data, 0, sizeof(constant.Data));
    constant.Data[0] = vector.x;
    constant.Data[1] = vector.y;
    constant.Data[2] = vector.z;
}

void T3D_ShaderConstant::SetVec4(uint8_t kind, int32_t reg, const std::string& name, float x, float y, float z, float w,
                                 uint32_t group)
{
    T3D_Constant& constant = Constants[Add(kind, reg, name, nullptr, group)];
    std::memset(constant.Data, 0, sizeof(constant.Data));
    constant.Data[0] = x;
    constant.Data[1] = y;
    constant.Data[2] = z;
    constant.Data[3] = w;
}

void T3D_ShaderConstant::AddMatrixProduct(uint8_t kind, int32_t reg, const std::string& name, uint32_t group)
{
    if (name == "WORLD" && reg >= 0)
        for (T3D_Constant& constant : Constants)
            if (constant.Name == "WORLD") {
                constant.Register = reg;
                return;
            }
    Constants[Add(kind, reg, name, nullptr, group)].Derived = 1;
}

void T3D_ShaderConstant::AddFactorPtr(const std::string& name, const TMatrix4& matrix)
{
    if (T3D_Constant* constant = FindLastByName(Constants, name))
        constant->Factors.push_back({matrix.e, std::string()});
}

void T3D_ShaderConstant::AddFactorName(const std::string& name, const std::string& factorName)
{
    if (T3D_Constant* constant = FindLastByName(Constants, name))
        constant->Factors.push_back({nullptr, factorName});
}

void T3D_ShaderConstant::Resolve()
{
    for (T3D_Constant& constant : Constants) {
        constant.Computed = 0;
        // Named factors are pointed afresh: the list may have moved since.
        for (T3D_ConstantFactor& factor : constant.Factors)
            if (!factor.Name.empty())
                factor.Matrix = nullptr;
    }
    for (;;) {
        bool left = false, computed = false;
        for (T3D_Constant& constant : Constants) {
            if (constant.Derived == 0 || constant.Computed != 0)
                continue;
            bool ready = true;
            for (T3D_ConstantFactor& factor : constant.Factors) {
                if (factor.Name.empty())
                    continue;
                for (const T3D_Constant& other : Constants) {
                    if (other.Name != factor.Name)
                        continue;
                    if (other.Computed != 0)
                        factor.Matrix = other.Data;
                    else
                        ready = false;
                }
            }
            if (!ready) {
                left = true;
                continue;
            }
            float product[16];
            std::memcpy(product, IdentityMatrix.e, sizeof(product));
            for (const T3D_ConstantFactor& factor : constant.Factors)
                if (factor.Matrix != nullptr) // a name that matches nothing gives no matrix
                    MultiplyLeft(factor.Matrix, product);
            std::memcpy(constant.Data, product, sizeof(product));
            constant.Computed = 1;
            computed = true;
        }
        // A sweep that computes nothing cannot be followed by one that does:
        // what is left waits on a cycle or on a plain constant.
        if (!left || !computed)
            return;
    }
}

const T3D_ConstantTemplateEntry* T3D_ConstantTemplate::Entry(uint8_t kind, int32_t reg) const
{
    if (reg < 0)
        return nullptr;
    if (kind == CONSTANT_VERTEX)
        return reg < VertexRegisters ? &Entries[static_cast<size_t>(reg)] : nullptr;
    if (kind == CONSTANT_PIXEL)
        return reg < PixelRegisters ? &Entries[static_cast<size_t>(VertexRegisters + reg)] : nullptr;
    return nullptr;
}

T3D_ConstantTemplateEntry* T3D_ConstantTemplate::Entry(uint8_t kind, int32_t reg)
{
    return const_cast<T3D_ConstantTemplateEntry*>(static_cast<const T3D_ConstantTemplate*>(this)->Entry(kind, reg));
}

bool T3D_ConstantTemplate::Matches(const T3D_Constant& constant) const
{
    const T3D_ConstantTemplateEntry* entry = Entry(constant.Kind, constant.Register);
    return entry != nullptr && entry->Name == constant.Name;
}

namespace {

// Merges one list constant into a global entry of its kind and register.
void MergeOne(T3D_Constant& g, const T3D_Constant& s, const T3D_ConstantTemplate& constantTemplate)
{
    if (g.Changed == 0) {
        if (s.DataPtr != nullptr || std::memcmp(s.Data, g.Data, sizeof(s.Data)) != 0)
            g.Changed = 1;
        // An uploaded constant of higher priority that this pass still
        // names keeps its register.
        if (g.Changed != 0 && constantTemplate.Matches(g) && s.Priority < g.Priority)
            g.Changed = 0;
    }
    if (g.Changed != 0) {
        g.Name = s.Name;
        g.Priority = s.Priority;
        g.Register = s.Register;
        g.DataPtr = s.DataPtr;
        std::memcpy(g.Data, s.Data, sizeof(s.Data));
        g.Derived = s.Derived;
        g.Factors = s.Factors;
    }
}

// Merges into every entry of the kind and register; appends a copy when there
// is none. Returns the position of the first such entry.
size_t MergeByWalk(std::vector<T3D_Constant*>& global, const T3D_ConstantTemplate& constantTemplate,
                   const T3D_Constant& s)
{
    size_t first = global.size();
    for (size_t i = 0; i < global.size(); i++) {
        T3D_Constant* g = global[i];
        if (g->Register != s.Register || g->Kind != s.Kind)
            continue;
        if (first == global.size())
            first = i;
        MergeOne(*g, s, constantTemplate);
    }
    if (first == global.size()) {
        auto* copy = new T3D_Constant(s);
        copy->Changed = 1;
        global.push_back(copy);
    }
    return first;
}

} // namespace

void MergeConstantsInto(std::vector<T3D_Constant*>& global, const T3D_ConstantTemplate& constantTemplate,
                        const T3D_ShaderConstant& list, uint32_t groups)
{
    for (const T3D_Constant& s : list.Constants) {
        if (!constantTemplate.Matches(s) || (s.Group & groups) == 0)
            continue;
        MergeByWalk(global, constantTemplate, s);
    }
}

void MergeConstantsIndexed(std::vector<T3D_Constant*>& global, std::vector<int32_t>& slots,
                           const T3D_ConstantTemplate& constantTemplate, const T3D_ShaderConstant& list,
                           uint32_t groups)
{
    constexpr size_t slotCount = T3D_ConstantTemplate::VertexRegisters + T3D_ConstantTemplate::PixelRegisters;
    if (slots.size() != slotCount)
        slots.assign(slotCount, -1);
    for (const T3D_Constant& s : list.Constants) {
        if (!constantTemplate.Matches(s) || (s.Group & groups) == 0)
            continue;
        // Matches holds the kind to pixel or vertex and the register to the template.
        const size_t slot = s.Kind == CONSTANT_VERTEX
                                ? static_cast<size_t>(s.Register)
                                : static_cast<size_t>(T3D_ConstantTemplate::VertexRegisters + s.Register);
        const int32_t at = slots[slot];
        if (at >= 0 && static_cast<size_t>(at) < global.size()) {
            T3D_Constant* g = global[static_cast<size_t>(at)];
            if (g->Register == s.Register && g->Kind == s.Kind) {
                MergeOne(*g, s, constantTemplate);
                continue;
            }
        }
        slots[slot] = static_cast<int32_t>(MergeByWalk(global, constantTemplate, s));
    }
}

void UploadConstantsTo(IDirect3DDevice9* device, std::vector<T3D_Constant*>& global,
                       const T3D_ConstantTemplate& constantTemplate)
{
    for (T3D_Constant* g : global) {
        if (g->Changed == 0 || g->Register < 0)
            continue;
        const T3D_ConstantTemplateEntry* entry = constantTemplate.Entry(g->Kind, g->Register);
        if (entry == nullptr || entry->Name != g->Name)
            continue;
        const float* data = g->DataPtr != nullptr ? g->DataPtr : g->Data;
        UINT count = entry->Count > 0 ? static_cast<UINT>(entry->Count) : 0;
        // Inline data holds four registers; more would read past the record.
        if (g->DataPtr == nullptr && count > 4)
            count = 4;
        const UINT reg = static_cast<UINT>(g->Register);
        if (g->Kind == CONSTANT_PIXEL)
            D3DRetry(D3DOP_SetPixelShaderConstantF, [&] { return device->SetPixelShaderConstantF(reg, data, count); });
        else
            D3DRetry(D3DOP_SetVertexShaderConstantF,
                     [&] { return device->SetVertexShaderConstantF(reg, data, count); });
        g->Changed = 0;
    }
}

void FreeConstants(std::vector<T3D_Constant*>& global)
{
    for (T3D_Constant* constant : global)
        delete constant;
    global.clear();
}

void T3D_Render::MergeConstants(const T3D_ConstantTemplate& constantTemplate, const T3D_ShaderConstant& list,
                                uint32_t groups)
{
    MergeConstantsIndexed(Constants, ConstantSlots, constantTemplate, list, groups);
}

void T3D_Render::UploadConstants(const T3D_ConstantTemplate& constantTemplate)
{
    UploadConstantsTo(Device, Constants, constantTemplate);
}
