#include "screens/kit/Duskmarch_ObjectTags.h"

#include <unordered_map>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<const void*, TObjectTagKind>> Targets;
std::unordered_map<const void*, int32_t> Handles;

} // namespace

int32_t ObjectTagFor(const void* target, TObjectTagKind kind)
{
    if (target == nullptr)
        return 0;
    if (auto found = Handles.find(target); found != Handles.end()) {
        Targets[static_cast<size_t>(found->second - ObjectTagBase)].second = kind;
        return found->second;
    }
    const int32_t handle = ObjectTagBase + static_cast<int32_t>(Targets.size());
    Targets.emplace_back(target, kind);
    Handles.emplace(target, handle);
    return handle;
}

void* ObjectTagTarget(int32_t tag, TObjectTagKind kind)
{
    if (tag < ObjectTagBase)
        return nullptr;
    const size_t index = static_cast<size_t>(tag - ObjectTagBase);
    if (index >= Targets.size() || Targets[index].second != kind)
        return nullptr;
    return const_cast<void*>(Targets[index].first);
}

void ReleaseObjectTag(const void* target)
{
    auto found = Handles.find(target);
    if (found == Handles.end())
        return;
    Targets[static_cast<size_t>(found->second - ObjectTagBase)] = {nullptr, TagKindNone};
    Handles.erase(found);
}
