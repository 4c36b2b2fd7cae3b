#pragma once
// The element types skins instantiate, for owners to register in their own order.
#include <string>
#include <vector>

#include "skin/elements/ElementRegistry.h"

struct ElementType {
    std::u16string name;
    ElementRegistry::Creator creator;
};

// "node", "htable", "vtable", "clip", "color", "image", "progress", "oldtext", "text",
// "edit", "button", "checkbox", "vlist", "label_edit".
const std::vector<ElementType>& standard_element_types();
// Registers the names in the given order (each must be a standard type).
void register_element_types(const std::vector<std::u16string>& names);
void unregister_element_types(const std::vector<std::u16string>& names);
