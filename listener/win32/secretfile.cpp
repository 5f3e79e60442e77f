#include "listener/win32/secretfile.h"
#include "listener/core/options.h"
#include "listener/win32/codepage.h"

#include <windows.h>

#include <algorithm>

// An environment variable's value in UTF-8; empty when it is not set.
static std::string Variable(const wchar_t *name)
{
    DWORD size = GetEnvironmentVariableW(name, NULL, 0);
    if (size == 0)
        return std::string();
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(name, &value[0], size);
    return length < size ? WideToUtf8(value.data(), length) : std::string();
}

std::string SecretFileOfAttempt(const std::string &given)
{
    if (!given.empty())
        return given;
    return SlimeSecretPath(Variable(L"HOME"), Variable(L"USERPROFILE"), Variable(L"HOMEDRIVE"), Variable(L"HOMEPATH"));
}

SecretResult ReadSecret(const std::string &path, std::string *secret)
{
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SecretMissing : SecretUnreadable;
    }
    // A line longer than this is no secret a person made.
    const size_t LineLimit = 64 << 10;
    secret->clear();
    char buffer[4096];
    DWORD got = 0;
    bool good;
    while ((good = ReadFile(file, buffer, sizeof buffer, &got, NULL) != 0) && got > 0) {
        secret->append(buffer, got);
        if (secret->find('\n') != std::string::npos || secret->size() > LineLimit)
            break;
    }
    CloseHandle(file);
    secret->resize(std::min(secret->find('\n'), secret->size()));
    if (!secret->empty() && secret->back() == '\r')
        secret->pop_back();
    return good && secret->size() <= LineLimit ? SecretRead : SecretUnreadable;
}
