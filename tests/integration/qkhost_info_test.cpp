#include <gtest/gtest.h>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(QkhostInfo, PrintsTheThreeInfoRecords) {
    qktest::TempDir home;
    const std::string dir = QK_PLUGIN_DIR;
    const auto r = qktest::runCommand(std::string(QK_BIN_DIR) + "/qkhost --home '" + home.path() + "' info '" + dir +
                                      "/QuorvaleSound.so' '" + dir + "/QuorvaleOverlay.so' '" + dir +
                                      "/QuorvaleKaraoke.so' 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    for (const char* expected :
         {"name:        QuorvaleSound", "version:     1.0.0", "name:        QuorvaleOverlay", "flags:       0x50000",
          "version:     1.6.0", "name:        QuorvaleKaraoke", "description: Karaoke rotation & singer management",
          "version:     0.9.40", "type:        dsp", "type:        video effect", "type:        start/stop"})
        EXPECT_NE(r.output.find(expected), std::string::npos) << expected << "\n" << r.output;
}

TEST(QkhostInfo, ExplainsItselfAndRefusesWhatItCannotLoad) {
    const auto help = qktest::runCommand(std::string(QK_BIN_DIR) + "/qkhost --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("--home DIR"), std::string::npos);
    const auto bad = qktest::runCommand(std::string(QK_BIN_DIR) + "/qkhost info /nonexistent/X.so 2>&1");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("cannot load /nonexistent/X.so"), std::string::npos);
}

}  // namespace
