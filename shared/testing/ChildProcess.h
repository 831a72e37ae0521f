// A program of the test's own folder run as a separate process with its
// output in a file (the stand-in host, DirectShow consumers), and the request
// its windows get to close.
#pragma once

#include <windows.h>

#include <string>

namespace tqtest {

// The folder of the running program (the build's bin folder).
inline std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // program: a file of ProgramFolder(), which is also its working folder;
    // its standard output and errors go to outputFile.
    bool Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& outputFile)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE output = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup = {sizeof startup};
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
        std::wstring line = L"\"" + ProgramFolder() + L"\\" + program + L"\" " + arguments;
        const bool started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                            ProgramFolder().c_str(), &startup, &m_process);
        if (output != INVALID_HANDLE_VALUE)
            CloseHandle(output);
        return started;
    }
    // Dispatches this thread's messages (an engine's watchers live on them)
    // until the child ends or timeoutMs passes; its exit code, STILL_ACTIVE
    // while it runs.
    DWORD Wait(DWORD timeoutMs)
    {
        const DWORD start = GetTickCount();
        while (!Ended() && GetTickCount() - start <= timeoutMs) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            MsgWaitForMultipleObjects(1, &m_process.hProcess, FALSE, 10, QS_ALLINPUT);
        }
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }
    bool Ended() const { return WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0; }
    DWORD Id() const { return m_process.dwProcessId; }
    ~ChildProcess()
    {
        if (!m_process.hProcess)
            return;
        if (!Ended()) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 10000);
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }

private:
    PROCESS_INFORMATION m_process = {};
};

// EnumWindows callback: posts WM_CLOSE to every visible window of the process
// whose id is processId.
inline BOOL CALLBACK CloseVisibleWindowsOf(HWND window, LPARAM processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == DWORD(processId) && IsWindowVisible(window))
        PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace tqtest
