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

// One code for each operation the hooks see, in the table's order.
enum class Op {
#define VX_PLATFORM_OP(result, name, params) name,
#define VX_PLATFORM_UNHOOKED(result, name, params)
#include "fileops/platform_ops.inc"
#undef VX_PLATFORM_UNHOOKED
#undef VX_PLATFORM_OP
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

// What an injector makes a call do. Each operation takes it in one of three
// ways, and its hook in platform.cpp says which:
// - stands in: the call never reaches the system, and the result (with the
//   last error) is all the caller gets, as for DeleteFileW or MoveFileExW.
//   Where the caller also reads a record back (GetVersionExW and the like),
//   the injector fills it through Call::out.
// - fails on 0, else calls through: PathCombineW, FindFirstFileW,
//   GetTempFileNameW and the others that write a path, a find record or the
//   arguments into the caller's area. No injector could make up what the
//   caller reads next, so a result other than 0 lets the system do it.
// - recorded only: the calls that cannot fail (the name and extension
//   lookups) or that release what the system handed out (FindClose,
//   CoTaskMemFree), which must happen for real or the test leaks it.
struct Outcome {
    std::int64_t result = 0;  // 0 is failure for every operation
    DWORD error = 0;          // left as the last-error code
    bool throwBadAlloc = false;
    // FindFirstFileW only: with a result other than 0 the call goes through,
    // and then this edits the record it filled (a tag Wine cannot show).
    std::function<void(FindData&)> editFound;
    // GetFinalPathNameByHandleW likewise: edits the path it wrote.
    std::function<void(WCHAR* path)> editPath;
    // GetFileInformationByHandle likewise: edits the record (a tag Wine
    // cannot show on a handle).
    std::function<void(FileInfo&)> editInfo;
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
