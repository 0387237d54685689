// Which paths a play command may name: the rule every decoder backend relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound/sound_cache.h"

namespace {

TEST(SoundPath, OnlyAbsoluteLocalPathsCountInEitherForm) {
    struct Case {
        std::string path;
        char separator;
        bool absolute;
    };
    for (const Case& c : std::vector<Case>{{"/music/a.wav", '/', true},
                                           {std::string("/music/a.wav\0.mp3", 17), '/', false},
                                           {"music/a.wav", '/', false},
                                           {"pipe:0", '/', false},
                                           {"fd:3", '/', false},
                                           {"tcp://127.0.0.1:9?listen=1", '/', false},
                                           {"", '/', false},
                                           {"C:\\music\\a.wav", '\\', true},
                                           {"c:\\a.wav", '\\', true},
                                           {"\\\\server\\share\\a.wav", '\\', true},
                                           {"C:a.wav", '\\', false},
                                           {"\\music\\a.wav", '\\', false},
                                           {"music\\a.wav", '\\', false},
                                           {"\\\\.\\pipe\\a.wav", '\\', false},
                                           {"\\\\?\\C:\\a.wav", '\\', false},
                                           {"http://example.org/a.wav", '\\', false}})
        EXPECT_EQ(qk::sound::isAbsoluteLocalPath(c.path, c.separator), c.absolute) << c.path;
}

}  // namespace
