#pragma once
// The on-screen keyboard's interface on the session bus as Phosh's shell uses it: the name
// sm.puri.OSK0 at /sm/puri/OSK0, with the property Visible and the method SetVisible(b). Only
// when a session bus exists and no other keyboard holds the name.
#include <functional>
#include <string>

typedef struct DBusConnection DBusConnection;
typedef struct DBusMessage DBusMessage;

namespace waylandhost {

class Osk0Service {
public:
    Osk0Service() = default;
    ~Osk0Service();
    Osk0Service(const Osk0Service&) = delete;
    Osk0Service& operator=(const Osk0Service&) = delete;

    // Takes the name on the session bus; false (with the reason) when there is no bus or the
    // name is another's.
    bool start(std::string& why);
    // The connection's descriptor for poll(); -1 before start.
    int descriptor() const;
    // Reads what arrived without waiting, answers it and sends what is queued.
    void dispatch();
    // The keyboard showed or went: Visible changes and the bus hears of it.
    void setVisible(bool visible);
    // The shell asked (SetVisible) for the keyboard to show or go.
    std::function<void(bool)> visibilityWanted;

    // The reply to a call on the object (null: not one of its calls), for the bus's dispatch.
    DBusMessage* answer(DBusMessage* message);

private:

    DBusConnection* m_bus = nullptr;
    bool m_visible = false;
};

}
