#include "skin/elements/ElementRegistry.h"

#include "skin/file/skinio.h"

ElementRegistry& ElementRegistry::instance()
{
    static ElementRegistry registry;
    return registry;
}

void ElementRegistry::register_type(const std::u16string& type, Creator creator)
{
    if (!m_creators.emplace(type, std::move(creator)).second)
        throw skinio::NodeAlreadyRegistered { type };
}

size_t ElementRegistry::unregister_type(const std::u16string& type)
{
    return m_creators.erase(type);
}

Element* ElementRegistry::create(const std::u16string& type, Element& parent) const
{
    auto found = m_creators.find(type);
    if (found == m_creators.end())
        throw skinio::NodeNotRegistered { type };
    return found->second(parent);
}
