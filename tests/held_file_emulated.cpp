// A held file in the native build: the refusals Windows gives it, injected
// at the doorway.
#include "fileops/platform_hooks.h"
#include "tests/held_file.h"

namespace vx::test {

// Without FILE_SHARE_DELETE, Windows refuses both the delete and the move
// with ERROR_SHARING_VIOLATION; with it, the delete goes through.
struct HeldFile::State {
    win::testing::ScopedHooks hooks;
};

HeldFile::HeldFile(const WideString& path, Share share) : state_(new State) {
    if (share == Share::ReadDelete) return;
    state_->hooks.Inject(
        [path](const win::testing::Call& call) -> std::optional<win::testing::Outcome> {
            using win::testing::Op;
            if ((call.op == Op::DeleteFileW || call.op == Op::MoveFileW ||
                 call.op == Op::MoveFileExW) &&
                call.text1 == path)
                return win::testing::Outcome{0, win::kErrorSharingViolation};
            return std::nullopt;
        });
}

HeldFile::~HeldFile() = default;

}  // namespace vx::test
