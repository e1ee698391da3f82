#include "base/MappedRegion.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>

namespace torvo {
namespace {

// The guarded address ranges. A signal handler can only reach process-wide
// state, so this table is one; it is lock-free because the handler may
// interrupt a thread that is just adding or removing a range.
struct GuardSlot {
    std::atomic<uintptr_t> begin{0};  // 0: free
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> lost{false};
};
constexpr int kSlots = 64;
std::array<GuardSlot, kSlots> slots;
struct sigaction previous {};
std::once_flag installed;

uintptr_t PageSize() {
    static const auto size = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

void PassOn(int signal, siginfo_t* info, void* context) {
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    // Returning re-runs the faulting access, which now meets the default action.
    ::sigaction(SIGBUS, &previous, nullptr);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (GuardSlot& slot : slots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= slot.end.load(std::memory_order_relaxed)) continue;
        // A private page of zeros where the file's page was; the access is
        // retried when the handler returns. mmap is a plain system call.
        void* page = reinterpret_cast<void*>(address & ~(PageSize() - 1));
        if (::mmap(page, PageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
            MAP_FAILED)
            break;
        slot.lost.store(true, std::memory_order_relaxed);
        return;
    }
    PassOn(signal, info, context);
}

void InstallHandler() {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previous);
}

int TakeSlot(const void* begin, size_t length) {
    if (length == 0) return -1;
    std::call_once(installed, InstallHandler);
    const auto start = reinterpret_cast<uintptr_t>(begin);
    for (int i = 0; i < kSlots; ++i) {
        uintptr_t expected = 0;
        // Claim the slot with a marker no address can match, then publish the range.
        if (!slots[i].begin.compare_exchange_strong(expected, UINTPTR_MAX, std::memory_order_acq_rel)) continue;
        slots[i].lost.store(false, std::memory_order_relaxed);
        slots[i].end.store(start + length, std::memory_order_relaxed);
        slots[i].begin.store(start, std::memory_order_release);
        return i;
    }
    return -1;
}

void FreeSlot(int slot) {
    if (slot < 0) return;
    slots[slot].end.store(0, std::memory_order_relaxed);
    slots[slot].begin.store(0, std::memory_order_release);
}

bool SlotLost(int slot) { return slot >= 0 && slots[slot].lost.load(std::memory_order_relaxed); }

}  // namespace

std::unique_ptr<MappedRegion> MappedRegion::Map(int fd, uint64_t offset, size_t length) {
    if (fd < 0 || length == 0) return nullptr;
    const uint64_t pageStart = offset & ~uint64_t(PageSize() - 1);
    const auto lead = static_cast<size_t>(offset - pageStart);
    const size_t mappedLength = lead + length;
    // Writable as a private copy only (the full scan pads the last page in
    // place): a private mapping never writes anything back to the file.
    void* base = ::mmap(nullptr, mappedLength, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, static_cast<off_t>(pageStart));
    if (base == MAP_FAILED) return nullptr;
    const int slot = TakeSlot(base, mappedLength);
    if (slot < 0) {
        ::munmap(base, mappedLength);
        return nullptr;
    }
    return std::unique_ptr<MappedRegion>(
        new MappedRegion(static_cast<uint8_t*>(base), mappedLength, lead, length, slot));
}

MappedRegion::~MappedRegion() {
    // The range leaves the guard before it is unmapped: once unmapped, its
    // addresses may at once be mapped anew by someone the guard must not answer for.
    FreeSlot(slot_);
    ::munmap(base_, mappedLength_);
}

bool MappedRegion::LostBytes() const { return SlotLost(slot_); }

size_t MappedRegion::Capacity() const {
    const uintptr_t page = PageSize();
    return (mappedLength_ + page - 1) / page * page - static_cast<size_t>(data_ - base_);
}

MappingGuard::MappingGuard(const void* begin, size_t length) : slot_(TakeSlot(begin, length)) {}
MappingGuard::~MappingGuard() { FreeSlot(slot_); }
bool MappingGuard::LostBytes() const { return SlotLost(slot_); }

}  // namespace torvo
