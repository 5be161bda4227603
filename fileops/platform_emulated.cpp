// The host emulation behind the platform doorway. It gives each operation the
// behaviour the program relies on, as Windows documents it: drive C: is the
// host root, the profile is $HOME, read-only is a file without its owner's
// write permission, and the font table and window broadcast are in-process
// models.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "fileops/platform_backend.h"

namespace vx::win {

struct FindSearch {
    ~FindSearch();
    std::string folder;   // host folder, ending in '/'
    DIR* dir = nullptr;   // open for the search's life: later batches are read from it,
                          // and names in the folder are looked up through it
    int dots = 0;         // "." and ".." still to come
    bool all = true;      // "*" or "*.*"
    std::u16string mask;  // otherwise the folded mask: a whole name, or "*" and a suffix
    // Entries come in name order, a bounded batch at a time. Each batch is
    // the names that follow the last one reported, read afresh from the
    // folder, the way an NTFS search resumes after its last name; a folder
    // of any size costs the same memory.
    std::vector<std::string> batch;
    std::size_t next = 0;
    std::string last;      // the last name reported
    bool started = false;  // whether `last` means anything yet
    bool more = false;     // the last read had to leave names out
};

namespace {

thread_local DWORD t_lastError = 0;

void Fail(DWORD code) { t_lastError = code; }

std::size_t Len(const WCHAR* p) {
    std::size_t n = 0;
    while (p[n]) ++n;
    return n;
}

// --- UTF conversions shared by the host mapping and the code-page calls ---

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, as Windows does
// without WC_ERR_INVALID_CHARS.
std::string ToUtf8(const WCHAR* s, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// UTF-8 to UTF-16; each malformed sequence becomes one U+FFFD.
std::u16string FromUtf8(const char* s, std::size_t n) {
    std::u16string out;
    out.reserve(n);
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = byte(i);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int need = b >= 0xF0 && b <= 0xF4   ? 3
                   : b >= 0xE0 && b <= 0xEF ? 2
                   : b >= 0xC2 && b <= 0xDF ? 1
                                            : -1;
        if (need < 0) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        char32_t c = b & (0x3F >> need);
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(need); ++j) {
            if (i + j >= n || (byte(i + j) & 0xC0) != 0x80) break;
            // Reject overlong forms, surrogates and values past U+10FFFF early.
            if (j == 1) {
                unsigned char b1 = byte(i + 1);
                if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 > 0x9F) ||
                    (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 > 0x8F))
                    break;
            }
            c = (c << 6) | (byte(i + j) & 0x3F);
        }
        if (j <= static_cast<std::size_t>(need)) {
            out += u'\xFFFD';
            i += std::max<std::size_t>(1, j);
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += need + 1;
    }
    return out;
}

// --- Windows path to host path ---

// "C:\a\b" -> "/a/b". Other drives, UNC and relative paths have no host
// counterpart; for them the result is empty.
std::string HostPath(const WCHAR* p) {
    if (!p) return {};
    std::size_t n = Len(p);
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

// The hidden attribute is kept in the sticky bit: it costs no system call
// beyond the stat every attribute query makes anyway, and Linux gives the
// bit no meaning on files and only restricts deleting other users' entries
// in folders, which a profile does not have.
constexpr mode_t kHiddenBit = S_ISVTX;

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

char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

std::u16string FoldCase(std::u16string s) {
    for (auto& c : s) c = Upper(c);
    return s;
}

// --- Folder searches ---

// The order searches report names in: letters compared without case, as
// Wine and NTFS sort them, then the bytes themselves, so that names differing
// only in case still have a strict order to resume from.
bool NameLess(std::string_view x, std::string_view y) {
    auto fold = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? u - 32 : u;
    };
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i)
        if (fold(x[i]) != fold(y[i])) return fold(x[i]) < fold(y[i]);
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;
}

// Names one read of a folder keeps at most; twice this many are held while
// the read runs.
constexpr std::size_t kSearchBatch = 8192;

bool MatchesMask(const FindSearch& s, std::string_view name) {
    if (s.all) return true;
    const std::u16string f = FoldCase(FromUtf8(name.data(), name.size()));
    if (s.mask.size() > 1 && s.mask[0] == u'*') {
        const std::size_t k = s.mask.size() - 1;
        return f.size() >= k && f.compare(f.size() - k, k, s.mask, 1, k) == 0;
    }
    return f == s.mask;
}

// Keeps the `kSearchBatch` smallest names of `batch` and gives the smallest
// one it dropped: nothing from there on can belong to this batch.
std::string TrimBatch(std::vector<std::string>& batch) {
    std::nth_element(batch.begin(), batch.begin() + kSearchBatch, batch.end(), NameLess);
    std::string bound = std::move(batch[kSearchBatch]);
    batch.resize(kSearchBatch);
    return bound;
}

// Reads the next batch: the smallest names after the last one reported.
void ReadBatch(FindSearch& s) {
    s.batch.clear();
    s.next = 0;
    s.more = false;
    std::string bound;
    rewinddir(s.dir);
    while (dirent* e = readdir(s.dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (s.started && !NameLess(s.last, name)) continue;
        if (s.more && !NameLess(name, bound)) continue;
        if (!MatchesMask(s, name)) continue;
        s.batch.emplace_back(name);
        if (s.batch.size() == 2 * kSearchBatch) {
            bound = TrimBatch(s.batch);
            s.more = true;
        }
    }
    if (s.batch.size() > kSearchBatch) {
        TrimBatch(s.batch);
        s.more = true;
    }
    std::sort(s.batch.begin(), s.batch.end(), NameLess);
}

std::vector<FindSearch*>& OpenSearches() {
    static std::vector<FindSearch*> searches;
    return searches;
}

// A name directly inside a folder that an open search holds is looked up
// through the search's own handle: one step for the system instead of the
// whole path, and no way for a swapped folder on the path to lead the call
// elsewhere. Gives the handle and sets `name` to the name's place in `host`,
// or gives -1.
int OpenFolderOf(const std::string& host, const char*& name) {
    const auto slash = host.rfind('/');
    if (slash == std::string::npos || slash + 1 == host.size()) return -1;
    for (auto it = OpenSearches().rbegin(); it != OpenSearches().rend(); ++it) {
        const std::string& folder = (*it)->folder;
        if (folder.size() == slash + 1 && host.compare(0, slash + 1, folder) == 0) {
            name = host.c_str() + slash + 1;
            return dirfd((*it)->dir);
        }
    }
    return -1;
}

// lstat, through an open search's handle where one holds the folder.
int LinkStat(const std::string& host, struct stat* st) {
    const char* name = nullptr;
    const int fd = OpenFolderOf(host, name);
    return fd >= 0 ? fstatat(fd, name, st, AT_SYMLINK_NOFOLLOW) : lstat(host.c_str(), st);
}

int Unlink(const std::string& host) {
    const char* name = nullptr;
    const int fd = OpenFolderOf(host, name);
    return fd >= 0 ? unlinkat(fd, name, 0) : unlink(host.c_str());
}

// --- Path canonicalisation as the shell does it ---

// Wine's reading, which its shell code means to share with Windows: a "\.."
// steps up a folder whatever follows the two dots, so "C:\a\b\..x" is
// "C:\ax"; ".\" parts go; a step up at a drive's root takes the root's
// backslash ("C:\..x" is "C:x") unless nothing else is left.
bool IsUncServerShare(const std::u16string& s) {
    if (s.size() < 2 || s[0] != u'\\' || s[1] != u'\\') return false;
    return std::count(s.begin() + 2, s.end(), u'\\') == 1;
}

std::u16string Canonicalize(const std::u16string& src) {
    if (src.empty()) return u"\\";
    std::u16string dst;
    dst.reserve(src.size() + 1);
    std::size_t i = 0;
    if (src[0] == u'\\') {
        dst += src[i++];
    } else if (src.size() >= 2 && src[1] == u':') {
        dst += src.substr(0, 2);
        i = 2;
        if (i < src.size() && src[i] == u'\\') dst += src[i++];
    }
    const auto at = [&](std::size_t k) { return k < src.size() ? src[k] : u'\0'; };
    while (i < src.size()) {
        if (src[i] == u'.' && at(i + 1) == u'\\' &&
            (i == 0 || src[i - 1] == u'\\' || src[i - 1] == u':')) {
            i += 2;
        } else if (src[i] == u'.' && at(i + 1) == u'.' && !dst.empty() && dst.back() == u'\\') {
            std::size_t d = dst.size();
            if (d > 1 && (dst[d - 2] != u'\\' || d > 2)) {
                if (dst[d - 2] == u':' && (d > 3 || (d >= 3 && dst[d - 3] == u':'))) {
                    std::size_t k = d - 2;
                    while (k > 0 && dst[k] != u'\\') --k;
                    d = dst[k] == u'\\' ? k + 1 : 0;
                } else if (dst[d - 2] != u':' && !IsUncServerShare(dst)) {
                    d -= 2;
                }
            }
            // Back to the backslash before the part being left.
            while (d > 0 && (d >= dst.size() || dst[d] != u'\\')) --d;
            dst.resize(d);
            if (d == 0) {
                dst += u'\\';
                ++i;
            }
            i += 2;
        } else {
            dst += src[i++];
        }
    }
    if (dst.size() == 2 && dst[1] == u':') dst += u'\\';
    return dst;
}

bool IsRelative(const std::u16string& s) {
    return s.empty() || !(s[0] == u'\\' || (s.size() >= 2 && s[1] == u':'));
}

// "C:\a\b" -> "C:\", "\\srv\share\x" -> "\\srv\share", "\a" -> "\".
std::u16string RootOf(const std::u16string& s) {
    if (s.size() >= 2 && s[1] == u':') return s.substr(0, 2) + u"\\";
    if (s.size() >= 2 && s[0] == u'\\' && s[1] == u'\\') {
        std::size_t k = s.find(u'\\', 2);
        if (k != std::u16string::npos) k = s.find(u'\\', k + 1);
        return s.substr(0, k);
    }
    if (!s.empty() && s[0] == u'\\') return u"\\";
    return {};
}

// --- font table and broadcasts ---

struct FontKey {
    std::u16string path;
    bool priv;
    bool operator<(const FontKey& o) const {
        return std::tie(path, priv) < std::tie(o.path, o.priv);
    }
};

std::map<FontKey, int>& FontTable() {
    static std::map<FontKey, int> table;
    return table;
}

// Public fonts outlive the process that added them, until the session
// ends. A session is modelled by a file named in VXEMU_FONT_TABLE; without
// one, the table lives as long as the process.
const char* SessionFontFile() {
    const char* f = std::getenv("VXEMU_FONT_TABLE");
    return f && *f ? f : nullptr;
}

void LoadSessionFonts() {
    const char* file = SessionFontFile();
    if (!file) return;
    auto& table = FontTable();
    for (auto it = table.begin(); it != table.end();)
        it = it->first.priv ? std::next(it) : table.erase(it);
    std::FILE* f = std::fopen(file, "r");
    if (!f) return;
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        char* tab = std::strchr(line, '\t');
        if (!tab) continue;
        std::string path(tab + 1);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        table[{FromUtf8(path.data(), path.size()), false}] = std::atoi(line);
    }
    std::fclose(f);
}

void SaveSessionFonts() {
    const char* file = SessionFontFile();
    if (!file) return;
    std::FILE* f = std::fopen(file, "w");
    if (!f) return;
    for (const auto& [key, count] : FontTable())
        if (!key.priv)
            std::fprintf(f, "%d\t%s\n", count, ToUtf8(key.path.data(), key.path.size()).c_str());
    std::fclose(f);
}

bool LooksLikeFont(const std::string& host) {
    std::FILE* f = std::fopen(host.c_str(), "rb");
    if (!f) return false;
    unsigned char m[4] = {};
    std::size_t got = std::fread(m, 1, 4, f);
    std::fclose(f);
    if (got != 4) return false;
    return (m[0] == 0 && m[1] == 1 && m[2] == 0 && m[3] == 0) || !std::memcmp(m, "OTTO", 4) ||
           !std::memcmp(m, "true", 4) || !std::memcmp(m, "ttcf", 4);
}

// "/a/b" -> "C:\a\b", the inverse of HostPath.
std::u16string FromHostPath(const std::string& hostPath) {
    std::u16string w = u"C:" + FromUtf8(hostPath.data(), hostPath.size());
    std::replace(w.begin(), w.end(), u'/', u'\\');
    return w;
}

}  // namespace

FindSearch::~FindSearch() {
    auto& open = OpenSearches();
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    if (dir) closedir(dir);
}

namespace backend {

HRESULT SHGetKnownFolderPath(KnownFolder id, DWORD flags, WCHAR** path) {
    (void)flags;
    *path = nullptr;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return static_cast<HRESULT>(0x80070003u);
    std::string host = home;
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    if (id == KnownFolder::RoamingAppData) host += "/AppData/Roaming";
    if (id == KnownFolder::LocalAppData) host += "/AppData/Local";
    // With flags 0 the shell hands out only a folder that exists.
    struct stat st {};
    if (stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return static_cast<HRESULT>(0x80070003u);
    std::u16string w = FromHostPath(host == "/" ? std::string() : host);
    auto* buf = static_cast<WCHAR*>(std::malloc((w.size() + 1) * sizeof(WCHAR)));
    if (!buf) return static_cast<HRESULT>(0x8007000Eu);
    std::copy(w.begin(), w.end(), buf);
    buf[w.size()] = 0;
    *path = buf;
    return kSOk;
}

void CoTaskMemFree(void* p) { std::free(p); }

WCHAR* PathCombineW(WCHAR* dest, const WCHAR* dir, const WCHAR* file) {
    if (!dest) return nullptr;
    if (!dir && !file) {
        dest[0] = 0;
        return nullptr;
    }
    const std::u16string d = dir ? dir : u"";
    const std::u16string f = file ? file : u"";
    const auto fail = [&] {
        dest[0] = 0;
        return nullptr;
    };
    std::u16string joined;
    if (f.empty() && dir) {
        joined = d;
    } else if (d.empty() || !IsRelative(f)) {
        if (d.empty() || f[0] != u'\\' || (f.size() >= 2 && f[1] == u'\\')) {
            joined = f;
        } else {
            // "\x" goes below the folder's root.
            joined = RootOf(d);
            if (!joined.empty() && joined.back() != u'\\') joined += u'\\';
            if (joined.size() + f.size() - 1 >= kMaxPath) return fail();
            joined += f.substr(1);
        }
    } else {
        joined = d;
        if (joined.back() != u'\\') joined += u'\\';
        // Refused when it would not fit, before any ".." shortens it.
        if (joined.size() + f.size() >= kMaxPath) return fail();
        joined += f;
    }
    // A single part is not refused for its length; it is cut (measured on Wine).
    if (joined.size() >= kMaxPath) joined.resize(kMaxPath - 1);
    std::u16string out = Canonicalize(joined);
    if (out.size() >= kMaxPath) return fail();
    std::copy(out.begin(), out.end(), dest);
    dest[out.size()] = 0;
    return dest;
}

BOOL PathAppendW(WCHAR* path, const WCHAR* more) {
    if (!path || !more) return 0;
    if (!(more[0] == u'\\' && more[1] == u'\\'))
        while (*more == u'\\') ++more;
    std::u16string base = path;
    return PathCombineW(path, base.c_str(), more) != nullptr;
}

BOOL PathRemoveFileSpecW(WCHAR* path) {
    if (!path) return 0;
    std::u16string s = path;
    auto bs = s.rfind(u'\\');
    std::u16string out;
    if (bs == std::u16string::npos) {
        out = s.size() >= 2 && s[1] == u':' ? s.substr(0, 2) : u"";
    } else if ((bs == 2 && s[1] == u':') || bs == 0) {
        out = s.substr(0, bs + 1);
    } else if (bs == 1 && s[0] == u'\\') {
        out = u"\\\\";
    } else {
        out = s.substr(0, bs);
    }
    if (out == s) return 0;
    std::copy(out.begin(), out.end(), path);
    path[out.size()] = 0;
    return 1;
}

const WCHAR* PathFindExtensionW(const WCHAR* path) {
    if (!path) return nullptr;
    const WCHAR* dot = nullptr;
    const WCHAR* p = path;
    for (; *p; ++p) {
        if (*p == u'\\' || *p == u' ')
            dot = nullptr;
        else if (*p == u'.')
            dot = p;
    }
    return dot ? dot : p;
}

const WCHAR* PathFindFileNameW(const WCHAR* path) {
    if (!path) return nullptr;
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p; ++p) {
        if ((*p == u'\\' || *p == u'/' || *p == u':') && p[1] && p[1] != u'\\' && p[1] != u'/')
            name = p + 1;
    }
    return name;
}

FindHandle FindFirstFileW(const WCHAR* pattern, FindData* data) {
    std::u16string pat = pattern ? pattern : u"";
    auto bs = pat.rfind(u'\\');
    if (bs == std::u16string::npos) {
        Fail(kErrorFileNotFound);
        return nullptr;
    }
    std::u16string mask = pat.substr(bs + 1);
    // The pattern's end loses its dots and spaces as any path's does.
    while (!mask.empty() && (mask.back() == u'.' || mask.back() == u' ') && mask != u"." &&
           mask != u"..")
        mask.pop_back();
    std::u16string dirW = pat.substr(0, bs);
    bool atRoot = dirW.size() == 2 && dirW[1] == u':';
    std::string dir = HostPath((dirW + u"\\").c_str());
    if (dir.empty()) {
        Fail(kErrorPathNotFound);
        return nullptr;
    }
    if (mask.empty()) {  // "folder\" always fails
        Fail(kErrorFileNotFound);
        return nullptr;
    }
    DIR* d = opendir(dir.c_str());
    if (!d) {
        Fail(errno == ENOTDIR  ? kErrorDirectory
             : errno == ENOENT ? kErrorPathNotFound
                               : FromErrno(errno, dir));
        return nullptr;
    }
    auto* search = new FindSearch;
    search->dir = d;
    search->folder = dir.back() == '/' ? dir : dir + "/";
    search->all = mask == u"*" || mask == u"*.*";
    search->mask = search->all ? u"" : FoldCase(mask);
    search->dots = search->all && !atRoot ? 2 : 0;
    OpenSearches().push_back(search);
    ReadBatch(*search);
    if (!backend::FindNextFileW(search, data)) {
        delete search;
        Fail(kErrorFileNotFound);
        return nullptr;
    }
    return search;
}

BOOL FindNextFileW(FindHandle h, FindData* data) {
    if (!h) {
        Fail(6);  // ERROR_INVALID_HANDLE
        return 0;
    }
    // Attributes are read when an entry is reached, so a file deleted by an
    // earlier callback is no longer reported, as on Windows.
    auto emit = [&](const std::u16string& w, DWORD attributes) {
        data->attributes = attributes;
        const std::size_t n = std::min<std::size_t>(w.size(), kMaxPath - 1);
        std::copy_n(w.data(), n, data->fileName);
        data->fileName[n] = 0;
    };
    if (h->dots > 0) {
        emit(h->dots-- == 2 ? u"." : u"..", kAttrDirectory);
        return 1;
    }
    for (;;) {
        if (h->next == h->batch.size()) {
            if (!h->more) break;
            ReadBatch(*h);
            if (h->batch.empty()) break;
        }
        std::string& name = h->batch[h->next++];
        h->last.swap(name);
        h->started = true;
        struct stat lst {};
        if (fstatat(dirfd(h->dir), h->last.c_str(), &lst, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // Only a link needs its full path, to look at what it points to.
        const std::string host = S_ISLNK(lst.st_mode) ? h->folder + h->last : std::string();
        emit(FromUtf8(h->last.data(), h->last.size()), AttributesOf(host, lst, h->last));
        return 1;
    }
    Fail(kErrorNoMoreFiles);
    return 0;
}

BOOL FindClose(FindHandle h) {
    if (!h) {
        Fail(6);
        return 0;
    }
    delete h;
    return 1;
}

DWORD GetFileAttributesW(const WCHAR* path) {
    std::string host = HostPath(path);
    struct stat lst {};
    if (host.empty()) {
        Fail(path && *path ? kErrorPathNotFound : kErrorFileNotFound);
        return kInvalidFileAttributes;
    }
    if (LinkStat(host, &lst) != 0) {
        Fail(FromErrno(errno, host));
        return kInvalidFileAttributes;
    }
    if (host.size() > 1 && host.back() == '/' && !S_ISDIR(lst.st_mode)) {
        Fail(kErrorPathNotFound);
        return kInvalidFileAttributes;
    }
    return AttributesOf(host, lst, BaseName(host));
}

BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes) {
    std::string host = HostPath(path);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0) {
        Fail(host.empty() ? kErrorPathNotFound : FromErrno(errno, host));
        return 0;
    }
    mode_t mode = st.st_mode & 07777;
    if (!S_ISDIR(st.st_mode))  // read-only means nothing on folders, as Wine has it
        mode = attributes & kAttrReadOnly ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
    mode = attributes & kAttrHidden ? mode | kHiddenBit : mode & ~kHiddenBit;
    if (mode != (st.st_mode & 07777) && chmod(host.c_str(), mode) != 0) {
        Fail(FromErrno(errno, host));
        return 0;
    }
    return 1;
}

BOOL DeleteFileW(const WCHAR* path) {
    std::string host = HostPath(path);
    struct stat lst {};
    if (host.empty()) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    if (LinkStat(host, &lst) != 0) {
        Fail(FromErrno(errno, host));
        return 0;
    }
    if (host.back() == '/') {
        Fail(kErrorInvalidName);
        return 0;
    }
    if (S_ISDIR(lst.st_mode) || IsReadOnlyFile(lst)) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    if (Unlink(host) != 0) {
        Fail(FromErrno(errno, host));
        return 0;
    }
    return 1;
}

UINT GetTempFileNameW(const WCHAR* dir, const WCHAR* prefix, UINT unique, WCHAR* out) {
    if (!dir || !out) {
        Fail(kErrorInvalidParameter);
        return 0;
    }
    std::u16string d = dir;
    if (d.size() > kMaxPath - 14) {
        Fail(kErrorBufferOverflow);
        return 0;
    }
    std::string host = HostPath(dir);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Fail(kErrorDirectory);
        return 0;
    }
    std::u16string base = d;
    if (base.empty() || base.back() != u'\\') base += u'\\';
    std::u16string pre = prefix ? std::u16string(prefix).substr(0, 3) : u"";
    auto nameFor = [&](UINT n) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", n);
        return base + pre + std::u16string(hex, hex + std::strlen(hex)) + u".TMP";
    };
    auto emit = [&](const std::u16string& name) {
        std::copy(name.begin(), name.end(), out);
        out[name.size()] = 0;
    };
    if (unique != 0) {
        emit(nameFor(unique & 0xFFFF));
        return unique & 0xFFFF;
    }
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    UINT start = static_cast<UINT>((ts.tv_sec * 1000 + ts.tv_nsec / 1000000) & 0xFFFF);
    if (start == 0) start = 1;
    UINT n = start;
    do {
        std::u16string name = nameFor(n);
        int fd = open(HostPath(name.c_str()).c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
        if (fd >= 0) {
            close(fd);
            emit(name);
            return n;
        }
        if (errno != EEXIST) {
            Fail(FromErrno(errno, host));
            return 0;
        }
        n = (n & 0xFFFF) == 0xFFFF ? 1 : n + 1;
    } while (n != start);
    Fail(kErrorFileExists);
    return 0;
}

namespace {

BOOL Move(const WCHAR* from, const WCHAR* to, DWORD flags) {
    std::string src = HostPath(from), dst = HostPath(to);
    struct stat sst {};
    struct stat dstst {};
    if (src.empty() || lstat(src.c_str(), &sst) != 0) {
        Fail(src.empty() ? kErrorPathNotFound : FromErrno(errno, src));
        return 0;
    }
    if (dst.empty()) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    if (lstat(dst.c_str(), &dstst) == 0) {
        if (!(flags & kMoveFileReplaceExisting)) {
            Fail(kErrorAlreadyExists);
            return 0;
        }
        // Windows refuses to replace a folder or a read-only file.
        if (S_ISDIR(dstst.st_mode) || IsReadOnlyFile(dstst)) {
            Fail(kErrorAccessDenied);
            return 0;
        }
    } else if (errno != ENOENT) {
        Fail(FromErrno(errno, dst));
        return 0;
    } else if (MissingError(dst) == kErrorPathNotFound) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    if (rename(src.c_str(), dst.c_str()) == 0) return 1;
    if (errno == EXDEV && (flags & kMoveFileCopyAllowed) && S_ISREG(sst.st_mode)) {
        std::error_code ec;
        std::filesystem::copy_file(src, dst, std::filesystem::copy_options::overwrite_existing, ec);
        if (!ec && unlink(src.c_str()) == 0) return 1;
    }
    Fail(FromErrno(errno, dst));
    return 0;
}

}  // namespace

BOOL MoveFileW(const WCHAR* from, const WCHAR* to) { return Move(from, to, 0); }

BOOL MoveFileExW(const WCHAR* from, const WCHAR* to, DWORD flags) { return Move(from, to, flags); }

BOOL CreateDirectoryW(const WCHAR* path) {
    std::string host = HostPath(path);
    if (host.empty()) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    if (mkdir(host.c_str(), 0777) != 0) {
        Fail(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : FromErrno(errno, host));
        return 0;
    }
    return 1;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

void OpenFileStreamW(std::fstream& stream, const WCHAR* path, std::ios::openmode mode) {
    std::string host = HostPath(path);
    if (host.empty()) {
        stream.setstate(std::ios::failbit);
        return;
    }
    // Windows refuses to open a read-only file for writing, whoever runs
    // the program (root on the host would not be refused).
    struct stat st {};
    if ((mode & std::ios::out) && stat(host.c_str(), &st) == 0 && IsReadOnlyFile(st)) {
        Fail(kErrorAccessDenied);
        stream.setstate(std::ios::failbit);
        return;
    }
    stream.open(host, mode);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstSize) {
    if (codePage != kCpUtf8 || flags != 0 || !src || srcLen == 0 || dstSize < 0) {
        Fail(kErrorInvalidParameter);
        return 0;
    }
    std::size_t n = srcLen < 0 ? Len(src) + 1 : static_cast<std::size_t>(srcLen);
    std::string out = ToUtf8(src, n);
    if (dstSize == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(dstSize)) {
        Fail(kErrorInsufficientBuffer);
        return 0;
    }
    std::memcpy(dst, out.data(), out.size());
    return static_cast<int>(out.size());
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstSize) {
    if (codePage != kCpUtf8 || flags != 0 || !src || srcLen == 0 || dstSize < 0) {
        Fail(kErrorInvalidParameter);
        return 0;
    }
    std::size_t n = srcLen < 0 ? std::strlen(src) + 1 : static_cast<std::size_t>(srcLen);
    std::u16string out = FromUtf8(src, n);
    if (dstSize == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(dstSize)) {
        Fail(kErrorInsufficientBuffer);
        return 0;
    }
    std::copy(out.begin(), out.end(), dst);
    return static_cast<int>(out.size());
}

int AddFontResourceExW(const WCHAR* path, DWORD flags) {
    std::string host = HostPath(path);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        Fail(kErrorFileNotFound);
        return 0;
    }
    if (!LooksLikeFont(host)) return 0;
    const bool priv = (flags & kFrPrivate) != 0;
    if (!priv) LoadSessionFonts();
    ++FontTable()[{FoldCase(path), priv}];
    if (!priv) SaveSessionFonts();
    return 1;
}

BOOL RemoveFontResourceExW(const WCHAR* path, DWORD flags) {
    if (!path) return 0;
    const bool priv = (flags & kFrPrivate) != 0;
    if (!priv) LoadSessionFonts();
    auto it = FontTable().find({FoldCase(path), priv});
    if (it == FontTable().end() || it->second == 0) return 0;
    if (--it->second == 0) FontTable().erase(it);
    if (!priv) SaveSessionFonts();
    return 1;
}

BOOL SendNotifyMessageW(std::uintptr_t hwnd, UINT msg, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    if (const char* log = std::getenv("VXEMU_BROADCAST_LOG"); log && *log) {
        if (std::FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "hwnd=0x%lx msg=0x%x wparam=%lu lparam=%ld\n",
                         static_cast<unsigned long>(hwnd), msg, static_cast<unsigned long>(wParam),
                         static_cast<long>(lParam));
            std::fclose(f);
        }
    }
    return 1;
}

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
    if (!info || (info->size != kOsVersionInfoExSize && info->size != 276)) {
        Fail(kErrorInsufficientBuffer);
        return 0;
    }
    // A Windows 10 workstation (22H2); tests inject other records.
    info->majorVersion = 10;
    info->minorVersion = 0;
    info->buildNumber = 19045;
    info->platformId = 2;
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

// The host has no DLL search order to narrow.
BOOL SetDefaultDllDirectories(DWORD) { return 1; }

}  // namespace backend
}  // namespace vx::win
