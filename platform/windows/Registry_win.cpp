#include "platform/windows/Win32.h"

#include <windows.h>

namespace tw::platform::win {

std::wstring errorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : std::wstring();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    return message.empty() ? L"error " + std::to_wstring(code) : message;
}

std::wstring settingsKeyPath(const std::wstring& application, const std::wstring& section) {
    return L"Software\\VB and VBA Program Settings\\" + application + L"\\" + section;
}

namespace {

class Key {
public:
    ~Key() {
        if (key_)
            RegCloseKey(key_);
    }
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// A key name may not hold a backslash (it would open a deeper key) and may
// not be empty (it would be the parent).
bool usableKeyName(const std::wstring& name) {
    return !name.empty() && name.find(L'\\') == std::wstring::npos;
}

} // namespace

std::vector<std::wstring> settingSections(const std::wstring& application) {
    std::vector<std::wstring> names;
    if (!usableKeyName(application))
        return names;
    Key parent;
    const std::wstring path = L"Software\\VB and VBA Program Settings\\" + application;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, parent.out()) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256]; // a key name has at most 255 characters
        DWORD length = 256;
        const LSTATUS status =
            RegEnumKeyExW(parent.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) // ERROR_NO_MORE_ITEMS, or a key that went away meanwhile
            break;
        Key section;
        DWORD values = 0;
        if (RegOpenKeyExW(parent.get(), name, 0, KEY_QUERY_VALUE, section.out()) == ERROR_SUCCESS &&
            RegQueryInfoKeyW(section.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            values > 0)
            names.emplace_back(name, length);
    }
    return names;
}

RegistryRead readSetting(const std::wstring& application, const std::wstring& section,
                         const std::wstring& key) {
    RegistryRead read;
    if (!usableKeyName(application) || !usableKeyName(section))
        return read;
    Key handle;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, settingsKeyPath(application, section).c_str(),
                                   0, KEY_QUERY_VALUE, handle.out());
    if (status == ERROR_FILE_NOT_FOUND)
        return read;
    if (status != ERROR_SUCCESS)
        return {RegistryRead::State::Unreadable, {}, errorText(static_cast<DWORD>(status))};

    std::vector<BYTE> data(256);
    for (;;) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        status = RegQueryValueExW(handle.get(), key.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size + sizeof(wchar_t));
            continue;
        }
        if (status == ERROR_FILE_NOT_FOUND)
            return read;
        if (status != ERROR_SUCCESS)
            return {RegistryRead::State::Unreadable, {}, errorText(static_cast<DWORD>(status))};
        read.state = RegistryRead::State::Found;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            // As stored: not expanded, trailing NULs dropped.
            std::wstring text(reinterpret_cast<const wchar_t*>(data.data()),
                              size / sizeof(wchar_t));
            while (!text.empty() && text.back() == L'\0')
                text.pop_back();
            read.value = text;
        } else if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD number = 0;
            memcpy(&number, data.data(), sizeof number);
            read.value = std::to_wstring(number);
        } else if (type == REG_QWORD && size == sizeof(ULONGLONG)) {
            ULONGLONG number = 0;
            memcpy(&number, data.data(), sizeof number);
            read.value = std::to_wstring(number);
        } else {
            // Binary data put there by another program: no text to give.
            read.state = RegistryRead::State::Missing;
        }
        return read;
    }
}

Outcome writeSetting(const std::wstring& application, const std::wstring& section,
                     const std::wstring& key, const std::wstring& value) {
    if (!usableKeyName(application) || !usableKeyName(section))
        return Outcome::failure(L"the section name \"" + section + L"\" cannot be a registry key");
    Key handle;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, settingsKeyPath(application, section).c_str(), 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, handle.out(), nullptr);
    if (status != ERROR_SUCCESS)
        return Outcome::failure(errorText(static_cast<DWORD>(status)));
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(handle.get(), key.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    if (status != ERROR_SUCCESS)
        return Outcome::failure(errorText(static_cast<DWORD>(status)));
    return {};
}

const wchar_t* const RunKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const StartupApprovedPath =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

namespace {

// The value `name` of the user's key at `path`, whatever its type; false
// when the key or the value is not there or cannot be read.
bool queryValue(const wchar_t* path, const std::wstring& name, DWORD& type,
                std::vector<BYTE>& data) {
    Key key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
        return false;
    data.resize(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status =
            RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size + sizeof(wchar_t));
            continue;
        }
        if (status != ERROR_SUCCESS)
            return false;
        data.resize(size);
        return true;
    }
}

// Takes the value `name` out of the user's key at `path`; a missing key or
// value is no failure.
Outcome deleteValue(const wchar_t* path, const std::wstring& name) {
    Key key;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, key.out());
    if (status == ERROR_SUCCESS)
        status = RegDeleteValueW(key.get(), name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return Outcome::failure(errorText(static_cast<DWORD>(status)));
    return {};
}

} // namespace

std::optional<std::wstring> runAtLogon(const std::wstring& name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!queryValue(RunKeyPath, name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

bool turnedOffAtLogon(const std::wstring& name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    return queryValue(StartupApprovedPath, name, type, data) && !data.empty() && (data[0] & 1);
}

Outcome setRunAtLogon(const std::wstring& name, const std::wstring& commandLine) {
    Key key;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, RunKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, key.out(), nullptr);
    if (status == ERROR_SUCCESS) {
        const DWORD bytes = static_cast<DWORD>((commandLine.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(commandLine.c_str()), bytes);
    }
    if (status != ERROR_SUCCESS)
        return Outcome::failure(errorText(static_cast<DWORD>(status)));
    // A value Task Manager once turned off would stay off.
    return deleteValue(StartupApprovedPath, name);
}

Outcome removeRunAtLogon(const std::wstring& name) {
    const Outcome removed = deleteValue(RunKeyPath, name);
    if (!removed.ok)
        return removed;
    // Task Manager's mark means nothing without the value; a later switch
    // on clears it in any case.
    deleteValue(StartupApprovedPath, name);
    return {};
}

} // namespace tw::platform::win
