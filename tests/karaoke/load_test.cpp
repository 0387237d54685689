// The built deliverable as the host loads it: by DllGetClassObject only, with no
// display to open a window on.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "host/host_session.h"
#include "platform/module_dir.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(KaraokeDeliverable, LoadsDeclaresItsButtonsAndReleasesCleanly) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    qktest::KaraokeLogCapture log;
    qktest::TempDir home;
    qkhost::HostSession session({home.path(), "", 48000, 1920, 1080});
    std::string error;
    qkhost::LoadedPlugin* loaded = session.load(std::string(QK_PLUGIN_DIR) + "/QuorvaleKaraoke.so", &error);
    ASSERT_NE(loaded, nullptr) << error;
    ASSERT_EQ(loaded->kind, qkhost::PluginKind::StartStop);

    const auto params = session.host().declaredParameters();
    ASSERT_EQ(params.size(), 4u);
    const char* shortNames[] = {"PlayNext", "BGMusic", "BGSkip", "Audience"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(params[static_cast<size_t>(i)].id, i + 1);
        EXPECT_EQ(params[static_cast<size_t>(i)].kind, 0);
        EXPECT_EQ(params[static_cast<size_t>(i)].shortName, shortNames[i]);
    }

    // No display: the interface is declined and the buttons do no harm.
    vdj::PluginInterface record{};
    EXPECT_EQ(loaded->startStop()->OnGetUserInterface(&record), vdj::kNotImplemented);
    EXPECT_EQ(loaded->startStop()->OnStart(), vdj::kOk);
    EXPECT_EQ(loaded->startStop()->OnParameter(1), vdj::kOk);
    EXPECT_EQ(loaded->startStop()->OnStop(), vdj::kOk);

    session.release(*loaded);
    EXPECT_EQ(session.host().commands(), std::vector<std::string>{"video off"});
    EXPECT_TRUE(log.hasLine("===== OnLoad (QuorvaleKaraoke W1b) =====")) << log.text();
    EXPECT_TRUE(log.hasLine("  no window - declining custom interface (E_NOTIMPL)"));
    EXPECT_TRUE(log.hasLine("Release"));
}

// A host may load the plug-in by a name relative to its working folder; the
// folder the page is looked for in is absolute all the same.
TEST(KaraokeDeliverable, ItsFolderIsAbsoluteWhenLoadedByARelativeName) {
    namespace fs = std::filesystem;
    const fs::path plugins = fs::canonical(QK_PLUGIN_DIR);
    const fs::path before = fs::current_path();
    fs::current_path(plugins.parent_path());
    const std::string relative = "./" + plugins.filename().string() + "/QuorvaleKaraoke.so";
    void* module = ::dlopen(relative.c_str(), RTLD_NOW | RTLD_LOCAL);
    // The host stays in its working folder while the plug-in runs.
    const void* entry = module != nullptr ? ::dlsym(module, "DllGetClassObject") : nullptr;
    const std::string folder = entry != nullptr ? qk::platform::moduleDirectory(entry) : std::string();
    fs::current_path(before);
    ASSERT_NE(module, nullptr) << ::dlerror();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(folder, plugins.string());
    ::dlclose(module);
}

}  // namespace
