#include "waylandhost/Osk0Service.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <cstring>

namespace waylandhost {

namespace {

constexpr const char* kName = "sm.puri.OSK0";
constexpr const char* kPath = "/sm/puri/OSK0";
constexpr const char* kInterface = "sm.puri.OSK0";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectable = "org.freedesktop.DBus.Introspectable";

constexpr const char* kIntrospection =
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
    "<node>\n"
    "  <interface name=\"sm.puri.OSK0\">\n"
    "    <method name=\"SetVisible\"><arg type=\"b\" name=\"visible\" direction=\"in\"/></method>\n"
    "    <property name=\"Visible\" type=\"b\" access=\"read\"/>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Properties\">\n"
    "    <method name=\"Get\"><arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
    "<arg type=\"v\" direction=\"out\"/></method>\n"
    "    <method name=\"GetAll\"><arg type=\"s\" direction=\"in\"/><arg type=\"a{sv}\" direction=\"out\"/></method>\n"
    "    <signal name=\"PropertiesChanged\"><arg type=\"s\"/><arg type=\"a{sv}\"/><arg type=\"as\"/></signal>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "    <method name=\"Introspect\"><arg type=\"s\" direction=\"out\"/></method>\n"
    "  </interface>\n"
    "</node>\n";

// Appends {"Visible": <visible>} as a dictionary of variants.
void appendVisible(DBusMessageIter* into, bool visible)
{
    DBusMessageIter dict, entry, variant;
    dbus_bool_t value = visible;
    const char* key = "Visible";
    dbus_message_iter_open_container(into, DBUS_TYPE_ARRAY, "{sv}", &dict);
    dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "b", &variant);
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(&dict, &entry);
    dbus_message_iter_close_container(into, &dict);
}

DBusHandlerResult handle(DBusConnection* connection, DBusMessage* message, void* data)
{
    DBusMessage* reply = static_cast<Osk0Service*>(data)->answer(message);
    if (!reply)
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    dbus_connection_send(connection, reply, nullptr);
    dbus_message_unref(reply);
    return DBUS_HANDLER_RESULT_HANDLED;
}

}

Osk0Service::~Osk0Service()
{
    if (!m_bus)
        return;
    dbus_connection_unregister_object_path(m_bus, kPath);
    dbus_connection_flush(m_bus);
    dbus_connection_unref(m_bus);
}

bool Osk0Service::start(std::string& why)
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) {
        why = "no session bus";
        return false;
    }
    DBusError error;
    dbus_error_init(&error);
    // A private connection: this one is ours to close, whatever else in the process uses the bus.
    m_bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!m_bus) {
        why = std::string("no session bus: ") + (error.message ? error.message : "");
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(m_bus, FALSE);
    const int owner = dbus_bus_request_name(m_bus, kName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error);
    if (owner != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        why = std::string("the session bus name ") + kName + " is another keyboard's";
        dbus_error_free(&error);
        dbus_connection_close(m_bus);
        dbus_connection_unref(m_bus);
        m_bus = nullptr;
        return false;
    }
    static const DBusObjectPathVTable table = { nullptr, handle, nullptr, nullptr, nullptr, nullptr };
    dbus_connection_register_object_path(m_bus, kPath, &table, this);
    dbus_connection_flush(m_bus);
    return true;
}

int Osk0Service::descriptor() const
{
    int fd = -1;
    if (!m_bus || !dbus_connection_get_unix_fd(m_bus, &fd))
        return -1;
    return fd;
}

void Osk0Service::dispatch()
{
    if (!m_bus)
        return;
    dbus_connection_read_write(m_bus, 0);
    while (dbus_connection_dispatch(m_bus) == DBUS_DISPATCH_DATA_REMAINS) {
    }
    dbus_connection_flush(m_bus);
}

void Osk0Service::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    if (!m_bus)
        return;
    DBusMessage* signal = dbus_message_new_signal(kPath, kProperties, "PropertiesChanged");
    if (!signal)
        return;
    DBusMessageIter args, invalidated;
    dbus_message_iter_init_append(signal, &args);
    const char* interface = kInterface;
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &interface);
    appendVisible(&args, visible);
    dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "s", &invalidated);
    dbus_message_iter_close_container(&args, &invalidated);
    dbus_connection_send(m_bus, signal, nullptr);
    dbus_message_unref(signal);
    dbus_connection_flush(m_bus);
}

DBusMessage* Osk0Service::answer(DBusMessage* message)
{
    if (dbus_message_is_method_call(message, kInterface, "SetVisible")) {
        dbus_bool_t visible = FALSE;
        if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_BOOLEAN, &visible, DBUS_TYPE_INVALID))
            return dbus_message_new_error(message, DBUS_ERROR_INVALID_ARGS, "SetVisible takes one boolean");
        if (visibilityWanted)
            visibilityWanted(visible);
        return dbus_message_new_method_return(message);
    }
    if (dbus_message_is_method_call(message, kProperties, "Get")) {
        const char* interface = nullptr;
        const char* property = nullptr;
        if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID)
            || std::strcmp(interface, kInterface) != 0 || std::strcmp(property, "Visible") != 0)
            return dbus_message_new_error(message, DBUS_ERROR_UNKNOWN_PROPERTY, "sm.puri.OSK0 has the property Visible");
        DBusMessage* reply = dbus_message_new_method_return(message);
        DBusMessageIter args, variant;
        dbus_bool_t value = m_visible;
        dbus_message_iter_init_append(reply, &args);
        dbus_message_iter_open_container(&args, DBUS_TYPE_VARIANT, "b", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &value);
        dbus_message_iter_close_container(&args, &variant);
        return reply;
    }
    if (dbus_message_is_method_call(message, kProperties, "GetAll")) {
        const char* interface = nullptr;
        if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID))
            return dbus_message_new_error(message, DBUS_ERROR_INVALID_ARGS, "GetAll takes an interface name");
        DBusMessage* reply = dbus_message_new_method_return(message);
        DBusMessageIter args;
        dbus_message_iter_init_append(reply, &args);
        if (std::strcmp(interface, kInterface) == 0)
            appendVisible(&args, m_visible);
        else {
            DBusMessageIter empty;
            dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &empty);
            dbus_message_iter_close_container(&args, &empty);
        }
        return reply;
    }
    if (dbus_message_is_method_call(message, kProperties, "Set"))
        return dbus_message_new_error(message, DBUS_ERROR_PROPERTY_READ_ONLY, "Visible is read-only; call SetVisible");
    if (dbus_message_is_method_call(message, kIntrospectable, "Introspect")) {
        DBusMessage* reply = dbus_message_new_method_return(message);
        const char* xml = kIntrospection;
        dbus_message_append_args(reply, DBUS_TYPE_STRING, &xml, DBUS_TYPE_INVALID);
        return reply;
    }
    return nullptr;
}

}
