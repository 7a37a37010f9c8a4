#include "proxy/server/HotFiles.h"

HotFiles::Copy HotFiles::find(uint32_t id, const Str& path) {
    auto found = copies_.find(id);
    if (found == copies_.end() || found->second.path != path) return nullptr;
    use_order_.splice(use_order_.end(), use_order_, found->second.place);
    return found->second.copy;
}

void HotFiles::keep(uint32_t id, const Str& path, Copy copy) {
    if (!copy || copy->length() > FILE_LIMIT) return;
    forget(id);
    while (!use_order_.empty() && bytes_ + copy->length() > TOTAL_LIMIT) forget(use_order_.front());
    bytes_ += copy->length();
    use_order_.push_back(id);
    copies_.emplace(id, Kept{std::move(copy), path, std::prev(use_order_.end())});
}

void HotFiles::forget(uint32_t id) {
    auto found = copies_.find(id);
    if (found == copies_.end()) return;
    bytes_ -= found->second.copy->length();
    use_order_.erase(found->second.place);
    copies_.erase(found);
}
