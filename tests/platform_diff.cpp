// Feeds one deterministic set of inputs to the operations of the platform
// doorway and prints one line per case, so that the emulation and the real
// implementation can be compared line by line (tests/platform_diff.sh).
// Usage: platform_diff SCRATCH   (a Windows path; its case folders laid out
//                                 by the script from `platform_diff --names`)
//        platform_diff --names   (the file names of the file-system cases)
#include <cstdio>
#include <string>
#include <vector>

#include "fileops/platform.h"

namespace {

using namespace vx::win;
using std::u16string;

// Printable ASCII as it is, everything else as \uXXXX: the two builds must
// print the same bytes whatever their console does with text.
std::string Show(const u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F && c != u'\\') {
            out += static_cast<char>(c);
        } else if (c == u'\\') {
            out += "\\\\";
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return "'" + out + "'";
}

void Line(const std::string& text) { std::printf("%s\n", text.c_str()); }

std::string Err() { return " err=" + std::to_string(GetLastError()); }

// ---- the shell's path functions ----

// clang-format off
const std::vector<u16string> kDirs = {
    u"", u"C:\\", u"C:\\a", u"C:\\a\\", u"C:\\a\\b", u"\\a", u"\\\\srv\\share", u"C:\\a\\..b",
    u"C:\\a\\.\\b", u"C:\\u\\plugins\\vexaline", u"C:\\u\\plugins\\vexaline\\r\\", u"a\\b",
    u"C:\\\u00E9\\\U0001F600", u"C:\\a\\...", u"C:\\a\\b.", u"C:\\a\\b "};
const std::vector<u16string> kFiles = {
    u"", u"x", u"x.otf", u"..", u"..\\x", u".", u".\\x", u"..x", u"...json", u"....keep",
    u"..x.otf", u"a..b", u".x", u"x.", u"x ", u"x. ", u" x", u"\\x", u"\\\\srv\\s", u"D:\\x",
    u"x\\", u"x\\..\\y", u"..\\..\\..\\..\\z", u"\u00E9", u"\U0001F600.otf", u"x/y", u"../x",
    u"..\\..k", u"*"};
// clang-format on

void Pure(const u16string& s) {
    const WCHAR* ext = PathFindExtensionW(s.c_str());
    const WCHAR* name = PathFindFileNameW(s.c_str());
    Line("ext " + Show(s) + " -> " + Show(ext) + " name -> " + Show(name));
    WCHAR area[kMaxPath] = {};
    if (s.size() < kMaxPath) {
        std::copy(s.begin(), s.end(), area);
        const BOOL r = PathRemoveFileSpecW(area);
        Line("removespec " + Show(s) + " -> " + std::to_string(r != 0) + " " + Show(area));
    }
}

void Join(const u16string& dir, const u16string& file) {
    WCHAR out[kMaxPath] = {u'?', 0};
    const bool ok = PathCombineW(out, dir.c_str(), file.c_str()) != nullptr;
    Line("combine " + Show(dir) + " + " + Show(file) + " -> " +
         (ok ? Show(out) : "NULL " + Show(out)));
    if (dir.size() < kMaxPath) {
        WCHAR area[kMaxPath] = {};
        std::copy(dir.begin(), dir.end(), area);
        const BOOL r = PathAppendW(area, file.c_str());
        Line("append " + Show(dir) + " + " + Show(file) + " -> " + std::to_string(r != 0) + " " +
             Show(area));
    }
}

void ShellCases() {
    for (const auto& d : kDirs) Pure(d);
    for (const auto& f : kFiles) Pure(f);
    for (const auto& d : kDirs)
        for (const auto& f : kFiles) Join(d, f);
    // Lengths around MAX_PATH, with and without a step up.
    for (int len : {240, 250, 255, 256, 257, 258, 259, 260, 261}) {
        const u16string dir = u"C:\\" + u16string(static_cast<std::size_t>(len - 3), u'd');
        for (const u16string& f : {u16string(), u16string(1, u'f'), u16string(3, u'f'),
                                   u16string(5, u'f'), u16string(u"..\\ff"), u16string(u"..ff")})
            Join(dir, f);
        Pure(dir + u"\\f");
    }
}

// ---- the code-page conversions ----

std::string Hex(const void* p, std::size_t n, std::size_t unit) {
    std::string out;
    char buf[8];
    for (std::size_t i = 0; i < n; ++i) {
        unsigned v = unit == 1 ? static_cast<const unsigned char*>(p)[i]
                               : static_cast<const char16_t*>(p)[i];
        std::snprintf(buf, sizeof buf, unit == 1 ? "%02X" : "%04X", v);
        out += std::string(i ? " " : "") + buf;
    }
    return out;
}

// What went in, the lengths asked for, and what came out (or the error).
template <class In, class Out>
void ConversionLine(const std::string& op, const In& in, int len, int size, int r, const Out& out) {
    std::string line = op + ' ' + Hex(in.data(), in.size(), sizeof in[0]) +
                       " len=" + std::to_string(len) + " size=" + std::to_string(size) + " -> " +
                       std::to_string(r);
    if (r == 0)
        line += Err();
    else if (size)
        line += ' ' + Hex(out.data(), static_cast<std::size_t>(r), sizeof out[0]);
    Line(line);
}

void ConversionCases() {
    // clang-format off
    const std::vector<u16string> wides = {u"", u"a", u"a\u00E9\u20AC", u"\U0001F600",
                                          u16string(1, u'\xD800'), u16string(u"\xD800\x61"),
                                          u16string(u"\xDC00\xD800"), u16string(u"a\0b", 3),
                                          u16string(300, u'x')};
    // clang-format on
    for (const auto& w : wides) {
        const int exact =
            WideCharToMultiByte(kCpUtf8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0);
        for (int len : {-1, static_cast<int>(w.size())}) {
            if (len < 0 && w.find(u'\0') != u16string::npos) continue;
            for (int size : {0, 1, 2, 3, 4, exact - 1, exact, exact + 1, 260}) {
                if (size < 0) continue;
                std::string out(static_cast<std::size_t>(size) + 1, '\x7F');
                SetLastError(0xDEAD);
                const int r = WideCharToMultiByte(kCpUtf8, 0, w.data(), len,
                                                  size ? out.data() : nullptr, size);
                ConversionLine("w2mb", w, len, size, r, out);
            }
        }
    }
    // clang-format off
    const std::vector<std::string> narrows = {
        "", "a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xFF", "\xC0\x80", "\xE2\x82",
        "\xE2\x82\x61", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE0\x20\xC0", "\xC0\xC0\x80",
        "\xF0\xDF\x59", "\xE4\x6E", "\xEF\xBB\xBF\x61", "\x82\xA0\x82\xA2", "\xF8\xA3\xA3\xA3\xA3",
        std::string("a\0b", 3), "\xE0\xC0", "\xC0"};
    // clang-format on
    for (const auto& n : narrows) {
        for (int len : {-1, static_cast<int>(n.size()), static_cast<int>(n.size()) + 1}) {
            if (len < 0 && n.find('\0') != std::string::npos) continue;
            const int exact = MultiByteToWideChar(kCpUtf8, 0, n.c_str(), len, nullptr, 0);
            for (int size : {0, 1, 2, 3, exact - 1, exact, 260}) {
                if (size < 0) continue;
                u16string out(static_cast<std::size_t>(size) + 1, u'\x7F');
                SetLastError(0xDEAD);
                const int r = MultiByteToWideChar(kCpUtf8, 0, n.c_str(), len,
                                                  size ? out.data() : nullptr, size);
                ConversionLine("mb2w", n, len, size, r, out);
            }
        }
    }
}

// ---- the file-system calls, in case folders of the scratch folder ----

// Each name gets three case folders: the name alone, the name beside the
// name the file-system calls would make of it, and the name read-only.
// clang-format off
const std::vector<u16string> kNames = {
    u"plain", u"x.ttf", u"x.ttf ", u"x.ttf.", u"x.ttf. .", u"..keep", u"...json", u".hidden",
    u"a b.otf", u"\u00E9.otf", u"\U0001F600", u"x..", u"trail  ", u"...", u"..k.", u"lead. x",
    u16string(200, u'n')};
// clang-format on

std::string Attr(DWORD a) {
    if (a == kInvalidFileAttributes) return "INVALID" + Err();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", a & (kAttrReadOnly | kAttrDirectory | kAttrReparsePoint));
    return buf;
}

// A temporary name's number is the system's choice; the rest must agree.
u16string Normal(u16string name) {
    if (name.size() > 4 && (name.rfind(u"del", 0) == 0)) {
        u16string tail = name.substr(name.size() - 4);
        for (auto& c : tail) c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
        if (tail == u".tmp") return u"del#.tmp";
    }
    return name;
}

std::string List(const u16string& folder) {
    FindData data;
    FindHandle h = FindFirstFileW((folder + u"\\*").c_str(), &data);
    if (!h) return "list failed" + Err();
    std::string out = "[";
    do {
        out += ' ' + Show(Normal(data.fileName)) + ':' + Attr(data.attributes);
    } while (FindNextFileW(h, &data));
    out += " ] end" + Err();
    FindClose(h);
    return out;
}

std::string Result(BOOL r) { return r ? "1" : '0' + Err(); }

// The file's final path is its folder's plus name, to the letter, both in
// the same form.
bool InPlace(FileHandle folder, FileHandle file, const u16string& name,
             DWORD form = kFileNameNormalized) {
    WCHAR a[2 * kMaxPath] = {}, b[2 * kMaxPath] = {};
    const DWORD n = GetFinalPathNameByHandleW(folder, a, 2 * kMaxPath, form);
    const DWORD m = GetFinalPathNameByHandleW(file, b, 2 * kMaxPath, form);
    return n && m && n < 2 * kMaxPath && m < 2 * kMaxPath &&
           u16string(b, m) == u16string(a, n) + u"\\" + name;
}

void FileCase(const u16string& scratch, std::size_t index, char variant) {
    const std::string id = 'c' + std::to_string(index) + variant;
    const u16string f = scratch + u"\\" + u16string(id.begin(), id.end());
    const u16string t = f + u"\\" + kNames[index];
    const std::string at = id + " " + Show(kNames[index]) + " ";
    // Each call is made before its folder is listed: the operands of a "+"
    // are evaluated in no set order, and GCC lists first.
    const auto after = [&](const std::string& what, const std::string& result) {
        Line(at + what + " " + result + " " + List(f));
    };
    Line(at + "list " + List(f));
    Line(at + "attr " + Attr(GetFileAttributesW(t.c_str())));
    FindData data;
    FindHandle h = FindFirstFileW(t.c_str(), &data);
    Line(at + "find " + (h ? Show(data.fileName) + ":" + Attr(data.attributes) : "none" + Err()));
    if (h) FindClose(h);
    // Through handles, as the run acts: the folder held, the name opened in
    // it without following a link, whether its final path is the folder's
    // plus that name, a rename there and back, and a delete.
    FileHandle folder =
        CreateFileW(f.c_str(), kFileListDirectory | kFileReadAttributes | kSynchronize,
                    kFileShareRead | kFileShareWrite, kOpenExisting, kFileFlagBackupSemantics);
    FileHandle file =
        folder ? NtCreateFile(
                     folder, kNames[index].c_str(), kDelete | kFileReadAttributes | kSynchronize,
                     kFileShareRead | kFileShareWrite | kFileShareDelete,
                     kFileNonDirectoryFile | kFileOpenReparsePoint | kFileSynchronousIoNonalert)
               : nullptr;
    FileInfo info;
    Line(at + "open " +
         (file && GetFileInformationByHandle(file, &info)
              ? "1 " + Attr(info.attributes) +
                    (InPlace(folder, file, kNames[index]) ? " in place" : " elsewhere")
              : "0" + Err()));
    if (file) {
        after("rename", Result(RenameByHandle(file, folder, u"renamed", 0)));
        after("rename back", Result(RenameByHandle(file, folder, kNames[index].c_str(), 0)));
        after("dispose", Result(SetFileDispositionByHandle(file, kDispositionDelete)));
        CloseHandle(file);
        Line(at + "closed " + List(f));
    }
    if (folder) CloseHandle(folder);
    after("delete", Result(DeleteFileW(t.c_str())));
    after("move", Result(MoveFileW(t.c_str(), (f + u"\\moved").c_str())));
    after("move back", Result(MoveFileW((f + u"\\moved").c_str(), t.c_str())));
    WCHAR temp[kMaxPath] = {};
    const UINT n = GetTempFileNameW(f.c_str(), u"del", 0, temp);
    const u16string tempName = n ? u16string(temp) : u16string();
    const bool inFolder = tempName.rfind(f + u"\\", 0) == 0;
    after("tempname", n ? (inFolder ? "in folder " + Show(Normal(tempName.substr(f.size() + 1)))
                                    : "elsewhere " + Show(tempName))
                        : "0" + Err());
    std::string cleared = Result(SetFileAttributesW(t.c_str(), kAttrNormal));
    after("clear", cleared + " delete " + Result(DeleteFileW(t.c_str())));
    std::string made = Result(CreateDirectoryW(t.c_str()));
    after("mkdir", made + " attr " + Attr(GetFileAttributesW(t.c_str())));
}

// What the run meets when another program holds what it acts on: a file
// whose classic delete waits for another handle to close, the POSIX delete,
// a folder another handle has open for DELETE, and the final path's other
// forms.
void HolderCases(const u16string& scratch) {
    const u16string f = scratch + u"\\holders";
    const u16string name = u"held", posixName = u"posix";
    CreateDirectoryW(f.c_str());
    for (const u16string* n : {&name, &posixName}) {
        std::fstream out;
        OpenFileStreamW(out, (f + u"\\" + *n).c_str(), std::ios::out | std::ios::binary);
        out << "t";
    }
    constexpr DWORD kAll = kFileShareRead | kFileShareWrite | kFileShareDelete;
    constexpr DWORD kFileAccess = kDelete | kFileReadAttributes | kSynchronize;
    constexpr DWORD kOptions =
        kFileNonDirectoryFile | kFileOpenReparsePoint | kFileSynchronousIoNonalert;
    const auto openFolder = [&](DWORD access, DWORD share) {
        return CreateFileW(f.c_str(), access, share, kOpenExisting, kFileFlagBackupSemantics);
    };
    FileHandle folder = openFolder(kFileListDirectory | kFileReadAttributes | kSynchronize,
                                   kFileShareRead | kFileShareWrite);
    if (!folder) {
        Line("holders no folder" + Err());
        return;
    }
    for (const DWORD form : {kFileNameOpened, kFileNameOpened | kVolumeNameNt}) {
        FileHandle file = NtCreateFile(folder, name.c_str(), kFileAccess, kAll, kOptions);
        Line("final form " + std::to_string(form) + " " +
             (file ? (InPlace(folder, file, name, form) ? "in place" : "elsewhere")
                   : "no file" + Err()));
        if (file) CloseHandle(file);
    }
    // A holder that shares delete, across a classic delete by another handle.
    FileHandle holder =
        CreateFileW((f + u"\\" + name).c_str(), kFileReadAttributes, kAll, kOpenExisting, 0);
    FileHandle file = NtCreateFile(folder, name.c_str(), kFileAccess, kAll, kOptions);
    std::string disposed = Result(file ? SetFileDispositionByHandle(file, kDispositionDelete) : 0);
    if (file) CloseHandle(file);
    Line("pending dispose " + disposed + " " + List(f));
    FileHandle again = NtCreateFile(folder, name.c_str(), kFileAccess, kAll, kOptions);
    Line("pending reopen " + std::string(again ? "1" : "0" + Err()));
    if (again) CloseHandle(again);
    if (holder) CloseHandle(holder);
    Line("pending released " + List(f));
    // The POSIX delete.
    FileHandle posix = NtCreateFile(folder, posixName.c_str(), kFileAccess, kAll, kOptions);
    std::string posixResult = Result(
        posix ? SetFileDispositionByHandle(posix, kDispositionDelete | kDispositionPosix) : 0);
    Line("posix dispose " + posixResult + " " + List(f));
    if (posix) CloseHandle(posix);
    Line("posix closed " + List(f));
    // A folder open for DELETE elsewhere cannot be held without sharing
    // delete, and the other way round.
    CloseHandle(folder);
    FileHandle mover = openFolder(kDelete | kFileReadAttributes | kSynchronize, kAll);
    FileHandle held =
        openFolder(kFileListDirectory | kSynchronize, kFileShareRead | kFileShareWrite);
    Line(std::string("folder held while open for delete ") + (held ? "1" : "0" + Err()));
    if (held) CloseHandle(held);
    if (mover) CloseHandle(mover);
    held = openFolder(kFileListDirectory | kSynchronize, kFileShareRead | kFileShareWrite);
    mover = openFolder(kDelete | kFileReadAttributes | kSynchronize, kAll);
    Line(std::string("folder opened for delete while held ") + (mover ? "1" : "0" + Err()));
    if (mover) CloseHandle(mover);
    if (held) CloseHandle(held);
}

// A host link to a folder: its attributes, and the tag a search for its own
// path reports.
void LinkCase(const u16string& scratch) {
    const u16string link = scratch + u"\\link";
    FindData data;
    FindHandle h = FindFirstFileW(link.c_str(), &data);
    char tag[16];
    std::snprintf(tag, sizeof tag, "%X", static_cast<unsigned>(data.reparseTag));
    Line("link attr " + Attr(GetFileAttributesW(link.c_str())) + " find " +
         (h ? Attr(data.attributes) + " tag " + tag : "none" + Err()));
    if (h) FindClose(h);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: platform_diff SCRATCH | --names\n");
        return 2;
    }
    if (std::string(argv[1]) == "--names") {
        // UTF-8 for the script that lays the folders out, one name a line.
        for (const auto& name : kNames) {
            char out[1024] = {};
            WideCharToMultiByte(kCpUtf8, 0, name.data(), static_cast<int>(name.size()), out,
                                sizeof out - 1);
            std::printf("%s\n", out);
        }
        return 0;
    }
    const std::string arg = argv[1];
    const u16string scratch(arg.begin(), arg.end());
    ShellCases();
    ConversionCases();
    for (std::size_t i = 0; i < kNames.size(); ++i)
        for (char variant : {'p', 's', 'r'}) FileCase(scratch, i, variant);
    LinkCase(scratch);
    HolderCases(scratch);
    return 0;
}
