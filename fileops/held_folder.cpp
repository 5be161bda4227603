// Holding the folders the run acts in, and the checks of what is opened in
// them.
#include "fileops/held_folder.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "fileops/retry.h"

namespace vx {
namespace {

// A held folder is listed and has names opened in it; it shares no delete,
// so that nobody renames it meanwhile.
constexpr win::DWORD kFolderAccess =
    win::kFileListDirectory | win::kFileTraverse | win::kFileReadAttributes | win::kSynchronize;
constexpr win::DWORD kFolderOptions = win::kFileDirectoryFile | win::kFileOpenReparsePoint |
                                      win::kFileSynchronousIoNonalert |
                                      win::kFileOpenForBackupIntent;

HeldFolder* g_innermost = nullptr;
bool g_elevated = false;
std::vector<WideString> g_trusted;

// The forms a folder's final path is asked in, in turn. Windows cannot give
// the normalized form over SMB where client or server predates Windows 10
// 1709 and the user may not list a folder above (5), for a volume without a
// drive letter (3), and on some RAM disks, image mounts and user-mode file
// systems (1, 21, 1005); "GetFinalPathNameByHandleW function", Microsoft
// Learn. The opened form needs no look at the folders above, and the NT
// volume form no drive letter. A folder and what is opened in it are always
// compared in the same form. Wine 8 ignores FILE_NAME_OPENED and answers
// the normalized form, so there a file link still shows as its target.
constexpr win::DWORD kFinalForms[] = {win::kFileNameNormalized, win::kFileNameOpened,
                                      win::kFileNameOpened | win::kVolumeNameNt};

// Reparse points that lead elsewhere: a name surrogate, or a tag that
// cannot be told apart from one (0, as Wine shows a link to a folder).
bool LeadsElsewhere(win::DWORD attributes, win::DWORD reparseTag) {
    return (attributes & win::kAttrReparsePoint) &&
           (reparseTag == 0 || (reparseTag & win::kReparseTagNameSurrogate));
}

char16_t FoldedAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

std::u16string_view WithoutTrailingSeparators(std::u16string_view path) {
    while (path.size() > 3 && path.back() == u'\\') path.remove_suffix(1);
    return path;
}

}  // namespace

std::u16string_view FinalPath(win::FileHandle h, FinalArea& area, win::DWORD form) {
    const win::DWORD n = win::GetFinalPathNameByHandleW(h, area, std::size(area), form);
    if (n >= std::size(area)) win::SetLastError(win::kErrorInsufficientBuffer);
    if (n == 0 || n >= std::size(area)) return {};
    return std::u16string_view(area, n);
}

bool SameFile(const win::FileInfo& a, const win::FileInfo& b) {
    if (a.hasFileId && b.hasFileId)
        return (a.fileIdLow || a.fileIdHigh) && a.volumeSerial64 == b.volumeSerial64 &&
               a.fileIdLow == b.fileIdLow && a.fileIdHigh == b.fileIdHigh;
    return a.fileIndex != 0 && a.volumeSerial == b.volumeSerial && a.fileIndex == b.fileIndex;
}

bool NamedThere(std::u16string_view final, std::u16string_view folderFinal,
                std::u16string_view name, bool anyCase) {
    if (folderFinal.empty() || final.empty()) return false;
    const std::size_t slash = folderFinal.back() == u'\\' ? 0 : 1;
    if (final.size() != folderFinal.size() + slash + name.size() ||
        !final.starts_with(folderFinal) || (slash && final[folderFinal.size()] != u'\\'))
        return false;
    return std::equal(name.begin(), name.end(), final.begin() + folderFinal.size() + slash,
                      [anyCase](char16_t a, char16_t b) {
                          return anyCase ? FoldedAscii(a) == FoldedAscii(b) : a == b;
                      });
}

std::size_t NameStart(const WideString& path) {
    const std::size_t slash = path.rfind(u'\\');
    return slash == WideString::npos || slash == 0 || slash + 1 >= path.size() ? 0 : slash + 1;
}

HeldFolder::~HeldFolder() {
    if (!handle_) return;
    win::CloseHandle(handle_);
    HeldFolder** link = &g_innermost;
    while (*link && *link != this) link = &(*link)->outer_;
    if (*link) *link = outer_;
}

HeldFolder* HeldFolder::Find(std::u16string_view folder) {
    folder = WithoutTrailingSeparators(folder);
    for (HeldFolder* f = g_innermost; f; f = f->outer_)
        if (f->path_ == folder) return f;
    return nullptr;
}

std::string FolderRefusal::Why() const {
    std::string why;
    switch (kind) {
        case Kind::None: return "missing";
        case Kind::Link:
            why = "a link, or no longer the folder it was (its contents lie elsewhere)";
            break;
        case Kind::NotAFolder: why = "it does not open as a folder"; break;
        case Kind::Held: why = "another program has it open to move or delete it"; break;
        case Kind::NoFinalPath: why = "Windows cannot tell where it lies"; break;
    }
    if (!above.empty())
        why = WideToUtf8(above) +
              " above it is a link, which a run with an elevated token does not follow";
    if (code) why += ", code=" + std::to_string(code);
    return why;
}

std::string FolderRefusal::Text() const { return "not walked: " + Why(); }

bool HeldFolder::Open(const WideString& path, FolderRefusal* refusal) {
    FolderRefusal ignored;
    if (!refusal) refusal = &ignored;
    *refusal = FolderRefusal{};
    if (handle_ || IsEmptyText(path)) return false;
    const WideString own(WithoutTrailingSeparators(path));
    const std::size_t at = NameStart(own);
    if (at == 0) return false;
    // Elevated, each folder from a known folder down is held in its turn,
    // and none may be a link.
    std::vector<std::unique_ptr<HeldFolder>> above;
    if (g_elevated && !Find(own.substr(0, at > 3 ? at - 1 : at))) {
        const auto known =
            std::find_if(g_trusted.begin(), g_trusted.end(), [&](const WideString& k) {
                return own.size() > k.size() + 1 && own.starts_with(k) && own[k.size()] == u'\\';
            });
        for (std::size_t step = known == g_trusted.end() ? WideString::npos
                                                         : own.find(u'\\', known->size() + 1);
             step < at; step = own.find(u'\\', step + 1)) {
            above.push_back(std::make_unique<HeldFolder>());
            if (!above.back()->OpenOne(own.substr(0, step), refusal)) {
                if (refusal->kind == FolderRefusal::Kind::Link)
                    refusal->above = own.substr(0, step);
                return false;
            }
        }
    }
    return OpenOne(own, refusal);
}

bool HeldFolder::OpenOne(const WideString& own, FolderRefusal* refusal) {
    const std::size_t at = NameStart(own);
    if (at == 0) return false;
    const WideString parent = own.substr(0, at > 3 ? at - 1 : at);
    const char16_t* name = own.c_str() + at;
    const HeldFolder* outer = Find(parent);
    win::FileHandle root =
        outer ? outer->handle_
              : win::CreateFileW(parent.c_str(), kFolderAccess, kShareAll, win::kOpenExisting,
                                 win::kFileFlagBackupSemantics);
    if (!root) return false;
    // Sharing no delete, the open is refused (32) while another program has
    // the folder open for DELETE, as a sync client or Explorer does while
    // it moves the folder: tried again as a held file is.
    RetryBudget budget;
    win::FileHandle h = nullptr;
    WithRetries(
        budget,
        [&] {
            h = win::NtCreateFile(root, name, kFolderAccess,
                                  win::kFileShareRead | win::kFileShareWrite, kFolderOptions);
            return h != nullptr;
        },
        [](win::DWORD error) { return error != win::kErrorSharingViolation; });
    const win::DWORD error = win::GetLastError();
    const auto refuse = [&](FolderRefusal::Kind kind, win::DWORD code) {
        if (h) win::CloseHandle(h);
        if (!outer) win::CloseHandle(root);
        refusal->kind = kind;
        refusal->code = code;
        return false;
    };
    if (!h) {
        // What exists but does not open as a folder (a link to a file, a
        // file) is no folder to act in; a missing one is told as missing.
        if (error == win::kErrorFileNotFound || error == win::kErrorPathNotFound) {
            if (!outer) win::CloseHandle(root);
            win::SetLastError(error);
            return false;
        }
        refuse(error == win::kErrorSharingViolation ? FolderRefusal::Kind::Held
                                                    : FolderRefusal::Kind::NotAFolder,
               error);
        win::SetLastError(error);
        return false;
    }
    win::FileInfo info;
    if (!win::GetFileInformationByHandle(h, &info) || !(info.attributes & win::kAttrDirectory) ||
        LeadsElsewhere(info.attributes, info.reparseTag))
        return refuse(FolderRefusal::Kind::Link, 0);
    // The folder and what it was opened in, in the first form both answer.
    FinalArea rootArea, ownArea;
    std::u16string_view rootFinal, final;
    win::DWORD form = kFinalForms[0], finalError = 0;
    for (const win::DWORD f : kFinalForms) {
        form = f;
        rootFinal = outer && outer->finalForm_ == f ? std::u16string_view(outer->finalPath_)
                                                    : FinalPath(root, rootArea, f);
        final = rootFinal.empty() ? std::u16string_view() : FinalPath(h, ownArea, f);
        if (!final.empty()) break;
        finalError = win::GetLastError();
    }
    if (final.empty()) return refuse(FolderRefusal::Kind::NoFinalPath, finalError);
    if (!NamedThere(final, rootFinal, name, true)) return refuse(FolderRefusal::Kind::Link, 0);
    if (!outer) win::CloseHandle(root);
    handle_ = h;
    path_ = own;
    finalPath_ = final;
    finalForm_ = form;
    outer_ = g_innermost;
    g_innermost = this;
    return true;
}

void NoteTokenElevation() {
    g_elevated = win::GetTokenElevation() != 0;
    if (g_elevated) win::SetRedirectionTrustPolicy();
}

bool TokenElevated() { return g_elevated; }

void TrustFolder(const WideString& knownFolder) {
    const std::u16string_view folder = WithoutTrailingSeparators(knownFolder);
    if (!folder.empty() && std::find(g_trusted.begin(), g_trusted.end(), folder) == g_trusted.end())
        g_trusted.emplace_back(folder);
}

}  // namespace vx
