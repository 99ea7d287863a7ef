// The tray record: what reaches the shell, and that an unchanged tip or icon does not (the polling
// thread sets the tip every few seconds while connected; each call would redraw the icon).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/SysTray.h"

namespace wavory {
namespace {

class CCountingBackend : public ITrayBackend {
public:
    bool AddIcon(const SNotifyIconData& data) override {
        m_Calls.push_back("add " + data.tip);
        return m_bAccept;
    }
    bool ModifyIcon(const SNotifyIconData& data) override {
        m_Calls.push_back("modify " + std::to_string(data.icon) + " " + data.tip);
        return true;
    }
    bool DeleteIcon(const SNotifyIconData&) override {
        m_Calls.push_back("delete");
        return true;
    }
    std::vector<std::string> m_Calls;
    bool m_bAccept = true;
};

TEST(SysTrayTest, OnlyChangesReachTheShell) {
    CCountingBackend backend;
    clsSysTray tray(&backend);
    tray.SetTip("Wavory Utility\nNot Connected");  // not added yet: only recorded
    EXPECT_TRUE(backend.m_Calls.empty());
    ASSERT_TRUE(tray.Add());
    tray.SetTip("Wavory Utility\nNot Connected");
    tray.SetIcon(0);
    tray.SetTip("Wavory Utility\nConnected to:\nHarbour");
    tray.SetTip("Wavory Utility\nConnected to:\nHarbour");
    tray.SetIcon(128);
    tray.SetIcon(128);
    EXPECT_EQ(backend.m_Calls, (std::vector<std::string>{"add Wavory Utility\nNot Connected",
                                                         "modify 0 Wavory Utility\nConnected to:\nHarbour",
                                                         "modify 128 Wavory Utility\nConnected to:\nHarbour"}));
    EXPECT_EQ(tray.Record().icon, 128);
}

TEST(SysTrayTest, ATipChangedWhileRemovedShowsWhenAddedAgain) {
    CCountingBackend backend;
    clsSysTray tray(&backend);
    ASSERT_TRUE(tray.Add());
    tray.SetTip("first");
    ASSERT_TRUE(tray.Delete());
    tray.SetTip("second");
    tray.SetTip("second");
    ASSERT_TRUE(tray.Add());
    EXPECT_EQ(backend.m_Calls, (std::vector<std::string>{"add ", "modify 0 first", "delete", "add second"}));
}

TEST(SysTrayTest, TipsThatDifferOnlyPastTheCutAreTheSame) {
    CCountingBackend backend;
    clsSysTray tray(&backend);
    ASSERT_TRUE(tray.Add());
    const std::string shown(kTrayTipMax, 'a');
    tray.SetTip(shown + "Harbour");
    tray.SetTip(shown + "Chandlery");  // what the shell would show is unchanged
    EXPECT_EQ(backend.m_Calls, (std::vector<std::string>{"add ", "modify 0 " + shown}));
}

}  // namespace
}  // namespace wavory
