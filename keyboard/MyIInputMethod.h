#pragma once
// The input-method object that the platform's input panel creates and drives: it owns the
// skin, makes the keyboard data and the keyboard application, and tells the panel its size.
#include "skin/file/Properties.h"

#include <sip.h>
#include <windows.h>

inline constexpr char16_t kSkinPath[] = u"%program_files%/Tarn/Magnikeys/skins/bin/default.skin";

class MyIInputMethod final : public IInputMethod {
public:
    MyIInputMethod(IUnknown* outer, HINSTANCE module);
    // Not virtual: the interface's table has exactly the platform's slots; Release deletes the
    // object as what it is.
    ~MyIInputMethod();
    MyIInputMethod(const MyIInputMethod&) = delete;
    MyIInputMethod& operator=(const MyIInputMethod&) = delete;

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(Select)(HWND sipWindow) override;
    STDMETHOD(Deselect)() override;
    STDMETHOD(Showing)() override;
    STDMETHOD(Hiding)() override;
    STDMETHOD(GetInfo)(IMINFO* info) override;
    STDMETHOD(ReceiveSipInfo)(SIPINFO* info) override;
    STDMETHOD(RegisterCallback)(IIMCallback* callback) override;
    STDMETHOD(GetImData)(DWORD size, LPVOID data) override;
    STDMETHOD(SetImData)(DWORD size, LPVOID data) override;
    STDMETHOD(UserOptionsDlg)(HWND parent) override;

    bool skin_loaded() const { return !m_skin.empty(); }
    const Properties& skin() const { return m_skin; }

    // The SIP size of the process (screen pixels) and the panel rectangle made from it.
    static SIZE sip_size();
    static void set_sip_size(SIZE size);
    static RECT panel_rect();

private:
    void compute_sip_size();
    void reset_kb_app();

    HWND m_sipWindow = nullptr;
    Properties m_skin;
    IIMCallback* m_callback = nullptr;
    LONG m_refCount = 0;
    IUnknown* m_controlling = nullptr;
    HINSTANCE m_module = nullptr;
};
