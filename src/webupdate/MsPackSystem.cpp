#include "webupdate/MsPackSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct THandle {
    TMsPackSystem *Owner = nullptr;
    int Fd = -1;          // input file; -1 for the output
};

TMsPackSystem *Owner(mspack_system *self) { return reinterpret_cast<TMsPackSystem *>(self); }

mspack_file *MsOpen(mspack_system *self, const char *filename, int mode)
{
    auto *h = new THandle;
    h->Owner = Owner(self);
    if (mode == MSPACK_SYS_OPEN_READ) {
        h->Fd = open(filename, O_RDONLY | O_CLOEXEC);
        if (h->Fd < 0) {
            delete h;
            return nullptr;
        }
    } else if (mode != MSPACK_SYS_OPEN_WRITE ||
               (!h->Owner->Counting && (!h->Owner->Output || !h->Owner->Output->IsOpen()))) {
        // Only the prepared output may be written; nothing is appended or
        // updated in place.
        delete h;
        return nullptr;
    }
    return reinterpret_cast<mspack_file *>(h);
}

void MsClose(mspack_file *file)
{
    auto *h = reinterpret_cast<THandle *>(file);
    if (h->Fd >= 0)
        close(h->Fd);
    delete h;
}

int MsRead(mspack_file *file, void *buffer, int bytes)
{
    auto *h = reinterpret_cast<THandle *>(file);
    if (h->Fd < 0 || bytes < 0)
        return -1;
    while (true) {
        const ssize_t n = read(h->Fd, buffer, size_t(bytes));
        if (n < 0 && errno == EINTR)
            continue;
        return int(n);
    }
}

int MsWrite(mspack_file *file, void *buffer, int bytes)
{
    auto *h = reinterpret_cast<THandle *>(file);
    TMsPackSystem *o = h->Owner;
    if (h->Fd >= 0 || bytes < 0 || (!o->Output && !o->Counting))
        return -1;
    if (int64_t(bytes) > o->Budget) {
        o->OverBudget = true;
        return -1;
    }
    if (!o->Counting && !o->Output->Write(buffer, size_t(bytes)))
        return -1;
    o->Budget -= bytes;
    return bytes;
}

int MsSeek(mspack_file *file, off_t offset, int mode)
{
    auto *h = reinterpret_cast<THandle *>(file);
    if (h->Fd < 0)
        return -1;
    const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR : SEEK_END;
    return lseek(h->Fd, offset, whence) < 0 ? -1 : 0;
}

off_t MsTell(mspack_file *file)
{
    auto *h = reinterpret_cast<THandle *>(file);
    return h->Fd < 0 ? -1 : lseek(h->Fd, 0, SEEK_CUR);
}

void MsMessage(mspack_file *, const char *, ...) {}

void *MsAlloc(mspack_system *, size_t bytes) { return malloc(bytes); }
void MsFree(void *ptr) { free(ptr); }
void MsCopy(void *src, void *dest, size_t bytes) { memmove(dest, src, bytes); }

} // namespace

TMsPackSystem::TMsPackSystem()
{
    Sys.open = MsOpen;
    Sys.close = MsClose;
    Sys.read = MsRead;
    Sys.write = MsWrite;
    Sys.seek = MsSeek;
    Sys.tell = MsTell;
    Sys.message = MsMessage;
    Sys.alloc = MsAlloc;
    Sys.free = MsFree;
    Sys.copy = MsCopy;
    Sys.null_ptr = nullptr;
}

void TMsPackSystem::SetOutput(fileio::AtomicWriter *writer, int64_t budget)
{
    Output = writer;
    Counting = false;
    Budget = budget;
    OverBudget = false;
}

void TMsPackSystem::CountOutput(int64_t budget)
{
    SetOutput(nullptr, budget);
    Counting = true;
}
