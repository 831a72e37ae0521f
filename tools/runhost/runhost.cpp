// runhost: enters mainframe.dll's sorvaMain from the command line, as the
// launcher does, for demos and tests that need the host without it.
#include <windows.h>

#include <cstdio>
#include <string>

typedef int (*SorvaMainFn)(int argc, char** argv, std::wstring version);

int main(int argc, char** argv)
{
    HMODULE host = LoadLibraryW(L"mainframe.dll");
    auto entry = host ? reinterpret_cast<SorvaMainFn>(GetProcAddress(host, "sorvaMain")) : nullptr;
    if (!entry) {
        fprintf(stderr, "runhost: mainframe.dll or its sorvaMain is missing\n");
        return 1;
    }
    return entry(argc, argv, std::wstring(L"1.0.0.1"));
}
