// Shared helpers for the tests: a scratch folder seen both as a host path
// (for setting up and checking) and as the Windows path the program gets,
// and a failure sink that keeps what it receives.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "fileops/failure.h"
#include "fileops/platform_hooks.h"
#include "paths/text.h"

namespace vx::test {

namespace fs = std::filesystem;
using win::testing::Call;
using win::testing::Op;
using win::testing::Outcome;
using win::testing::ScopedHooks;

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const fs::path& root() const { return root_; }
    fs::path Host(const std::string& rel) const {
        return rel.empty() ? root_ : root_ / fs::u8path(rel);
    }
    // The Windows form of root/rel ("C:\tmp\..." or "C:\users\...").
    WideString Win(const std::string& rel = "") const;

    void Dir(const std::string& rel) const;
    void File(const std::string& rel, const std::string& content = "x") const;
    void ReadOnly(const std::string& rel) const;
    bool Exists(const std::string& rel) const;
    std::string Read(const std::string& rel) const;
    // Names directly in the folder, sorted.
    std::vector<std::string> List(const std::string& rel = "") const;

private:
    fs::path root_;
};

WideString ToWin(const fs::path& host);

// Files named by a printf format with one number, 0 to count - 1, made last
// first so that the order they were made in is never the order of their names.
void NumberedFiles(const TempTree& t, const char* format, int count);

// A name of n characters.
std::string Name(std::size_t n, char c = 'n');

// A minimal TrueType header, enough for the emulated font table to take the
// file (Wine wants a real font: see UniqueFont).
std::string FontBytes();

// Wine quietly ignores a second copy of an installed family, so a test font
// gets a family name no other font has: "DejaVu" in its name table (single-
// byte and UTF-16BE records) becomes a fresh six-letter word.
std::string RenameFontFamily(std::string font);
// DejaVu Sans so renamed where it is installed; otherwise FontBytes().
std::string UniqueFont();

struct Report {
    std::string text;
    int level;
    void* context;
};

// Installs itself as the process's failure sink for its lifetime.
class CapturingSink {
public:
    CapturingSink();
    ~CapturingSink();
    std::vector<Report> reports;
    std::vector<std::string> Texts() const;

private:
    FailureSink previous_;
};

}  // namespace vx::test
