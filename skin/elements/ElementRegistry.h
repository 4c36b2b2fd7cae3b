#pragma once
// The process-wide map from element type name ("button", "image", ...) to the function that
// creates an element of that type under a parent.
#include <functional>
#include <map>
#include <string>
#include <string_view>

class Element;

class ElementRegistry {
public:
    // Makes a new element already attached to (and owned by) the parent.
    using Creator = std::function<Element*(Element& parent)>;

    static ElementRegistry& instance();

    // Throws skinio::NodeAlreadyRegistered when the name is taken.
    void register_type(const std::u16string& type, Creator creator);
    // Number of names removed: 0 or 1.
    size_t unregister_type(const std::u16string& type);
    // Throws skinio::NodeNotRegistered when the name is unknown.
    Element* create(const std::u16string& type, Element& parent) const;

    bool contains(const std::u16string& type) const { return m_creators.count(type) != 0; }
    size_t size() const { return m_creators.size(); }

private:
    std::map<std::u16string, Creator> m_creators;
};
