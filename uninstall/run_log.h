// The opt-in diagnostic log (--log=PATH): one UTF-8 line for each thing the
// run meets and what became of it, for support and administrators. Without
// the argument there is none, and the run makes not one call more.
#pragma once

#include <fstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fileops/remove.h"
#include "paths/text.h"

namespace vx {

class RunLog {
public:
    RunLog() = default;
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;
    // An installed log uninstalls itself, however the run ends.
    ~RunLog();

    // The last "--log=PATH" among the wide arguments (the program's name
    // aside); empty when there is none.
    static WideString PathFromArguments(const std::vector<std::u16string>& args);

    // Appends to the file, after a separator line when it holds something
    // already; false (and no log) when it cannot be opened, or when PATH is
    // not a full path of a file (a device name such as NUL or CON is none).
    bool Open(const WideString& path, bool dryRun);

    // What a walk did not do with a folder: it was not walked (why is the
    // whole reason, "not walked: ..." or "not walked, nor ..."), or it is a
    // subfolder left as it is (why is the reason alone).
    struct FolderNote {
        enum class Kind { NotWalked, Left } kind;
        std::string why;
    };

    // One event a line; once a write fails, the rest are dropped.
    void Line(const std::string& text);
    // A file's fate, as done or (foretold) as what a full run would do; a
    // font leaves the font table before its delete or move.
    void File(const WideString& path, const FileFate& fate, bool foretold = false,
              bool font = false);
    void Folder(const WideString& folder, const FolderNote& note);
    // The file was told of as removed (or as one that would be).
    bool ToldRemoved(const WideString& path) const;

    const bool& dryRun() const { return dryRun_; }
    WideString current;  // the file in hand, for the failure reports
    int removed = 0, moved = 0, left = 0, notWalked = 0, broadcasts = 0;

private:
    friend void SetActiveLog(RunLog* log);
    int& Count(FileFate::Kind kind);
    std::fstream stream_;
    WideString path_;
    bool dryRun_ = false;
    bool failed_ = false;
    // The walks meet some files and folders twice (the run walks its sets
    // twice): each is told of once, a file again only if its fate changed.
    std::unordered_set<std::u16string> folders_;
    std::unordered_map<std::u16string, FileFate::Kind> fileFates_;
};

// The run's log, or null without --log=.
RunLog* ActiveLog();
// Installs it for the walks and the failure reports (null ends that).
void SetActiveLog(RunLog* log);

}  // namespace vx
