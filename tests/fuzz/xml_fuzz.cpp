// Any bytes as XML text: parse from the start and from a position taken from
// the input, then walk the tree with every lookup.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/QX9_System_XML.h"

namespace {

void Walk(const TXML& node, int32_t depth)
{
    if (depth > TXML::MaxDepth)
        __builtin_trap();
    (void)node.Items(node.Count());
    (void)node.HasChild(node.Tag);
    if (node.Params) {
        for (int32_t i = 0; i <= node.Params->Count(); i++) {
            const TXMLParam param = node.Params->Get(i);
            (void)node.Params->Find(param.Name);
            if (i < node.Params->Count() && !node.HasParam(param.Name))
                __builtin_trap();
        }
    }
    for (int32_t i = 0; i < node.Count(); i++) {
        const TXML* child = node.Items(i);
        if (child == nullptr)
            __builtin_trap();
        (void)node.Child(child->Tag);
        if (child->Params && child->Params->Count() > 0) {
            const TXMLParam first = child->Params->Get(0);
            if (node.FindChild(child->Tag, first.Name, true, first.Value) == nullptr)
                __builtin_trap();
        }
        Walk(*child, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto root = TXML::CreateFromText(text, 1);
    Walk(*root, 1);
    if (size > 0) {
        auto part = TXML::CreateFromText(text, 1 + data[0] % (size + 1));
        Walk(*part, 1);
    }
    return 0;
}
