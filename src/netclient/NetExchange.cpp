#include "netclient/NetExchange.h"

#include <utility>
#include <vector>

namespace {
TNetExchange *gRunning = nullptr;
std::vector<std::function<void()>> gWhenDone;
}

const char *const TNetExchange::kBusy =
    "Another network exchange is still running. Please wait until it has ended.";

TNetExchange::TNetExchange(const void *owner, std::function<void()> abort) : owner_(owner), abort_(std::move(abort))
{
    if (gRunning)
        return;
    gRunning = this;
    active_ = true;
}

TNetExchange::~TNetExchange()
{
    if (!active_)
        return;
    gRunning = nullptr;
    // What waited may start another exchange or wait again itself.
    std::vector<std::function<void()>> waiting;
    waiting.swap(gWhenDone);
    for (auto &fn : waiting)
        fn();
}

bool TNetExchange::Running() { return gRunning != nullptr; }

bool TNetExchange::RunningFor(const void *owner) { return gRunning && owner && gRunning->owner_ == owner; }

void TNetExchange::Abort()
{
    TNetExchange *x = gRunning;
    if (!x || x->aborted_)
        return;
    x->aborted_ = true;
    if (x->abort_)
        x->abort_();
}

void TNetExchange::WhenDone(std::function<void()> fn)
{
    if (!fn)
        return;
    if (!gRunning) {
        fn();
        return;
    }
    gWhenDone.push_back(std::move(fn));
}
