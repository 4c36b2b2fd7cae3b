#include "x11host/AutoShow.h"

namespace x11host {

AutoShow::AutoShow(bool always, PanelCommand start)
    : m_always(always)
    , m_shown(start != PanelCommand::Hide)
{
}

void AutoShow::focus(bool editable, unsigned now)
{
    m_editable = editable;
    if (m_always || !m_following)
        return;
    if (editable) {
        m_hidePending = false;
        if (!m_hardware)
            m_shown = true;
        return;
    }
    if (m_shown && !m_hidePending) {
        m_hidePending = true;
        m_hideAt = now + kHideDelay;
    }
}

void AutoShow::focus_unavailable()
{
    m_following = false;
    m_hidePending = false;
    m_shown = true;
}

void AutoShow::hardware_key()
{
    if (!m_always && !m_shown)
        m_hardware = true;
}

void AutoShow::touch()
{
    if (!m_hardware)
        return;
    m_hardware = false;
    if (m_editable && m_following && !m_always)
        m_shown = true;
}

void AutoShow::command(PanelCommand command)
{
    m_hidePending = false;
    switch (command) {
    case PanelCommand::Show:
        m_shown = true;
        m_hardware = false;
        break;
    case PanelCommand::Hide:
        m_shown = false;
        break;
    case PanelCommand::Toggle:
        m_shown = !m_shown;
        if (m_shown)
            m_hardware = false;
        break;
    case PanelCommand::Unset:
        break;
    }
}

void AutoShow::tick(unsigned now, bool keepUp)
{
    if (!m_hidePending || static_cast<int>(now - m_hideAt) < 0)
        return;
    m_hidePending = false;
    if (!keepUp && !m_editable)
        m_shown = false;
}

}
