#pragma once
// Base of the network-facing components: keeps the process-wide socket stack
// alive while any of them lives, reports connection steps through a status
// event with fixed texts and counts transferred bytes through work events.
#include "netclient/NetBaseComponent.h"
#include "netclient/NetStack.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

class TNetComponent;

enum TNetStatus { StatusResolving, StatusConnecting, StatusConnected, StatusDisconnecting,
                  StatusDisconnected, StatusText };
// Read = 0, write = 1.
enum TWorkMode { wmRead = 0, wmWrite = 1 };

using TNetStatusEvent = std::function<void(TNetComponent *axSender, TNetStatus axStatus, const std::string &asStatusText)>;
using TWorkEvent = std::function<void(TNetComponent *Sender, TWorkMode AWorkMode, int32_t AWorkCount)>;
using TWorkBeginEvent = std::function<void(TNetComponent *Sender, TWorkMode AWorkMode, int32_t AWorkCountMax)>;
using TWorkEndEvent = std::function<void(TNetComponent *Sender, TWorkMode AWorkMode)>;

// The text of a status (a format filled with the operation's arguments).
const char *NetStatusFormat(TNetStatus status);

class TNetComponent : public TNetBaseComponent {
public:
    TNetComponent();
    ~TNetComponent() override;

    TNetStatusEvent OnStatus;
    TWorkEvent OnWork;
    TWorkBeginEvent OnWorkBegin;
    TWorkEndEvent OnWorkEnd;

    virtual void BeginWork(TWorkMode mode, int32_t max = 0);
    virtual void DoWork(TWorkMode mode, int32_t count);
    virtual void EndWork(TWorkMode mode);
    // Fires OnStatus with the status's text filled with the arguments.
    void DoStatus(TNetStatus status, const std::string &arg = std::string());
    std::string LocalName();

    // Running count and nesting level of a work mode (for inspection).
    int32_t WorkCount(TWorkMode mode) const { return work_[mode].count; }
    int32_t WorkLevel(TWorkMode mode) const { return work_[mode].level; }

    // The number of living components (the stack lives while it is above 0).
    static int LivingCount();

private:
    struct WorkInfo {
        int32_t count = 0;
        int32_t max = 0;
        int32_t level = 0;
    };
    WorkInfo work_[2];
};
