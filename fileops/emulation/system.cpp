// System facts: the thread's last error, the locale from LC_ALL or LANG, a
// Windows 10 workstation's version, the host's clock, and no DLL search
// order to narrow.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "fileops/emulation/emulation.h"

namespace vx::win::emu {

namespace {

thread_local DWORD t_lastError = 0;

}  // namespace

void Fail(DWORD code) { t_lastError = code; }

}  // namespace vx::win::emu

namespace vx::win::backend {

using namespace emu;

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }

int GetUserDefaultLocaleName(WCHAR* name, int size) {
    const char* env = std::getenv("LC_ALL");
    if (!env || !*env) env = std::getenv("LANG");
    std::string loc = env ? env : "";
    std::string modifier;
    if (auto at = loc.find('@'); at != std::string::npos) {
        modifier = loc.substr(at);
        loc.erase(at);
    }
    if (auto dot = loc.find('.'); dot != std::string::npos) loc.erase(dot);
    if (loc.empty() || loc == "C" || loc == "POSIX") {
        loc = "en-US";
    } else {
        std::replace(loc.begin(), loc.end(), '_', '-');
    }
    loc += modifier;
    if (!name || size < static_cast<int>(loc.size()) + 1) {
        Fail(kErrorInsufficientBuffer);
        return 0;
    }
    std::copy(loc.begin(), loc.end(), name);
    name[loc.size()] = 0;
    return static_cast<int>(loc.size()) + 1;
}

BOOL GetVersionExW(OsVersionInfo* info) {
    if (!info || (info->size != kOsVersionInfoExSize && info->size != kOsVersionInfoSize)) {
        Fail(kErrorInsufficientBuffer);
        return 0;
    }
    // A Windows 10 workstation (22H2); tests inject other records.
    info->majorVersion = 10;
    info->minorVersion = 0;
    info->buildNumber = 19045;
    info->platformId = kVerPlatformWin32Nt;
    info->productType = kVerNtWorkstation;
    return 1;
}

void GetSystemTime(SystemTime* time) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    gmtime_r(&ts.tv_sec, &tm);
    time->year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    time->month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    time->dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    time->day = static_cast<std::uint16_t>(tm.tm_mday);
    time->hour = static_cast<std::uint16_t>(tm.tm_hour);
    time->minute = static_cast<std::uint16_t>(tm.tm_min);
    time->second = static_cast<std::uint16_t>(tm.tm_sec);
    time->milliseconds = static_cast<std::uint16_t>(ts.tv_nsec / 1000000);
}

// The host account the process runs as.
BOOL GetUserNameW(WCHAR* name, DWORD size) {
    const passwd* pw = getpwuid(geteuid());
    const std::u16string w = pw ? FromUtf8(pw->pw_name, std::strlen(pw->pw_name)) : u"";
    if (w.empty() || w.size() >= size) {
        Fail(w.empty() ? kErrorInvalidHandle : kErrorInsufficientBuffer);
        return 0;
    }
    std::copy(w.begin(), w.end(), name);
    name[w.size()] = 0;
    return 1;
}

// The host has no DLL search order to narrow.
BOOL SetDefaultDllDirectories(DWORD) { return 1; }

// A user's process, unelevated; tests inject an elevated token.
BOOL GetTokenElevation() { return 0; }

// As on Windows 11: offered, and enforced from then on.
BOOL SetRedirectionTrustPolicy() {
    EnforceRedirectionTrust();
    return 1;
}

// The host's arguments are bytes; read as UTF-8, they are what Windows would
// hand out of its wide command line.
void GetCommandLineArgsW(std::vector<std::u16string>& args) {
    std::FILE* f = std::fopen("/proc/self/cmdline", "rb");
    if (!f) return;
    std::string arg;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        if (c) {
            arg += static_cast<char>(c);
            continue;
        }
        args.push_back(FromUtf8(arg.data(), arg.size()));
        arg.clear();
    }
    std::fclose(f);
}

BOOL Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 1;
}

}  // namespace vx::win::backend
