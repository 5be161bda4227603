// Test-only view into the platform doorway: record the calls the program makes
// and make any one of them fail (or throw) with a chosen result and last-error
// code. Production code never installs hooks; with none installed each call
// costs one pointer test.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fileops/platform.h"

namespace vx::win::testing {

enum class Op {
    SHGetKnownFolderPath,
    CoTaskMemFree,
    PathCombineW,
    PathAppendW,
    PathRemoveFileSpecW,
    PathFindExtensionW,
    PathFindFileNameW,
    FindFirstFileW,
    FindNextFileW,
    FindClose,
    GetFileAttributesW,
    SetFileAttributesW,
    DeleteFileW,
    GetTempFileNameW,
    MoveFileW,
    MoveFileExW,
    CreateDirectoryW,
    OpenFileStreamW,
    WideCharToMultiByte,
    MultiByteToWideChar,
    AddFontResourceExW,
    RemoveFontResourceExW,
    SendNotifyMessageW,
    GetUserDefaultLocaleName,
    GetVersionExW,
    GetSystemTime,
    SetDefaultDllDirectories,
    Sleep,
    GetCommandLineArgsW,
};

const char* OpName(Op op);

struct Call {
    Op op{};
    std::u16string text1;  // first path or text argument
    std::u16string text2;  // second one (destination of a move, appended part ...)
    std::uint64_t n1 = 0;  // first numeric argument (flags, sizes, message ...)
    std::uint64_t n2 = 0;
    void* out = nullptr;  // the caller's output record, for injectors that fill it
};

// What an injector makes a call do instead of reaching the system.
struct Outcome {
    std::int64_t result = 0;  // 0 is failure for every operation
    DWORD error = 0;          // left as the last-error code
    bool throwBadAlloc = false;
    // FindFirstFileW only: with a result other than 0 the call goes through,
    // and then this edits the record it filled (a tag Wine cannot show).
    std::function<void(FindData&)> editFound;
};

using Injector = std::function<std::optional<Outcome>(const Call&)>;

// Installs a recorder (and optionally injectors) for its lifetime.
class ScopedHooks {
public:
    ScopedHooks();
    ~ScopedHooks();
    ScopedHooks(const ScopedHooks&) = delete;
    ScopedHooks& operator=(const ScopedHooks&) = delete;

    void Inject(Injector injector) { injectors_.push_back(std::move(injector)); }
    // The nth call (1-based) of op gets outcome; the others pass.
    void FailNth(Op op, int nth, Outcome outcome);
    // Every call of op gets outcome.
    void FailAll(Op op, Outcome outcome);

    std::vector<Call> CallsOf(Op op) const;
    int Count(Op op) const;
    const std::vector<Call>& Calls() const { return calls_; }
    void Clear() { calls_.clear(); }

    // Used by the doorway.
    std::optional<Outcome> Enter(Call call);

private:
    std::vector<Call> calls_;
    std::vector<Injector> injectors_;
    ScopedHooks* previous_;
};

}  // namespace vx::win::testing
