// A counting allocator for the benchmark, preloaded into the server with
// LD_PRELOAD: it counts every call of malloc, calloc, realloc and the aligned
// allocations of the whole process (operator new ends in these too) and the
// bytes asked for. SIGUSR1 writes the counts so far to standard error as one
// line: "alloc-count: <calls> <bytes>". The benchmark takes the difference
// between two such lines and divides it by the requests served in between.
//
// glibc only: the real allocator is reached through its __libc_ entry points.

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

std::atomic<unsigned long long> s_calls{0};
std::atomic<unsigned long long> s_bytes{0};

void count(size_t p_nBytes)
{
    s_calls.fetch_add(1, std::memory_order_relaxed);
    s_bytes.fetch_add(p_nBytes, std::memory_order_relaxed);
}

// Appends p_nValue in decimal; async-signal-safe.
char* appendNumber(char* p_pOut, unsigned long long p_nValue)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = char('0' + p_nValue % 10);
        p_nValue /= 10;
    } while (p_nValue);
    while (n)
        *p_pOut++ = digits[--n];
    return p_pOut;
}

void report(int)
{
    char line[80] = "alloc-count: ";
    char* out = line + std::strlen(line);
    out = appendNumber(out, s_calls.load(std::memory_order_relaxed));
    *out++ = ' ';
    out = appendNumber(out, s_bytes.load(std::memory_order_relaxed));
    *out++ = '\n';
    const ssize_t ignored = ::write(STDERR_FILENO, line, size_t(out - line));
    (void)ignored;
}

struct installer_t
{
    installer_t()
    {
        struct sigaction action = {};
        action.sa_handler = &report;
        action.sa_flags = SA_RESTART;
        sigaction(SIGUSR1, &action, nullptr);
    }
} s_installer;

} // namespace

extern "C" {

void* malloc(size_t p_nSize) noexcept
{
    count(p_nSize);
    return __libc_malloc(p_nSize);
}

void* calloc(size_t p_nCount, size_t p_nSize) noexcept
{
    count(p_nCount * p_nSize);
    return __libc_calloc(p_nCount, p_nSize);
}

void* realloc(void* p_pOld, size_t p_nSize) noexcept
{
    count(p_nSize);
    return __libc_realloc(p_pOld, p_nSize);
}

void* memalign(size_t p_nAlignment, size_t p_nSize) noexcept
{
    count(p_nSize);
    return __libc_memalign(p_nAlignment, p_nSize);
}

void* aligned_alloc(size_t p_nAlignment, size_t p_nSize) noexcept
{
    return memalign(p_nAlignment, p_nSize);
}

int posix_memalign(void** p_ppOut, size_t p_nAlignment, size_t p_nSize) noexcept
{
    void* block = memalign(p_nAlignment, p_nSize);
    if (!block)
        return 12; // ENOMEM
    *p_ppOut = block;
    return 0;
}

} // extern "C"
