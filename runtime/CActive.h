#pragma once
// An active object: deferred work that the scheduler runs on the application's thread once it
// was made active (set_active) and its request completed (notify).
#include <cstdint>

class CActiveScheduler;

class CActive {
public:
    CActive();
    // Destroying an object that is still active is a fatal error.
    virtual ~CActive();
    CActive(const CActive&) = delete;
    CActive& operator=(const CActive&) = delete;

    // Called by the scheduler once the object is ready.
    virtual void run() { }
    // Asked to make an outstanding request complete at once (so that notify follows).
    virtual void do_cancel() { }

    bool is_active() const { return m_active; }
    int32_t id() const { return m_id; }

private:
    friend class CActiveScheduler;
    bool m_active = false;
    bool m_ready = false; // in the scheduler's ready list
    int32_t m_id;
};
