// A held file in the native build: the refusals Windows gives it, injected
// at the doorway.
#include <cstdlib>

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
    // The run opens a file for delete by its name in the folder it holds.
    const WideString name = path.substr(path.rfind(u'\\') + 1);
    state_->hooks.Inject(
        [path, name](const win::testing::Call& call) -> std::optional<win::testing::Outcome> {
            using win::testing::Op;
            if (((call.op == Op::DeleteFileW || call.op == Op::MoveFileW ||
                  call.op == Op::MoveFileExW) &&
                 call.text1 == path) ||
                (call.op == Op::NtCreateFile && (call.n1 & win::kDelete) && call.text1 == name))
                return win::testing::Outcome{0, win::kErrorSharingViolation};
            return std::nullopt;
        });
}

HeldFile::~HeldFile() = default;

void MarkUserLink(const std::string& hostPath) {
    if (hostPath.empty())
        ::unsetenv("VXEMU_USER_LINKS");
    else
        ::setenv("VXEMU_USER_LINKS", hostPath.c_str(), 1);
}

}  // namespace vx::test
