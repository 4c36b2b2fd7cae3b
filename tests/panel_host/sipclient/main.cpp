// A device program for the input panel tests: asks the panel of the device it runs on, from a
// process of its own, to make the input method named by its argument current and to show itself,
// and prints what the panel then reports.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::u16string text;
    for (const char* c = argv[1]; *c; ++c)
        text += static_cast<char16_t>(*c);
    CLSID wanted;
    if (CLSIDFromString(text.c_str(), &wanted) != S_OK)
        return 2;
    BOOL set = SipSetCurrentIM(&wanted);
    CLSID current {};
    SipGetCurrentIM(&current);
    WCHAR name[40];
    StringFromGUID2(current, name, 40);
    std::string shown;
    for (int i = 0; i < 38; ++i)
        shown += static_cast<char>(name[i]);
    BOOL show = SipShowIM(SIPF_ON);
    std::printf("set=%d current=%s show=%d status=%u\n", set, shown.c_str(), show, static_cast<unsigned>(SipStatus()));
    return 0;
}
