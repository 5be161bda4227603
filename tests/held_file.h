// A file held open by someone else, as the rename fallback meets it: in the
// Windows build a real handle with the chosen sharing; in the native build
// the outcomes Windows gives such a file, injected at the doorway.
#pragma once

#include <memory>
#include <string>

#include "paths/text.h"

namespace vx::test {

enum class Share { None, Read, ReadDelete };

class HeldFile {
public:
    HeldFile(const WideString& path, Share share);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Marks a host link as made by a user who is no administrator, which
// Windows refuses to a process that asked for redirection trust; an empty
// path clears the marks. The emulation models it; a Windows build has no
// such fact to set, and this does nothing there.
void MarkUserLink(const std::string& hostPath);

}  // namespace vx::test
