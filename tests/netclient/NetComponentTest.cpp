// The component base: the shared stack's lifetime and the work events.
#include "netclient/NetComponent.h"

#include <gtest/gtest.h>

TEST(NetComponent, StackLivesWithTheComponents)
{
    ASSERT_EQ(TNetComponent::LivingCount(), 0);
    EXPECT_EQ(GStack(), nullptr);
    auto *a = new TNetComponent;
    TNetStack *first = GStack();
    ASSERT_NE(first, nullptr);
    auto *b = new TNetComponent;
    EXPECT_EQ(GStack(), first);
    delete a;
    EXPECT_EQ(GStack(), first);  // one left: the stack stays
    delete b;
    EXPECT_EQ(GStack(), nullptr);
    TNetComponent c;
    EXPECT_NE(GStack(), nullptr);  // a new one for the next component
    EXPECT_FALSE(c.LocalName().empty());
}

TEST(NetComponent, NestedWorkFiresOnlyTheOuterPair)
{
    TNetComponent c;
    std::vector<std::string> events;
    c.OnWorkBegin = [&](TNetComponent *, TWorkMode m, int32_t max) {
        events.push_back("begin " + std::to_string(m) + " " + std::to_string(max));
    };
    c.OnWork = [&](TNetComponent *, TWorkMode m, int32_t n) {
        events.push_back("work " + std::to_string(m) + " " + std::to_string(n));
    };
    c.OnWorkEnd = [&](TNetComponent *, TWorkMode m) { events.push_back("end " + std::to_string(m)); };
    c.DoWork(wmRead, 10);  // before any BeginWork: nothing
    EXPECT_TRUE(events.empty());
    c.BeginWork(wmRead, 500);
    c.BeginWork(wmRead, 7);
    c.DoWork(wmRead, 100);
    c.DoWork(wmRead, 150);
    c.BeginWork(wmWrite, 3);  // independent of reading
    c.DoWork(wmWrite, 3);
    c.EndWork(wmWrite);
    c.EndWork(wmRead);
    c.EndWork(wmRead);
    EXPECT_EQ(events, (std::vector<std::string> {"begin 0 500", "work 0 100", "work 0 250", "begin 1 3", "work 1 3",
                                                "end 1", "end 0"}));
    // An unpaired end leaves the level at zero, so the next pair still fires.
    c.EndWork(wmRead);
    EXPECT_EQ(c.WorkLevel(wmRead), 0);
    events.clear();
    c.BeginWork(wmRead, 1);
    EXPECT_EQ(events, (std::vector<std::string> {"begin 0 1"}));
}

TEST(NetComponent, StatusTexts)
{
    TNetComponent c;
    std::vector<std::string> texts;
    c.OnStatus = [&](TNetComponent *, TNetStatus, const std::string &t) { texts.push_back(t); };
    c.DoStatus(StatusResolving, "host");
    c.DoStatus(StatusConnecting, "1.2.3.4");
    c.DoStatus(StatusConnected, "1.2.3.4");
    c.DoStatus(StatusDisconnecting, "1.2.3.4");
    c.DoStatus(StatusDisconnected, "1.2.3.4");
    c.DoStatus(StatusText, "free 100% text");
    EXPECT_EQ(texts, (std::vector<std::string> {"Resolving hostname host.", "Connecting to 1.2.3.4.", "Connected.",
                                               "Disconnecting from 1.2.3.4.", "Not connected.", "free 100% text"}));
}
