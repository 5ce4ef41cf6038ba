// Windows: the process check as the panel makes it (a Toolhelp32 snapshot)
// against a Windows Management Instrumentation query
// SELECT Name FROM Win32_Process WHERE Name='<name>', per call, with the
// number of processes. Prints figures; not a test.
//
//   bench_process_check_win [NAME] [CALLS] [PROCESSES]
//
// With PROCESSES, idle copies of this program are started first until about
// that many processes run (ended again at the end).

#include "platform/windows/Win32.h"

#include <windows.h>

#include <tlhelp32.h>
#include <wbemidl.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int processCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        ++count;
    CloseHandle(snapshot);
    return count;
}

// The query through COM; -1 when WMI cannot be reached.
class Wmi {
public:
    Wmi() {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
            return;
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        IWbemLocator* locator = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWbemLocator, reinterpret_cast<void**>(&locator))))
            return;
        BSTR root = SysAllocString(L"ROOT\\CIMV2");
        locator->ConnectServer(root, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services_);
        SysFreeString(root);
        locator->Release();
    }
    ~Wmi() {
        if (services_)
            services_->Release();
        CoUninitialize();
    }
    int count(const std::wstring& name) {
        if (!services_)
            return -1;
        const std::wstring text = L"SELECT Name FROM Win32_Process WHERE Name='" + name + L"'";
        BSTR language = SysAllocString(L"WQL");
        BSTR query = SysAllocString(text.c_str());
        IEnumWbemClassObject* results = nullptr;
        const HRESULT hr = services_->ExecQuery(
            language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
            &results);
        SysFreeString(language);
        SysFreeString(query);
        if (FAILED(hr))
            return -1;
        int found = 0;
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 0;
            if (results->Next(static_cast<LONG>(-1) /* WBEM_INFINITE */, 1, &object, &returned) !=
                    S_OK ||
                returned == 0)
                break;
            ++found;
            object->Release();
        }
        results->Release();
        return found;
    }

private:
    IWbemServices* services_ = nullptr;
};

template <typename F> double microsecondsPerCall(int calls, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        f();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::micro>(elapsed).count() / calls;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--idle") {
        Sleep(INFINITE);
        return 0;
    }
    std::vector<PROCESS_INFORMATION> idle;
    if (argc >= 4) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        // Wine gives a console program a host process of its own: count again.
        for (int target = std::atoi(argv[3]); processCount() < target;) {
            std::wstring line = L"\"" + std::wstring(self) + L"\" --idle";
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process{};
            if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                nullptr, nullptr, &startup, &process))
                break;
            idle.push_back(process);
        }
        Sleep(2000); // let them come up
    }
    std::wstring name = L"bitcoin-cli.exe";
    if (argc >= 2) {
        name.clear();
        for (const char* c = argv[1]; *c; ++c)
            name += static_cast<wchar_t>(*c);
    }
    const int calls = argc >= 3 ? std::atoi(argv[2]) : 200;
    Wmi wmi;
    int toolhelpCount = 0, wmiCount = 0;
    const double toolhelp = microsecondsPerCall(
        calls, [&] { toolhelpCount = tw::platform::win::countProcesses(name).value_or(-1); });
    const double query = microsecondsPerCall(calls, [&] { wmiCount = wmi.count(name); });
    std::printf("processes: %d, name: %ls, %d calls each\n", processCount(), name.c_str(), calls);
    std::printf("Toolhelp32 snapshot: %10.1f us per call (count %d)\n", toolhelp, toolhelpCount);
    std::printf("WMI query:           %10.1f us per call (count %d)\n", query, wmiCount);
    for (const PROCESS_INFORMATION& process : idle) {
        TerminateProcess(process.hProcess, 0);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    return 0;
}
