#pragma once

#include <QString>
#include <QtTest/QTest>

namespace TestEnv {

// Points HOME, the XDG folders, the runtime and temp folders and the
// working folder at a fresh folder of this test run, before any QSettings or
// QStandardPaths lookup. Must be called before the application object
// exists: Qt reads these once.
// The folder is removed when the process ends after all tests passed and
// kept (its path printed) when one failed, so the files can be looked at.
void isolateHome(int argc, char **argv);

// The isolated home of this run.
QString homeDir();

// Folder beside the built program (language packs, SSL files, images).
QString binDir();

// Marks the run as failed so the home folder is kept.
void keepHome();

// The process's peak resident size in KiB since the last reset (-1 when
// it cannot be read), for memory bounds measured around one case.
void resetPeakMemory();
qint64 peakMemoryKiB();
// CPU time of the calling thread in milliseconds: a bound on work done here
// that holds on a loaded machine, where wall time does not.
qint64 threadCpuMs();
// A peak taken under AddressSanitizer counts its shadow memory and the
// quarantine of freed blocks, not the program's own needs.
// Work done on one thread takes about this many times longer under the
// sanitizers: bounds on the program's own work are scaled by it.
#ifdef __SANITIZE_ADDRESS__
constexpr bool peakMemoryIsTheProgramsOwn = false;
constexpr int sanitizerSlowdown = 3;
#else
constexpr bool peakMemoryIsTheProgramsOwn = true;
constexpr int sanitizerSlowdown = 1;
#endif

} // namespace TestEnv

// QTEST_MAIN with an isolated home. AppClass is QApplication,
// QGuiApplication or QCoreApplication.
#define VORNEX_TEST_MAIN_APP(TestObject, AppClass)                                                           \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        TestEnv::isolateHome(argc, argv);                                                                    \
        AppClass app(argc, argv);                                                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        const int rc = QTest::qExec(&tc, argc, argv);                                                        \
        if (rc != 0)                                                                                         \
            TestEnv::keepHome();                                                                             \
        return rc;                                                                                           \
    }

#define VORNEX_TEST_MAIN(TestObject) VORNEX_TEST_MAIN_APP(TestObject, QApplication)
#define VORNEX_TEST_GUILESS_MAIN(TestObject) VORNEX_TEST_MAIN_APP(TestObject, QCoreApplication)
