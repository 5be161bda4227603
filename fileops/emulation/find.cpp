// Folder searches: names in the order NTFS and Wine give them, read from the
// folder a bounded batch at a time, each entry's attributes read when it is
// reached.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "fileops/emulation/emulation.h"

namespace vx::win {

struct FindSearch {
    FindSearch() = default;
    FindSearch(const FindSearch&) = delete;  // one owner closes the folder
    FindSearch& operator=(const FindSearch&) = delete;
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

}  // namespace vx::win

namespace vx::win::emu {

namespace {

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

}  // namespace

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

}  // namespace vx::win::emu

namespace vx::win {

FindSearch::~FindSearch() {
    auto& open = emu::OpenSearches();
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    if (dir) closedir(dir);
}

}  // namespace vx::win

namespace vx::win::backend {

using namespace emu;

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
    if (ThroughUntrustedLink(dir, true)) return nullptr;
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
        Fail(kErrorInvalidHandle);
        return 0;
    }
    // Attributes are read when an entry is reached, so a file deleted by an
    // earlier callback is no longer reported, as on Windows.
    auto emit = [&](const std::u16string& w, DWORD attributes, DWORD tag) {
        data->attributes = attributes;
        data->reparseTag = tag;
        const std::size_t n = std::min<std::size_t>(w.size(), kMaxPath - 1);
        std::copy_n(w.data(), n, data->fileName);
        data->fileName[n] = 0;
    };
    if (h->dots > 0) {
        emit(h->dots-- == 2 ? u"." : u"..", kAttrDirectory, 0);
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
        // Only a link or a folder needs its full path: to look at what a
        // link points to, and whether a folder is a cloud placeholder.
        const bool pathNeeded = S_ISLNK(lst.st_mode) || S_ISDIR(lst.st_mode);
        const std::string host = pathNeeded ? h->folder + h->last : std::string();
        const DWORD attributes = AttributesOf(host, lst, h->last);
        emit(FromUtf8(h->last.data(), h->last.size()), attributes,
             attributes & kAttrReparsePoint ? ReparseTagOf(host, lst) : 0);
        return 1;
    }
    Fail(kErrorNoMoreFiles);
    return 0;
}

BOOL FindClose(FindHandle h) {
    if (!h) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    delete h;
    return 1;
}

}  // namespace vx::win::backend
