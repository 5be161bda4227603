// Holding a file open with a real handle and the chosen sharing flags.
#include <windows.h>

#include "tests/held_file.h"

namespace vx::test {

struct HeldFile::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

HeldFile::HeldFile(const WideString& path, Share share) : state_(new State) {
    const DWORD flags = share == Share::None   ? 0
                        : share == Share::Read ? FILE_SHARE_READ
                                               : FILE_SHARE_READ | FILE_SHARE_DELETE;
    state_->handle = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ, flags,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HeldFile::~HeldFile() {
    if (state_->handle != INVALID_HANDLE_VALUE) CloseHandle(state_->handle);
}

void MarkUserLink(const std::string&) {}

}  // namespace vx::test
