// Windows paths on the host: drive C: is the host root and the profile is
// $HOME; read-only is a file without its owner's write permission; a
// symbolic link is a reparse point, as on Windows (Wine 8 shows a link to
// a file as the file).
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fileops/emulation/emulation.h"

namespace vx::win::emu {

namespace {

char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

}  // namespace

// "C:\a\b" -> "/a/b". Other drives, UNC and relative paths have no host
// counterpart; for them the result is empty.
std::string HostPath(const WCHAR* p) {
    if (!p) return {};
    std::size_t n = std::char_traits<WCHAR>::length(p);
    if (n < 2 || (p[0] != u'C' && p[0] != u'c') || p[1] != u':') return {};
    if (n == 2) return "/";
    if (p[2] != u'\\') return {};
    // Win32 drops the dots and spaces that end a path's last part: "x.ttf "
    // and "x.ttf." name "x.ttf". Whole "." and ".." parts are steps instead.
    std::size_t last = n;
    while (last > 0 && p[last - 1] != u'\\') --last;
    const std::u16string_view part(p + last, n - last);
    if (part != u"." && part != u"..") {
        while (n > last && (p[n - 1] == u'.' || p[n - 1] == u' ')) --n;
        // "C:\a\..." is left naming the folder itself.
        if (n == last && part.size() && n > 3) --n;
    }
    // One conversion, one allocation: separators turn into '/' on the way.
    std::string host = ToUtf8(p + 2, n - 2);
    std::replace(host.begin(), host.end(), '\\', '/');
    return host;
}

// The Windows error for a path that names nothing: 3 when the folder that
// should hold it is missing, else 2.
DWORD MissingError(const std::string& host) {
    if (host.empty()) return kErrorPathNotFound;
    std::string parent = host;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    auto slash = parent.rfind('/');
    parent = slash == 0 ? "/" : parent.substr(0, slash);
    struct stat st {};
    if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrorPathNotFound;
    // "file\" names nothing inside a file: Windows says the path was not found.
    if (host.size() > 1 && host.back() == '/') return kErrorPathNotFound;
    return kErrorFileNotFound;
}

DWORD FromErrno(int e, const std::string& host) {
    switch (e) {
        case ENOENT: return MissingError(host);
        case ENOTDIR: return kErrorPathNotFound;
        case EEXIST: return kErrorAlreadyExists;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return kErrorAccessDenied;
        case EBUSY:
        case ETXTBSY: return kErrorSharingViolation;
        case ENAMETOOLONG: return kErrorInvalidName;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EINVAL: return kErrorInvalidParameter;  // a folder moved into itself
        default: return kErrorAccessDenied;
    }
}

namespace {

// Whether a host path in the ':'-separated list variable names host itself
// (unless onlyAbove) or, with above, a folder host lies in.
bool Listed(const char* variable, const std::string& host, bool above, bool onlyAbove = false) {
    const char* list = std::getenv(variable);
    if (!list || host.empty()) return false;
    const auto trimmed = [](std::string_view p) {
        while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
        return p;
    };
    const std::string_view wanted = trimmed(host);
    for (std::string_view rest(list); !rest.empty();) {
        const std::size_t colon = std::min(rest.find(':'), rest.size());
        const std::string_view entry = trimmed(rest.substr(0, colon));
        if (!entry.empty() && ((entry == wanted && !onlyAbove) ||
                               (above && wanted.size() > entry.size() &&
                                wanted.starts_with(entry) && wanted[entry.size()] == '/')))
            return true;
        rest.remove_prefix(std::min(colon + 1, rest.size()));
    }
    return false;
}

bool g_redirectionTrust = false;

}  // namespace

// Tests mark host folders as a cloud-sync client's placeholders (a reparse
// point with a cloud tag, as such a client makes its folders on Windows 10
// 1709 and later) by naming them in VXEMU_CLOUD_FOLDERS, separated by ':'.
bool IsCloudPlaceholder(const std::string& host) {
    return Listed("VXEMU_CLOUD_FOLDERS", host, false);
}

void EnforceRedirectionTrust() { g_redirectionTrust = true; }

// Tests mark host links as made by a user who is no administrator by naming
// them in VXEMU_USER_LINKS, separated by ':'. Once the process enforces
// redirection trust, Windows fails a path through one with 448: one below
// it, or the link itself where the call follows it.
bool ThroughUntrustedLink(const std::string& host, bool followsLast) {
    if (!g_redirectionTrust || !Listed("VXEMU_USER_LINKS", host, true, !followsLast)) return false;
    Fail(kErrorUntrustedMountPoint);
    return true;
}

DWORD ReparseTagOf(const std::string& host, const struct stat& lst) {
    if (S_ISLNK(lst.st_mode)) return kReparseTagSymlink;
    if (S_ISDIR(lst.st_mode) && IsCloudPlaceholder(host)) return kReparseTagCloud7;
    return 0;
}

DWORD AttributesOf(const std::string& host, const struct stat& lst, std::string_view name) {
    DWORD a = 0;
    struct stat st = lst;
    if (S_ISLNK(lst.st_mode)) {
        a |= kAttrReparsePoint;
        if (stat(host.c_str(), &st) != 0) st = lst;  // a dangling link reads as a file
    }
    bool dotName = !name.empty() && name[0] == '.' && name != "." && name != "..";
    if (S_ISDIR(st.st_mode)) {
        a |= kAttrDirectory;  // read-only is ignored on folders, as Wine does
        if (!S_ISLNK(lst.st_mode) && IsCloudPlaceholder(host)) a |= kAttrReparsePoint;
    } else {
        a |= kAttrArchive;
        if (!S_ISLNK(lst.st_mode) && !(lst.st_mode & S_IWUSR)) a |= kAttrReadOnly;
    }
    // A leading dot means hidden too, as Wine has it.
    if (dotName || (st.st_mode & kHiddenBit)) a |= kAttrHidden;
    return a;
}

std::string_view BaseName(const std::string& host) {
    const auto s = host.find_last_of('/');
    return s == std::string::npos ? std::string_view(host) : std::string_view(host).substr(s + 1);
}

bool IsReadOnlyFile(const struct stat& lst) {
    return S_ISREG(lst.st_mode) && !(lst.st_mode & S_IWUSR);
}

std::u16string FoldCase(std::u16string s) {
    for (auto& c : s) c = Upper(c);
    return s;
}

// "/a/b" -> "C:\a\b", the inverse of HostPath.
std::u16string FromHostPath(const std::string& hostPath) {
    std::u16string w = u"C:" + FromUtf8(hostPath.data(), hostPath.size());
    std::replace(w.begin(), w.end(), u'/', u'\\');
    return w;
}

}  // namespace vx::win::emu

namespace vx::win::backend {

using namespace emu;

HRESULT SHGetKnownFolderPath(KnownFolder id, DWORD flags, WCHAR** path) {
    (void)flags;
    *path = nullptr;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return kHresultPathNotFound;
    std::string host = home;
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    if (id == KnownFolder::RoamingAppData) host += "/AppData/Roaming";
    if (id == KnownFolder::LocalAppData) host += "/AppData/Local";
    // With flags 0 the shell hands out only a folder that exists.
    struct stat st {};
    if (stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kHresultPathNotFound;
    // A profile the Windows side cannot name exactly (a "\" in it, which
    // Windows reads as a separator; bytes that are not UTF-8, which become
    // U+FFFD) would be another folder on the host: there is none.
    std::u16string w = FromHostPath(host);
    if (HostPath(w.c_str()) != host) return kHresultPathNotFound;
    auto* buf = static_cast<WCHAR*>(std::malloc((w.size() + 1) * sizeof(WCHAR)));
    if (!buf) return kEOutOfMemory;
    std::copy(w.begin(), w.end(), buf);
    buf[w.size()] = 0;
    *path = buf;
    return kSOk;
}

void CoTaskMemFree(void* p) { std::free(p); }

}  // namespace vx::win::backend
