// The file service's Windows path rules against the real calls: real folders, a
// real junction and symbolic link, short names, streams and devices, and reads of
// things that are not files (a pipe, devices, a folder) that must fail at once.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "bridge/file_service.h"
#include "bridge/paths.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/win32/wide_path.h"
#include "tests/support/temp_dir.h"

namespace {

using qk::Json;
using qk::bridge::FileService;
using qk::bridge::WriteRoots;
using qk::platform::win32::narrow;
using qk::platform::win32::widen;

const char kOutside[] = "refused: path is outside the allowed QuorvaleKaraoke write folders";

bool isFolder(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool existsAt(const std::string& path) { return ::GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// A junction made the way the system's own tools make one: an empty folder given
// mount-point reparse data. Empty on success, else why it could not be made.
std::string makeJunction(const std::string& link, const std::string& target) {
    if (!::CreateDirectoryW(widen(link).c_str(), nullptr)) return "CreateDirectoryW failed";
    const HANDLE h = ::CreateFileW(widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "opening the folder for its reparse data failed";
    const std::wstring substitute = L"\\??\\" + widen(target), print = widen(target);
    const std::size_t pathBytes = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
    std::vector<unsigned char> data(16 + pathBytes, 0);
    auto put16 = [&](std::size_t at, std::size_t v) {
        const auto w = static_cast<WORD>(v);
        std::memcpy(data.data() + at, &w, 2);
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(data.data(), &tag, 4);
    put16(4, 8 + pathBytes);                                           // data length
    put16(8, 0);                                                       // substitute name offset
    put16(10, substitute.size() * sizeof(wchar_t));                    // and length
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));              // print name offset
    put16(14, print.size() * sizeof(wchar_t));                         // and length
    std::memcpy(data.data() + 16, substitute.c_str(), substitute.size() * sizeof(wchar_t));
    std::memcpy(data.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), print.c_str(),
                print.size() * sizeof(wchar_t));
    DWORD got = 0;
    const bool ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()), nullptr,
                                      0, &got, nullptr) != 0;
    const DWORD error = ::GetLastError();
    ::CloseHandle(h);
    if (!ok) {
        ::RemoveDirectoryW(widen(link).c_str());
        return "FSCTL_SET_REPARSE_POINT refused (error " + std::to_string(error) + ")";
    }
    return {};
}

std::string makeSymlink(const std::string& link, const std::string& target, bool folder) {
    const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | 0x2;  // unprivileged creation allowed
    if (!::CreateSymbolicLinkW(widen(link).c_str(), widen(target).c_str(), flags))
        return "CreateSymbolicLinkW refused (error " + std::to_string(::GetLastError()) + ")";
    // Wine answers success and makes nothing.
    if (!qk::platform::symlinkTarget(link)) {
        ::RemoveDirectoryW(widen(link).c_str());
        ::DeleteFileW(widen(link).c_str());
        return "CreateSymbolicLinkW answered success but no link is there";
    }
    return {};
}

// The host's path of a Windows path under Wine; empty elsewhere.
std::string hostPath(const std::string& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return {};
    char* name = unixName(widen(path).c_str());
    std::string out = name ? name : "";
    if (name) ::HeapFree(::GetProcessHeap(), 0, name);
    return out;
}

bool listed(const std::string& path) {
    const std::string name = qk::bridge::nameOf(path);
    for (const auto& e : qk::platform::listFolder(qk::bridge::folderOf(path)).value_or(std::vector<qk::platform::FolderEntry>{}))
        if (e.name == name) return true;
    return false;
}

// Runs a program of the host (Wine starts one like any program) and waits until
// `path` is listed in its folder or, with `gone`, no longer is: the handle of a
// host program tells neither its end nor its exit code.
bool runOnHost(const std::wstring& program, std::wstring command, const std::string& path, bool gone) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    for (int i = 0; i < 500; ++i) {
        if (listed(path) != gone) return true;
        ::Sleep(10);
    }
    return false;
}

// Wine's own kind of link: a symbolic link of the host's file system, which Wine
// resolves as Windows resolves a link (final paths lead to the target) without
// showing its reparse data. The target must exist while it is made. Empty on
// success, else why not.
std::string makeHostLink(const std::string& link, const std::string& target) {
    const std::string from = hostPath(target), to = hostPath(link);
    if (from.empty() || to.empty()) return "not under Wine";
    // Wine hands a host program its arguments split at blanks, quotes and all:
    // the test folders have none.
    if (from.find(' ') != std::string::npos || to.find(' ') != std::string::npos) return "a blank in the host path";
    if (!runOnHost(L"Z:\\bin\\ln", L"ln -s " + widen(from) + L" " + widen(to), link, false))
        return "the host's ln made no link";
    return {};
}

class WindowsPathTable : public ::testing::Test {
protected:
    void SetUp() override {
        // The temporary folder itself may be reached through a short name or a
        // link: the tests work in its final form.
        base = qk::platform::realPath(tmp.path()).value_or(tmp.path());
        data = base + "\\Data";
        outside = base + "\\Outside";
        ASSERT_TRUE(qk::platform::createFolders(data + "\\real"));
        ASSERT_TRUE(qk::platform::createFolders(outside));
        ASSERT_TRUE(qk::platform::createFolders(base + "\\Data2"));
        qktest::writeFile(data + "\\settings.json", "old");
        roots.replace({data}, qk::LogFile{});
    }
    Json run(const std::string& action, const std::string& path, const std::string& content = "new") {
        Json request{{"action", action}, {"path", path}, {"content", content}};
        return service.run(request, action, "t");
    }
    // The write is refused, and with the page's one refusal text.
    void expectRefused(const std::string& action, const std::string& path) {
        const Json a = run(action, path);
        EXPECT_EQ(a["hr"], -1) << action << " " << path;
        EXPECT_EQ(a["result"], kOutside) << action << " " << path;
    }
    std::vector<std::string> namesIn(const std::string& folder) {
        std::vector<std::string> out;
        for (const auto& e : qk::platform::listFolder(folder).value_or(std::vector<qk::platform::FolderEntry>{}))
            out.push_back(e.name);
        std::sort(out.begin(), out.end());
        return out;
    }

    qktest::TempDir tmp;
    std::string base, data, outside;
    WriteRoots roots;
    FileService service{roots, qk::LogFile{}};
};

TEST_F(WindowsPathTable, RootsCompareNamesWithoutCaseAndFoldDotsAndSeparators) {
    std::string lowerData = data;
    for (auto& c : lowerData) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string slashed = data;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    struct Case {
        std::string path;
        std::string landsAt;  // empty: refused
    };
    const Case cases[] = {
        {lowerData + "\\lower.json", data + "\\lower.json"},
        {slashed + "/real/../mixed.json", data + "\\mixed.json"},
        {data + "\\real\\.\\\\dots.json", data + "\\real\\dots.json"},
        {base + "\\Data2\\x.json", ""},
        {data + "\\..\\Outside\\up.json", ""},
        {data + "\\real\\..\\..\\Outside\\up2.json", ""},
    };
    for (const Case& c : cases) {
        const Json a = run("writefile", c.path);
        if (c.landsAt.empty()) {
            EXPECT_EQ(a["result"], kOutside) << c.path;
        } else {
            EXPECT_EQ(a["hr"], 0) << c.path << " " << a.dump();
            EXPECT_EQ(qktest::readFile(c.landsAt), "new") << c.path;
        }
    }
    EXPECT_TRUE(namesIn(outside).empty());
    EXPECT_TRUE(namesIn(base + "\\Data2").empty());
    // A root given in another case, with slashes and a trailing separator admits the same.
    roots.replace({lowerData + "/"}, qk::LogFile{});
    EXPECT_EQ(run("writefile", data + "\\again.json")["hr"], 0);
}

TEST_F(WindowsPathTable, NamespacesSharesDevicesStreamsAndTrimmedNamesAreRefused) {
    const std::string drive = data.substr(0, 2);  // "C:"
    const std::string rest = data.substr(2);      // "\users\...\Data"
    const std::string refused[] = {
        "\\\\?\\" + data + "\\long.json",
        "\\\\.\\" + data + "\\dot.json",
        "\\??\\" + data + "\\nt.json",
        "\\\\localhost\\" + drive.substr(0, 1) + "$" + rest + "\\unc.json",
        "\\\\?\\UNC\\localhost\\" + drive.substr(0, 1) + "$" + rest + "\\unc2.json",
        data + "\\CON",
        data + "\\NUL",
        data + "\\COM1",
        data + "\\LPT1",
        data + "\\AUX",
        data + "\\PRN",
        data + "\\nul.txt",
        data + "\\real\\Com1.json",
        data + "\\CONOUT$",
        data + "\\COM\xC2\xB9",
        data + "\\settings.json:evil",
        data + "\\settings.json::$DATA",
        data + "\\settings.json.",
        data + "\\settings.json ",
        data + "\\real.\\x.json",
        data + "\\a*.json",
        drive + "relative.json",
    };
    for (const std::string& path : refused) {
        expectRefused("writefile", path);
        expectRefused("mkdir", path);
        expectRefused("deletefile", path);
    }
    // The file those names would have reached is untouched, and nothing new is there.
    EXPECT_EQ(qktest::readFile(data + "\\settings.json"), "old");
    EXPECT_EQ(namesIn(data), (std::vector<std::string>{"real", "settings.json"}));
    EXPECT_TRUE(namesIn(data + "\\real").empty());
}

TEST_F(WindowsPathTable, DriveRootsAreNeverWrittenThemselves) {
    const std::string drive = data.substr(0, 3);  // "C:\"
    expectRefused("writefile", drive + "x.json");
    roots.replace({drive}, qk::LogFile{});
    expectRefused("writefile", drive);
    expectRefused("mkdir", drive);
    expectRefused("mkdir", drive.substr(0, 2));
    // Below the drive root, the drive admits.
    EXPECT_EQ(run("writefile", data + "\\below.json")["hr"], 0);
}

TEST_F(WindowsPathTable, ShortNamesResolveToTheirLongNames) {
    const std::string longFolder = data + "\\A long folder name";
    ASSERT_TRUE(qk::platform::createFolders(longFolder));
    wchar_t shortBuffer[4096];
    const DWORD n = ::GetShortPathNameW(widen(longFolder).c_str(), shortBuffer, 4096);
    if (n == 0 || n >= 4096 || qk::bridge::nameOf(narrow(shortBuffer)) == "A long folder name")
        GTEST_SKIP() << "this file system gives the folder no short name (GetShortPathNameW answered " << n << ")";
    const std::string shortFolder = narrow(shortBuffer);
    EXPECT_EQ(qk::bridge::canonicalizePath(shortFolder + "\\x.json"), longFolder + "\\x.json");
    EXPECT_EQ(run("writefile", shortFolder + "\\x.json")["hr"], 0);
    EXPECT_EQ(qktest::readFile(longFolder + "\\x.json"), "new");
    // A short name that names nothing cannot be resolved, and is refused.
    expectRefused("writefile", data + "\\SETTIN~9.JSO");
    expectRefused("mkdir", data + "\\NOSUCH~1\\x");
    EXPECT_FALSE(existsAt(data + "\\NOSUCH~1"));
}

// Links inside the root that lead out of it, and one that leads back in: a
// junction or a symbolic link where the system makes them, else Wine's own link.
class WindowsLinks : public WindowsPathTable {
protected:
    enum class Kind { junction, folderLink, fileLink };
    // True when a link of the kind stands at `at` afterwards; `how` says which.
    bool link(Kind kind, const std::string& at, const std::string& target) {
        std::string refusal =
            kind == Kind::junction ? makeJunction(at, target) : makeSymlink(at, target, kind == Kind::folderLink);
        if (refusal.empty()) {
            how = kind == Kind::junction ? "junction" : "symbolic link";
            links.push_back({at, false});
            return true;
        }
        const std::string host = makeHostLink(at, target);
        if (host.empty()) {
            how = "host link (" + refusal + ")";
            links.push_back({at, true});
            return true;
        }
        why = refusal + "; " + host;
        return false;
    }
    // The links go first: the folder's removal is not to follow them.
    void TearDown() override {
        for (const auto& [at, host] : links) {
            if (host) {
                runOnHost(L"Z:\\bin\\rm", L"rm -f " + widen(hostPath(at)), at, true);
            } else if (!::RemoveDirectoryW(widen(at).c_str())) {
                ::DeleteFileW(widen(at).c_str());
            }
        }
    }
    std::vector<std::pair<std::string, bool>> links;
    bool windowsLink() const { return how.rfind("host", 0) != 0; }
    std::string how, why;
};

TEST_F(WindowsLinks, AJunctionOutOfTheRootIsFollowedAndRefused) {
    if (!link(Kind::junction, data + "\\jn", outside)) GTEST_SKIP() << "no link can be made here: " << why;
    RecordProperty("link", how);
    if (windowsLink()) {
        EXPECT_EQ(qk::platform::symlinkTarget(data + "\\jn"), outside);
    }
    EXPECT_EQ(qk::bridge::canonicalizePath(data + "\\jn\\x.json"), outside + "\\x.json") << how;
    for (const char* action : {"writefile", "mkdir"}) expectRefused(action, data + "\\jn\\x.json");
    expectRefused("deletefile", data + "\\jn\\QuorvaleKaraoke-backup-1.json");
    expectRefused("mkdir", data + "\\jn\\new\\deeper");
    // The link itself in the last place.
    expectRefused("mkdir", data + "\\jn");
    expectRefused("deletefile", data + "\\jn");
    EXPECT_TRUE(namesIn(outside).empty());
}

TEST_F(WindowsLinks, ALinkWhoseTargetIsGoneMakesNothingWhereItPoints) {
    // Made to a folder that is then removed.
    ASSERT_TRUE(qk::platform::createFolders(outside + "\\gone"));
    if (!link(Kind::junction, data + "\\gone", outside + "\\gone")) GTEST_SKIP() << "no link can be made here: " << why;
    ASSERT_TRUE(qk::platform::removeFolder(outside + "\\gone"));
    for (const char* action : {"mkdir", "writefile"}) {
        const Json a = run(action, data + "\\gone\\sub");
        EXPECT_EQ(a["hr"], -1) << action << " through a " << how;
    }
    // On Windows the link's own data shows where it points, and that is judged.
    if (windowsLink()) {
        expectRefused("mkdir", data + "\\gone\\sub");
    }
    EXPECT_FALSE(existsAt(outside + "\\gone"));
}

TEST_F(WindowsLinks, AFileLinkOutOfTheRootIsRefused) {
    qktest::writeFile(outside + "\\target.json", "outside");
    if (!link(Kind::fileLink, data + "\\file.json", outside + "\\target.json"))
        GTEST_SKIP() << "no link can be made here: " << why;
    expectRefused("writefile", data + "\\file.json");
    EXPECT_EQ(qktest::readFile(outside + "\\target.json"), "outside") << how;
    EXPECT_EQ(namesIn(outside), (std::vector<std::string>{"target.json"}));
}

TEST_F(WindowsLinks, ALinkInsideTheRootLeadsToItsTargetButIsNotWrittenItself) {
    if (!link(Kind::folderLink, data + "\\alias", data + "\\real")) GTEST_SKIP() << "no link can be made here: " << why;
    EXPECT_EQ(run("writefile", data + "\\alias\\x.json")["hr"], 0) << how;
    EXPECT_EQ(qktest::readFile(data + "\\real\\x.json"), "new");
    expectRefused("mkdir", data + "\\alias");
    expectRefused("writefile", data + "\\alias");
    EXPECT_TRUE(isFolder(data + "\\alias"));
}

// Reads of what is not a file fail at once: no wait on a pipe's server or a
// console, no client seen by the pipe.
TEST_F(WindowsPathTable, ReadsOfPipesDevicesAndFoldersFailAtOnce) {
    const std::string pipeName = "\\\\.\\pipe\\qk-paths-" + std::to_string(::GetCurrentProcessId());
    const HANDLE pipe = ::CreateNamedPipeW(widen(pipeName).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1,
                                           4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const std::string reads[] = {pipeName, "NUL", "CON", "CONIN$", "\\\\.\\NUL", data + "\\nul.txt", data,
                                 data + "\\"};
    for (const std::string& path : reads) {
        for (const char* action : {"readfile", "statfile", "listdir"}) {
            if (std::string(action) == "listdir" && (path == data || path == data + "\\")) continue;
            std::promise<Json> answer;
            auto future = answer.get_future();
            std::thread([&, action] { answer.set_value(run(action, path)); }).detach();
            ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready) << action << " " << path;
            const Json a = future.get();
            if (std::string(action) == "statfile") {
                // A folder exists; nothing else here does, as a file.
                EXPECT_EQ(a["exists"], path.rfind(data, 0) == 0 && path.find("nul") == std::string::npos)
                    << path;
            } else {
                EXPECT_EQ(a["hr"], -1) << action << " " << path;
            }
        }
    }
    EXPECT_EQ(run("readfile", data)["result"], "read failed (cannot open)");
    // No read connected to the pipe as its client.
    EXPECT_FALSE(::ConnectNamedPipe(pipe, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING));
    ::CloseHandle(pipe);
}

// The file actions' Windows side beyond the path rules: folders made on the way,
// listings (an empty folder too), attributes, decoding, deletion and the drives.
TEST_F(WindowsPathTable, FileActionsAnswerOnWindowsAsTheyDoElsewhere) {
    EXPECT_EQ(run("writefile", data + "\\shows\\deep\\a.json", "{\"x\":\"\xC3\xA9\"}\r\n")["hr"], 0);
    EXPECT_EQ(qktest::readFile(data + "\\shows\\deep\\a.json"), "{\"x\":\"\xC3\xA9\"}\r\n");
    EXPECT_EQ(namesIn(data + "\\shows\\deep"), (std::vector<std::string>{"a.json"}));  // no temporary left
    EXPECT_EQ(run("mkdir", data + "\\shows")["hr"], 0);                                  // already there
    EXPECT_EQ(run("mkdir", data + "\\settings.json")["result"], "mkdir failed");

    EXPECT_EQ(run("listdir", data + "\\real")["result"], "[]");
    Json list = Json::parse(run("listdir", data + "\\\\")["result"].get<std::string>());
    std::sort(list.begin(), list.end(), [](const Json& x, const Json& y) { return x["name"] < y["name"]; });
    EXPECT_EQ(list, Json::parse(R"([{"dir":true,"name":"real"},{"dir":false,"name":"settings.json"},
                                   {"dir":true,"name":"shows"}])"));
    const Json stat = run("statfile", data + "\\settings.json");
    EXPECT_EQ(stat["exists"], true);
    EXPECT_EQ(stat["size"], 3u);
    EXPECT_NEAR(stat["mtime"].get<double>(), static_cast<double>(qk::platform::unixTimeMillis()), 120000);

    qktest::writeFile(data + "\\bom.txt", "\xEF\xBB\xBFhi");
    qktest::writeFile(data + "\\latin.txt", "caf\xE9");
    EXPECT_EQ(run("readfile", data + "\\bom.txt")["result"], "hi");
    EXPECT_EQ(run("readfile", data + "\\latin.txt")["result"], "caf\xC3\xA9");

    qktest::writeFile(data + "\\QuorvaleKaraoke-Backup-2024.JSON", "x");
    EXPECT_EQ(run("deletefile", data + "\\QuorvaleKaraoke-Backup-2024.JSON")["hr"], 0);
    EXPECT_FALSE(existsAt(data + "\\QuorvaleKaraoke-Backup-2024.JSON"));
    EXPECT_EQ(run("deletefile", data + "\\settings.json")["result"], "refused: not a QuorvaleKaraoke backup file");

    const Json drives = run("drives", "");
    const Json roots = Json::parse(drives["result"].get<std::string>());
    EXPECT_NE(std::find(roots.begin(), roots.end(), Json::parse(R"({"label":"C:","root":"C:"})")), roots.end())
        << drives.dump();
    EXPECT_EQ(drives["home"], qk::platform::homeFolder());
}

}  // namespace
