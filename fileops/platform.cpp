// The doorway's calls as the program sees them: each asks the test hooks,
// if any are installed, and then the build's backend.
#include "fileops/platform.h"

#include <memory>
#include <new>

#include "fileops/platform_backend.h"
#include "fileops/platform_hooks.h"

namespace vx::win {
namespace {

testing::ScopedHooks* g_hooks = nullptr;

std::u16string Text(const WCHAR* p) { return p ? std::u16string(p) : std::u16string(); }

std::u16string Text(const WCHAR* p, int len) {
    if (!p) return {};
    if (len < 0) return std::u16string(p);
    return std::u16string(p, static_cast<std::size_t>(len));
}

// Asks the installed hooks about a call; an injected outcome sets the last
// error (or throws) and its result then stands in for the system's. The
// record is built only when hooks are installed: without them a call costs
// one pointer test and no copy of its texts.
template <class MakeCall>
std::optional<testing::Outcome> InjectedOutcome(MakeCall makeCall) {
    if (!g_hooks) return std::nullopt;
    auto outcome = g_hooks->Enter(makeCall());
    if (!outcome) return std::nullopt;
    if (outcome->throwBadAlloc) throw std::bad_alloc();
    backend::SetLastError(outcome->error);
    return outcome;
}

template <class MakeCall>
std::optional<std::int64_t> Injected(MakeCall makeCall) {
    if (auto outcome = InjectedOutcome(makeCall)) return outcome->result;
    return std::nullopt;
}

using testing::Call;
using testing::Op;

}  // namespace

namespace testing {

ScopedHooks::ScopedHooks() : previous_(g_hooks) { g_hooks = this; }
ScopedHooks::~ScopedHooks() { g_hooks = previous_; }

void ScopedHooks::FailNth(Op op, int nth, Outcome outcome) {
    auto seen = std::make_shared<int>(0);
    Inject([=](const Call& c) -> std::optional<Outcome> {
        if (c.op != op) return std::nullopt;
        if (++*seen == nth) return outcome;
        return std::nullopt;
    });
}

void ScopedHooks::FailAll(Op op, Outcome outcome) {
    Inject([=](const Call& c) -> std::optional<Outcome> {
        if (c.op == op) return outcome;
        return std::nullopt;
    });
}

std::vector<Call> ScopedHooks::CallsOf(Op op) const {
    std::vector<Call> out;
    for (const auto& c : calls_)
        if (c.op == op) out.push_back(c);
    return out;
}

int ScopedHooks::Count(Op op) const {
    int n = 0;
    for (const auto& c : calls_) n += c.op == op;
    return n;
}

std::optional<Outcome> ScopedHooks::Enter(Call call) {
    calls_.push_back(call);
    for (auto& injector : injectors_)
        if (auto outcome = injector(calls_.back())) return outcome;
    return std::nullopt;
}

const char* OpName(Op op) {
    static const char* const names[] = {
#define VX_PLATFORM_OP(result, name, params) #name,
#define VX_PLATFORM_UNHOOKED(result, name, params)
#include "fileops/platform_ops.inc"
#undef VX_PLATFORM_UNHOOKED
#undef VX_PLATFORM_OP
    };
    return names[static_cast<int>(op)];
}

}  // namespace testing

// Injected: stands in.
HRESULT SHGetKnownFolderPath(KnownFolder id, DWORD flags, WCHAR** path) {
    if (auto r = Injected([&] {
            const auto folder = static_cast<std::uint64_t>(id);
            return Call{Op::SHGetKnownFolderPath, {}, {}, folder, flags, path};
        })) {
        *path = nullptr;
        return static_cast<HRESULT>(*r);
    }
    return backend::SHGetKnownFolderPath(id, flags, path);
}

// Injected: recorded only.
void CoTaskMemFree(void* p) {
    if (g_hooks) g_hooks->Enter({Op::CoTaskMemFree, {}, {}, p != nullptr});
    backend::CoTaskMemFree(p);
}

// Injected: fails on 0, else calls through.
WCHAR* PathCombineW(WCHAR* dest, const WCHAR* dir, const WCHAR* file) {
    if (auto r = Injected([&] {
            return Call{Op::PathCombineW, Text(dir), Text(file)};
        });
        r && *r == 0) {
        if (dest) dest[0] = 0;
        return nullptr;
    }
    return backend::PathCombineW(dest, dir, file);
}

// Injected: fails on 0, else calls through.
BOOL PathAppendW(WCHAR* path, const WCHAR* more) {
    if (auto r = Injected([&] {
            return Call{Op::PathAppendW, Text(path), Text(more)};
        });
        r && *r == 0)
        return 0;
    return backend::PathAppendW(path, more);
}

// Injected: fails on 0, else calls through.
BOOL PathRemoveFileSpecW(WCHAR* path) {
    if (auto r = Injected([&] { return Call{Op::PathRemoveFileSpecW, Text(path)}; }); r && *r == 0)
        return 0;
    return backend::PathRemoveFileSpecW(path);
}

// Injected: recorded only.
const WCHAR* PathFindExtensionW(const WCHAR* path) {
    if (g_hooks) g_hooks->Enter({Op::PathFindExtensionW, Text(path)});
    return backend::PathFindExtensionW(path);
}

// Injected: recorded only.
const WCHAR* PathFindFileNameW(const WCHAR* path) {
    if (g_hooks) g_hooks->Enter({Op::PathFindFileNameW, Text(path)});
    return backend::PathFindFileNameW(path);
}

// Injected: fails on 0, else calls through, and editFound may then change
// the record the system filled.
FindHandle FindFirstFileW(const WCHAR* pattern, FindData* data) {
    const auto r = InjectedOutcome([&] { return Call{Op::FindFirstFileW, Text(pattern)}; });
    if (r && r->result == 0) return nullptr;
    FindHandle h = backend::FindFirstFileW(pattern, data);
    if (h && r && r->editFound) r->editFound(*data);
    return h;
}

// Injected: fails on 0, else calls through.
BOOL FindNextFileW(FindHandle h, FindData* data) {
    if (auto r = Injected([&] { return Call{Op::FindNextFileW}; }); r && *r == 0) return 0;
    return backend::FindNextFileW(h, data);
}

// Injected: recorded only.
BOOL FindClose(FindHandle h) {
    if (g_hooks) g_hooks->Enter({Op::FindClose, {}, {}, h != nullptr});
    return backend::FindClose(h);
}

// Injected: stands in.
DWORD GetFileAttributesW(const WCHAR* path) {
    if (auto r = Injected([&] { return Call{Op::GetFileAttributesW, Text(path)}; }))
        return static_cast<DWORD>(*r == 0 ? kInvalidFileAttributes : *r);
    return backend::GetFileAttributesW(path);
}

// Injected: stands in.
BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes) {
    if (auto r = Injected([&] { return Call{Op::SetFileAttributesW, Text(path), {}, attributes}; }))
        return *r != 0;
    return backend::SetFileAttributesW(path, attributes);
}

// Injected: stands in.
BOOL DeleteFileW(const WCHAR* path) {
    if (auto r = Injected([&] { return Call{Op::DeleteFileW, Text(path)}; })) return *r != 0;
    return backend::DeleteFileW(path);
}

// Injected: fails on 0, else calls through.
UINT GetTempFileNameW(const WCHAR* dir, const WCHAR* prefix, UINT unique, WCHAR* out) {
    if (auto r = Injected([&] {
            return Call{Op::GetTempFileNameW, Text(dir), Text(prefix), unique};
        });
        r && *r == 0)
        return 0;
    return backend::GetTempFileNameW(dir, prefix, unique, out);
}

// Injected: stands in.
BOOL MoveFileW(const WCHAR* from, const WCHAR* to) {
    if (auto r = Injected([&] { return Call{Op::MoveFileW, Text(from), Text(to)}; }))
        return *r != 0;
    return backend::MoveFileW(from, to);
}

// Injected: stands in.
BOOL MoveFileExW(const WCHAR* from, const WCHAR* to, DWORD flags) {
    if (auto r = Injected([&] { return Call{Op::MoveFileExW, Text(from), Text(to), flags}; }))
        return *r != 0;
    return backend::MoveFileExW(from, to, flags);
}

// Injected: stands in.
BOOL CreateDirectoryW(const WCHAR* path) {
    if (auto r = Injected([&] { return Call{Op::CreateDirectoryW, Text(path)}; })) return *r != 0;
    return backend::CreateDirectoryW(path);
}

// Injected: fails on 0, else calls through.
FileHandle CreateFileW(const WCHAR* path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags) {
    if (auto r = Injected([&] {
            return Call{Op::CreateFileW, Text(path), {}, access, flags};
        });
        r && *r == 0)
        return nullptr;
    return backend::CreateFileW(path, access, share, disposition, flags);
}

// Injected: fails on 0, else calls through.
FileHandle NtCreateFile(FileHandle root, const WCHAR* name, DWORD access, DWORD share,
                        DWORD options) {
    if (auto r = Injected([&] {
            return Call{Op::NtCreateFile, Text(name), {}, access, options};
        });
        r && *r == 0)
        return nullptr;
    return backend::NtCreateFile(root, name, access, share, options);
}

// Injected: recorded only.
BOOL CloseHandle(FileHandle h) {
    if (g_hooks) g_hooks->Enter({Op::CloseHandle, {}, {}, h != nullptr});
    return backend::CloseHandle(h);
}

// Injected: fails on 0, else calls through, and editInfo may then change
// the record the system filled.
BOOL GetFileInformationByHandle(FileHandle h, FileInfo* info) {
    const auto r =
        InjectedOutcome([&] { return Call{Op::GetFileInformationByHandle, {}, {}, 0, 0, info}; });
    if (r && r->result == 0) return 0;
    const BOOL ok = backend::GetFileInformationByHandle(h, info);
    if (ok && r && r->editInfo) r->editInfo(*info);
    return ok;
}

// Injected: fails on 0, else calls through.
BOOL GetFileLinkCount(FileHandle h, DWORD* links) {
    if (auto r = Injected([&] { return Call{Op::GetFileLinkCount}; }); r && *r == 0) return 0;
    return backend::GetFileLinkCount(h, links);
}

// Injected: fails on 0, else calls through, and editPath may then change
// the path the system wrote.
DWORD GetFinalPathNameByHandleW(FileHandle h, WCHAR* path, DWORD size, DWORD flags) {
    const auto r = InjectedOutcome([&] {
        return Call{Op::GetFinalPathNameByHandleW, {}, {}, size, flags};
    });
    if (r && r->result == 0) return 0;
    const DWORD n = backend::GetFinalPathNameByHandleW(h, path, size, flags);
    if (n && n < size && r && r->editPath) r->editPath(path);
    return n;
}

// Injected: stands in.
BOOL SetFileDispositionByHandle(FileHandle h, DWORD flags) {
    if (auto r = Injected([&] { return Call{Op::SetFileDispositionByHandle, {}, {}, flags}; }))
        return *r != 0;
    return backend::SetFileDispositionByHandle(h, flags);
}

// Injected: stands in.
BOOL RenameByHandle(FileHandle h, FileHandle root, const WCHAR* name, BOOL replace) {
    if (auto r = Injected([&] {
            return Call{Op::RenameByHandle, Text(name), {}, static_cast<std::uint64_t>(replace)};
        }))
        return *r != 0;
    return backend::RenameByHandle(h, root, name, replace);
}

// Not hooked: the thread's own state, which the hooks set themselves.
DWORD GetLastError() { return backend::GetLastError(); }
void SetLastError(DWORD code) { backend::SetLastError(code); }

// Injected: fails on 0, else calls through.
void OpenFileStreamW(std::fstream& stream, const WCHAR* path, std::ios::openmode mode) {
    if (auto r = Injected([&] {
            return Call{Op::OpenFileStreamW, Text(path), {}, static_cast<std::uint64_t>(mode)};
        });
        r && *r == 0) {
        stream.setstate(std::ios::failbit);
        return;
    }
    backend::OpenFileStreamW(stream, path, mode);
}

// Injected: stands in.
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstSize) {
    if (auto r = Injected([&] {
            Call call{Op::WideCharToMultiByte, Text(src, srcLen), {}, codePage};
            call.n2 = static_cast<std::uint64_t>(dstSize);
            return call;
        }))
        return static_cast<int>(*r);
    return backend::WideCharToMultiByte(codePage, flags, src, srcLen, dst, dstSize);
}

// Injected: stands in.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstSize) {
    if (auto r = Injected([&] {
            const auto size = static_cast<std::uint64_t>(dstSize);
            return Call{Op::MultiByteToWideChar, {}, {}, codePage, size};
        }))
        return static_cast<int>(*r);
    return backend::MultiByteToWideChar(codePage, flags, src, srcLen, dst, dstSize);
}

// Injected: stands in.
int AddFontResourceExW(const WCHAR* path, DWORD flags) {
    if (auto r = Injected([&] { return Call{Op::AddFontResourceExW, Text(path), {}, flags}; }))
        return static_cast<int>(*r);
    return backend::AddFontResourceExW(path, flags);
}

// Injected: stands in.
BOOL RemoveFontResourceExW(const WCHAR* path, DWORD flags) {
    if (auto r = Injected([&] { return Call{Op::RemoveFontResourceExW, Text(path), {}, flags}; }))
        return *r != 0;
    return backend::RemoveFontResourceExW(path, flags);
}

// Injected: stands in.
BOOL SendNotifyMessageW(std::uintptr_t hwnd, UINT msg, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    // The hwnd and message are what matter to the callers' contract; the two
    // parameters are recorded packed so a test can see they were both 0.
    if (auto r = Injected([&] {
            const auto packed =
                (static_cast<std::uint64_t>(msg) << 32) |
                static_cast<std::uint64_t>(wParam | static_cast<std::uintptr_t>(lParam));
            return Call{Op::SendNotifyMessageW, {}, {}, hwnd, packed};
        }))
        return *r != 0;
    return backend::SendNotifyMessageW(hwnd, msg, wParam, lParam);
}

// Injected: stands in.
int GetUserDefaultLocaleName(WCHAR* name, int size) {
    if (auto r = Injected([&] {
            const auto area = static_cast<std::uint64_t>(size);
            return Call{Op::GetUserDefaultLocaleName, {}, {}, area, 0, name};
        }))
        return static_cast<int>(*r);
    return backend::GetUserDefaultLocaleName(name, size);
}

// Injected: stands in.
BOOL GetVersionExW(OsVersionInfo* info) {
    if (auto r = Injected(
            [&] { return Call{Op::GetVersionExW, {}, {}, info ? info->size : 0, 0, info}; }))
        return *r != 0;
    return backend::GetVersionExW(info);
}

// Injected: stands in.
void GetSystemTime(SystemTime* time) {
    if (Injected([&] { return Call{Op::GetSystemTime, {}, {}, 0, 0, time}; })) return;
    backend::GetSystemTime(time);
}

// Injected: stands in.
BOOL GetTokenElevation() {
    if (auto r = Injected([&] { return Call{Op::GetTokenElevation}; })) return *r != 0;
    return backend::GetTokenElevation();
}

// Injected: stands in.
BOOL SetRedirectionTrustPolicy() {
    if (auto r = Injected([&] { return Call{Op::SetRedirectionTrustPolicy}; })) return *r != 0;
    return backend::SetRedirectionTrustPolicy();
}

// Injected: fails on 0, else calls through.
BOOL GetUserNameW(WCHAR* name, DWORD size) {
    if (auto r = Injected([&] { return Call{Op::GetUserNameW, {}, {}, size}; }); r && *r == 0)
        return 0;
    return backend::GetUserNameW(name, size);
}

// Injected: stands in.
BOOL SetDefaultDllDirectories(DWORD flags) {
    if (auto r = Injected([&] { return Call{Op::SetDefaultDllDirectories, {}, {}, flags}; }))
        return *r != 0;
    return backend::SetDefaultDllDirectories(flags);
}

// Injected: fails on 0, else calls through.
void GetCommandLineArgsW(std::vector<std::u16string>& args) {
    if (auto r = Injected([&] { return Call{Op::GetCommandLineArgsW}; }); r && *r == 0) return;
    backend::GetCommandLineArgsW(args);
}

// Injected: stands in, and under the hooks it always does.
BOOL Sleep(DWORD milliseconds) {
    // Tests stay quick and their calls as they were: under the hooks no wait
    // is made, and so nothing is retried, unless a test injects a result
    // other than 0 (which stands for the wait, without waiting).
    if (g_hooks) {
        auto r = Injected([&] { return Call{Op::Sleep, {}, {}, milliseconds}; });
        return r && *r != 0;
    }
    return backend::Sleep(milliseconds);
}

}  // namespace vx::win
