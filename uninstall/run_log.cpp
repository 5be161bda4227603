// The opt-in diagnostic log: its argument, its file, and the walk observer
// and failure sink that feed it.
#include "uninstall/run_log.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "fileops/failure.h"
#include "fileops/path_ops.h"
#include "fileops/platform.h"
#include "fileops/remove.h"
#include "paths/exact_path.h"
#include "paths/walker.h"

namespace vx {
namespace {

RunLog* g_log = nullptr;

char16_t Folded(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Windows opens a device for these names in any folder, whatever their
// extension: a log there would go to the console or a port.
bool IsDeviceName(WideString name) {
    name = name.substr(0, std::min(name.find(u'.'), name.size()));
    while (!name.empty() && name.back() == u' ') name.pop_back();
    std::transform(name.begin(), name.end(), name.begin(), Folded);
    static const std::array<std::u16string_view, 4> plain = {u"CON", u"PRN", u"AUX", u"NUL"};
    if (std::find(plain.begin(), plain.end(), name) != plain.end()) return true;
    return name.size() == 4 && (name.starts_with(u"COM") || name.starts_with(u"LPT")) &&
           name[3] >= u'0' && name[3] <= u'9';
}

void ObserveWalk(const WideString& folder, const char16_t* name, WalkSkip what, const char* why) {
    if (!g_log) return;
    if (what == WalkSkip::Folder) {
        g_log->Folder(folder, {RunLog::FolderNote::Kind::NotWalked, why});
        return;
    }
    WideString shown = folder;
    if (!shown.empty() && shown.back() != u'\\') shown += u'\\';
    shown += name;
    if (what == WalkSkip::Subfolder)
        g_log->Folder(shown, {RunLog::FolderNote::Kind::Left, why});
    else
        g_log->File(shown, FileFate{.why = why});
}

void ReportToLog(void*, const char* message, std::int32_t) {
    if (!g_log) return;
    std::string line = "report: ";
    line += message;
    if (!g_log->current.empty()) line += " (" + WideToUtf8(g_log->current) + ")";
    g_log->Line(line);
}

}  // namespace

WideString RunLog::PathFromArguments(const std::vector<std::u16string>& args) {
    WideString path;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (args[i].starts_with(u"--log=")) path = args[i].substr(6);
    return path;
}

bool RunLog::Open(const WideString& path, bool dryRun) {
    // A relative path would land wherever the run was started.
    if (!IsFullyQualified(path) || path.back() == u'\\' || path.size() >= win::kMaxPath)
        return false;
    if (IsDeviceName(path.substr(path.rfind(u'\\') + 1))) return false;
    // Windows refuses to write a read-only file; Wine lets root do it.
    if (IsReadOnly(path) || IsDirectory(path)) return false;
    win::OpenFileStreamW(stream_, path.c_str(), std::ios::out | std::ios::app | std::ios::binary);
    if (!stream_.is_open() || !stream_.good()) return false;
    path_ = path;
    dryRun_ = dryRun;
    stream_.seekp(0, std::ios::end);
    // A new file starts with the byte-order mark, so that Windows
    // PowerShell's Get-Content reads it as UTF-8 and not as ANSI.
    if (stream_.tellp() <= 0)
        Line(
            "\xEF\xBB\xBF"
            "uninstall log");
    else
        Line("========================================================================");
    return true;
}

void RunLog::Line(const std::string& text) {
    if (failed_) return;
    // Written a buffer at a time (a call a line would cost the run a fifth
    // more at 10,000 files); what is written can be read while the run goes on.
    stream_ << text << "\r\n";
    if (!stream_.good()) failed_ = true;  // a full disk: the run goes on unlogged
}

void RunLog::File(const WideString& path, const FileFate& fate, bool foretold, bool font) {
    // A file the first pass left may go in the second: the log then says
    // so, and the summary counts what became of it in the end.
    const auto [told, first] = fileFates_.try_emplace(path, fate.kind);
    if (!first && told->second == fate.kind) return;
    if (!first) --Count(told->second);
    told->second = fate.kind;
    ++Count(fate.kind);
    const std::string would = foretold ? "would be " : "";
    const std::string note = foretold && font ? " (out of the font table first)" : "";
    std::string text = "file " + WideToUtf8(path) + ": ";
    switch (fate.kind) {
        case FileFate::Kind::Removed: text += would + "removed" + note; break;
        case FileFate::Kind::MovedAside:
            text += foretold ? "would be moved aside if Windows refuses the delete" + note
                             : "moved aside as " +
                                   WideToUtf8(fate.movedTo.substr(fate.movedTo.rfind(u'\\') + 1));
            break;
        case FileFate::Kind::Left:
            text += would + "left: " + fate.why;
            if (fate.code) text += ", code=" + std::to_string(fate.code);
            break;
    }
    Line(text);
}

int& RunLog::Count(FileFate::Kind kind) {
    return kind == FileFate::Kind::Removed      ? removed
           : kind == FileFate::Kind::MovedAside ? moved
                                                : left;
}

bool RunLog::ToldRemoved(const WideString& path) const {
    const auto told = fileFates_.find(path);
    return told != fileFates_.end() && told->second == FileFate::Kind::Removed;
}

void RunLog::Folder(const WideString& folder, const FolderNote& note) {
    if (!folders_.insert(folder).second) return;
    const bool walked = note.kind == FolderNote::Kind::Left;
    if (!walked) ++notWalked;
    Line("folder " + WideToUtf8(folder) + ": " + (walked ? "left: " : "") + note.why);
}

RunLog::~RunLog() {
    if (g_log == this) SetActiveLog(nullptr);
}

RunLog* ActiveLog() { return g_log; }

void SetActiveLog(RunLog* log) {
    g_log = log;
    g_walkObserver = log ? ObserveWalk : nullptr;
    // The walks keep the log's file by what it is, whatever spelling of a
    // plugin folder's path names it.
    KeepFile(log ? log->path_ : WideString());
    g_failureSink = log ? FailureSink{ReportToLog, nullptr} : FailureSink{};
}

}  // namespace vx
