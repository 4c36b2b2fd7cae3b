#pragma once
// Exceptions of the skin node layer. Thrown by value; deliberately unrelated to each other and
// to std::exception, and caught by no handler of the framework.
#include <string>

namespace skinio {

// A caller required a named top-level node that the skin lacks.
struct NodeNotFoundInSkin {
    std::u16string name;
};

// A required descendant element (by id) is not under the parent.
struct NodeNotFound {
    std::u16string parent_id;
    std::u16string id;
};

// An element record's "type" names no registered element type.
struct NodeNotRegistered {
    std::u16string type;
};

// An element type name was registered a second time.
struct NodeAlreadyRegistered {
    std::u16string type;
};

} // namespace skinio
