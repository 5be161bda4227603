// A file held open by someone else, as the rename fallback meets it: in the
// Windows build a real handle with the chosen sharing; in the native build
// the outcomes Windows gives such a file, injected at the doorway.
#pragma once

#include <memory>

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

}  // namespace vx::test
