// SPDX-License-Identifier: MIT
// ThreadSanitizer's defaults for the tool, linked into ThreadSanitizer builds only (MESHPROBE_TSAN).
//
// A signal that the running stage cannot honour within the grace period (welding, the face tree's balancing
// on its helper threads) ends the process at once through _exit, deliberately: nothing is lost, since _exit
// runs no destructors and the partial files are removed first. ThreadSanitizer's _exit hook then waits a
// second and reports a helper that finished in the meantime but was not joined yet as a "thread leak", exit
// 66. The tool's own threads are std::threads (one left unjoined would end the program in its destructor)
// and the detached watchdog, so the leak check has nothing else to find here; data races are still reported.
// TSAN_OPTIONS given at run time still override this.

extern "C" const char* __tsan_default_options();

extern "C" const char* __tsan_default_options()
{
    return "report_thread_leaks=0";
}
