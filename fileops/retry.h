// Bounded retries for what another program holds for a moment. On Windows,
// antivirus scanners, the search indexer and cloud clients open files
// briefly, and a delete, a move or an unshared open meanwhile fails with a
// sharing violation (32) or access denied (5). Such a failure is tried again
// a few times, a file at most about a second and a run at most a few
// seconds, so that a folder of files held for good cannot make the run hang.
#pragma once

#include <type_traits>
#include <utility>

#include "fileops/platform.h"

namespace vx {

// What one file (or one folder's open) may still wait, across the calls made
// for it.
inline constexpr win::DWORD kFileRetryMs = 1000;
struct RetryBudget {
    win::DWORD leftMs = kFileRetryMs;
};

// A callable borrowed for one call: no allocation, no copy of what it holds.
// It is called as const (no mutable lambdas).
template <class Signature>
class Borrowed;
template <class R, class... Args>
class Borrowed<R(Args...)> {
public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Borrowed>>>
    Borrowed(F&& f)  // NOLINT(google-explicit-constructor): lambdas convert
        : object_(&f), call_([](const void* o, Args... a) -> R {
              return (*static_cast<const std::remove_reference_t<F>*>(o))(std::forward<Args>(a)...);
          }) {}
    R operator()(Args... a) const { return call_(object_, std::forward<Args>(a)...); }

private:
    const void* object_;
    R (*call_)(const void*, Args...);
};

// Calls attempt until it succeeds, or until its failure is not one that
// waiting can end: not a sharing violation or access denied, refused for
// good (refusesForGood tells a lasting denial, such as a read-only file's),
// or past the file's or the run's budget. The last error is the last
// attempt's.
bool WithRetries(RetryBudget& budget, Borrowed<bool()> attempt,
                 Borrowed<bool(win::DWORD)> refusesForGood);

// Gives a new run the whole of its waiting time.
void ResetRetryBudget();

}  // namespace vx
