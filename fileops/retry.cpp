// The retry waits and the run's budget for them.
#include "fileops/retry.h"

namespace vx {
namespace {

constexpr win::DWORD kRetryWaitsMs[] = {50, 100, 150, 200, 250, 250};
constexpr win::DWORD kRunRetryMs = 3000;
win::DWORD g_runRetryLeftMs = kRunRetryMs;

}  // namespace

bool WithRetries(RetryBudget& budget, Borrowed<bool()> attempt,
                 Borrowed<bool(win::DWORD)> refusesForGood) {
    if (attempt()) return true;
    for (const win::DWORD wait : kRetryWaitsMs) {
        const win::DWORD error = win::GetLastError();
        if (error != win::kErrorSharingViolation && error != win::kErrorAccessDenied) return false;
        if (wait > budget.leftMs || wait > g_runRetryLeftMs) return false;
        if (refusesForGood(error)) {
            win::SetLastError(error);
            return false;
        }
        if (!win::Sleep(wait)) {
            win::SetLastError(error);
            return false;
        }
        budget.leftMs -= wait;
        g_runRetryLeftMs -= wait;
        if (attempt()) return true;
    }
    return false;
}

void ResetRetryBudget() { g_runRetryLeftMs = kRunRetryMs; }

}  // namespace vx
