#include "skin/elements/StandardElements.h"

#include "skin/elements/BasicElements.h"
#include "skin/elements/ButtonElement.h"
#include "skin/elements/CheckboxElement.h"
#include "skin/elements/LabelEditElement.h"
#include "skin/elements/ProgressElement.h"
#include "skin/elements/TextElement.h"
#include "skin/elements/VListElement.h"

namespace {

template <class T>
ElementType type(const char16_t* name)
{
    return {name, [](Element& parent) -> Element* { return new T(&parent); }};
}

} // namespace

const std::vector<ElementType>& standard_element_types()
{
    static const std::vector<ElementType> types = {
        type<Element>(u"node"),
        type<HTableElement>(u"htable"),
        type<VTableElement>(u"vtable"),
        type<ClipElement>(u"clip"),
        type<ColorElement>(u"color"),
        type<ImageElement>(u"image"),
        type<ProgressElement>(u"progress"),
        type<OldTextElement>(u"oldtext"),
        type<TextElement>(u"text"),
        type<EditElement>(u"edit"),
        type<ButtonElement>(u"button"),
        type<CheckboxElement>(u"checkbox"),
        type<VListElement>(u"vlist"),
        type<LabelEditElement>(u"label_edit"),
    };
    return types;
}

void register_element_types(const std::vector<std::u16string>& names)
{
    for (const auto& name : names)
        for (const auto& t : standard_element_types())
            if (t.name == name)
                ElementRegistry::instance().register_type(t.name, t.creator);
}

void unregister_element_types(const std::vector<std::u16string>& names)
{
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        ElementRegistry::instance().unregister_type(*it);
}
