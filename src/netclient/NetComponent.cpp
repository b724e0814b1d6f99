#include "netclient/NetComponent.h"

#include "platform/Rtl.h"

namespace {
int gLiving = 0;
}

const char *NetStatusFormat(TNetStatus status)
{
    switch (status) {
    case StatusResolving: return NetRes::RSStatusResolving;
    case StatusConnecting: return NetRes::RSStatusConnecting;
    case StatusConnected: return NetRes::RSStatusConnected;
    case StatusDisconnecting: return NetRes::RSStatusDisconnecting;
    case StatusDisconnected: return NetRes::RSStatusDisconnected;
    case StatusText: default: return NetRes::RSStatusText;
    }
}

TNetComponent::TNetComponent()
{
    if (!GStack())
        SetGStack(new TNetStackPosix());
    ++gLiving;
}

TNetComponent::~TNetComponent()
{
    if (--gLiving == 0)
        SetGStack(nullptr);
}

int TNetComponent::LivingCount() { return gLiving; }

void TNetComponent::BeginWork(TWorkMode mode, int32_t max)
{
    WorkInfo &w = work_[mode];
    if (++w.level == 1) {
        w.max = max;
        w.count = 0;
        if (OnWorkBegin)
            OnWorkBegin(this, mode, max);
    }
}

void TNetComponent::DoWork(TWorkMode mode, int32_t count)
{
    WorkInfo &w = work_[mode];
    if (w.level > 0) {
        w.count += count;
        if (OnWork)
            OnWork(this, mode, w.count);
    }
}

void TNetComponent::EndWork(TWorkMode mode)
{
    WorkInfo &w = work_[mode];
    if (w.level == 1 && OnWorkEnd)
        OnWorkEnd(this, mode);
    // An unpaired EndWork must not leave the level below zero, or the next
    // BeginWork would never fire.
    if (w.level > 0)
        --w.level;
}

void TNetComponent::DoStatus(TNetStatus status, const std::string &arg)
{
    if (!OnStatus)
        return;
    std::string fmt = NetStatusFormat(status);
    // The texts hold at most one "%s"; those without one ignore the argument.
    std::string text = fmt;
    size_t p = fmt.find("%s");
    if (p != std::string::npos)
        text = fmt.substr(0, p) + arg + fmt.substr(p + 2);
    OnStatus(this, status, text);
}

std::string TNetComponent::LocalName() { return GStack()->LocalHostName(); }
