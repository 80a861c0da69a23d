#include "sandbox.h"

#include <cerrno>
#include <cstring>
#include <seccomp.h>
#include <sys/mman.h>
#include <unistd.h>

namespace bibsources::worker {

namespace {

class Filter {
public:
    Filter()
        : context(seccomp_init(SCMP_ACT_KILL_PROCESS))
    {
    }
    ~Filter()
    {
        if (context) {
            seccomp_release(context);
        }
    }
    Filter(const Filter &) = delete;
    Filter &operator=(const Filter &) = delete;

    bool valid() const { return context != nullptr; }

    void allow(int syscall) { note(seccomp_rule_add(context, SCMP_ACT_ALLOW, syscall, 0)); }

    void allowIf(int syscall, scmp_arg_cmp condition)
    {
        note(seccomp_rule_add(context, SCMP_ACT_ALLOW, syscall, 1, condition));
    }

    std::string load()
    {
        if (firstError == 0) {
            note(seccomp_load(context));
        }
        return firstError == 0 ? std::string() : std::string(std::strerror(-firstError));
    }

private:
    void note(int result)
    {
        if (result < 0 && firstError == 0) {
            firstError = result;
        }
    }

    scmp_filter_ctx context;
    int firstError = 0;
};

} // namespace

std::string enterSandbox()
{
    Filter filter;
    if (!filter.valid()) {
        return "cannot create a system-call filter";
    }
    // The input, the frames, the diagnostics: nothing else is ever read or
    // written.
    filter.allowIf(SCMP_SYS(read), SCMP_A0(SCMP_CMP_EQ, STDIN_FILENO));
    filter.allowIf(SCMP_SYS(write), SCMP_A0(SCMP_CMP_EQ, STDOUT_FILENO));
    filter.allowIf(SCMP_SYS(write), SCMP_A0(SCMP_CMP_EQ, STDERR_FILENO));
    // The C library's last words (a failed assertion, a corrupted heap) go
    // to standard error in one writev before it aborts.
    filter.allowIf(SCMP_SYS(writev), SCMP_A0(SCMP_CMP_EQ, STDERR_FILENO));
    filter.allow(SCMP_SYS(lseek));
    filter.allow(SCMP_SYS(fstat));
    filter.allow(SCMP_SYS(newfstatat));
    filter.allow(SCMP_SYS(close));

    // Memory, but never executable memory: a worker whose heap btparse has
    // corrupted cannot be turned into one that runs new code.
    filter.allow(SCMP_SYS(brk));
    filter.allowIf(SCMP_SYS(mmap), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    filter.allowIf(SCMP_SYS(mprotect), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    filter.allow(SCMP_SYS(munmap));
    filter.allow(SCMP_SYS(mremap));
    filter.allow(SCMP_SYS(madvise));
    filter.allow(SCMP_SYS(futex));
    filter.allow(SCMP_SYS(clock_gettime));

    // Ending, normally or by abort(), which signals this process only.
    filter.allow(SCMP_SYS(exit));
    filter.allow(SCMP_SYS(exit_group));
    filter.allow(SCMP_SYS(rt_sigreturn));
    filter.allow(SCMP_SYS(rt_sigprocmask));
    filter.allow(SCMP_SYS(rt_sigaction));
    filter.allow(SCMP_SYS(getpid));
    filter.allow(SCMP_SYS(gettid));
    filter.allowIf(SCMP_SYS(tgkill), SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(::getpid())));
    return filter.load();
}

} // namespace bibsources::worker
