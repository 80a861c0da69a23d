#include "parse_worker.h"

#ifdef BIBSOURCES_WORKER_SANITIZED
// LeakSanitizer checks for leaks at exit from a thread of its own that
// ptrace()s this process, and the system-call filter kills a worker for
// either. A sanitized worker would then never end normally. The check is
// switched off here only: a worker lives for one input and all it holds goes
// back with the process, while ASan and UBSan still watch every access.
extern "C" int __lsan_is_turned_off()
{
    return 1;
}
#endif

int main(int argc, char **argv)
{
    return bibsources::worker::runParseWorker(argc, argv);
}
