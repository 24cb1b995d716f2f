#include "document/pAnnotations.h"

#include <algorithm>

namespace paxid {

std::intptr_t TAnnContainer::Insert(TAnnObject object) {
    object.Handle = ++FLastHandle;
    FObjects.push_back(std::move(object));
    return FObjects.back().Handle;
}

bool TAnnContainer::Destroy(std::intptr_t handle) {
    const auto found =
        std::find_if(FObjects.begin(), FObjects.end(), [handle](const TAnnObject& o) { return o.Handle == handle; });
    if (found == FObjects.end()) {
        return false;
    }
    FObjects.erase(found);
    return true;
}

void TAnnContainer::Clear() { FObjects.clear(); }

const TAnnObject* TAnnContainer::Find(std::intptr_t handle) const {
    const auto found =
        std::find_if(FObjects.begin(), FObjects.end(), [handle](const TAnnObject& o) { return o.Handle == handle; });
    return found == FObjects.end() ? nullptr : &*found;
}

}  // namespace paxid
