// The test programs' entry point on Windows. Under Wine, the GStreamer pipeline
// behind Media Foundation can crash the process while it unloads after the last
// test (a segfault after every case has passed and been reported), which CTest
// would count against the case. The results are written by then, so the program
// ends at once with their status instead of unloading.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}
