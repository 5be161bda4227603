// The machine's version and locale, and the clock's UTC time, as narrow
// text for the context and the log.
#include "context/environment.h"

#include <iomanip>
#include <sstream>

#include "fileops/platform.h"
#include "paths/text.h"

namespace vx {

std::string UserLocaleName() {
    std::string result = "unknown";
    char16_t wide[win::kLocaleNameMaxLength] = {};
    char narrow[win::kLocaleNameMaxLength] = {};
    const int n = win::GetUserDefaultLocaleName(wide, win::kLocaleNameMaxLength);
    if (n <= 0) return result;
    // n counts the terminator; a system that claims more than the area holds
    // must not make us write past it.
    wide[n <= win::kLocaleNameMaxLength ? n - 1 : win::kLocaleNameMaxLength - 1] = 0;
    if (WideToUtf8Buffer(wide, narrow, sizeof narrow)) result = narrow;
    return result;
}

std::string OsVersionText() {
    win::OsVersionInfo info;
    info.size = win::kOsVersionInfoExSize;
    if (!win::GetVersionExW(&info)) return "unknown";
    std::ostringstream text;
    if (info.productType != win::kVerNtWorkstation) text << "Server ";
    text << info.majorVersion << '.' << info.minorVersion << ' ' << info.buildNumber;
    return text.str();
}

std::string UtcTimestampText() {
    win::SystemTime t;
    win::GetSystemTime(&t);
    std::ostringstream text;
    text << t.year << '-' << std::setfill('0') << std::setw(2) << t.month << '-' << std::setw(2)
         << t.day << 'T' << std::setw(2) << t.hour << ':' << std::setw(2) << t.minute << ':'
         << std::setw(2) << t.second << '.' << std::setw(6) << t.milliseconds * 1000;
    return text.str();
}

}  // namespace vx
