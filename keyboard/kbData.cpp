#include "keyboard/kbData.h"
#include "skin/elements/ElementRegistry.h"
#include "skin/elements/StandardElements.h"


namespace {

const std::vector<std::u16string>& elementTypes()
{
    static const std::vector<std::u16string> types = { u"node", u"oldtext", u"text", u"color", u"image", u"edit",
        u"htable", u"vtable", u"button", u"vlist", u"checkbox", u"progress", u"clip" };
    return types;
}

std::unique_ptr<kbData>& owner()
{
    static std::unique_ptr<kbData> data;
    return data;
}

}

kbData::Registrations::Registrations()
{
    // A type another owner of this process registered already is shared, not registered twice.
    for (const auto& type : elementTypes())
        if (!ElementRegistry::instance().contains(type))
            types.push_back(type);
    register_element_types(types);
}

kbData::Registrations::~Registrations()
{
    unregister_element_types(types); // last registered first
}

kbData::kbData()
    : m_layouts(std::make_unique<LayoutSelection>())
    , m_settings(std::make_unique<kbSettings>())
{
}

kbData::~kbData()
{
    m_settings.reset();
    m_layouts.reset();
}

kbData* kbData::instance()
{
    return owner().get();
}

void kbData::reset(std::unique_ptr<kbData> data)
{
    owner().reset();
    owner() = std::move(data);
}

void kbData::make()
{
    owner().reset();
    owner() = std::make_unique<kbData>();
}
