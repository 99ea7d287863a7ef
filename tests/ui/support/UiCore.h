// The application object as a widget test needs it: a fresh simulated adapter, an in-memory
// settings store, a message sink that records instead of blocking on a modal box, and the managers
// (no polling thread: tests drive its work themselves).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MemoryRegistry.h"
#include "driver/Card.h"
#include "kccl_sim.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "shell/Messages.h"
#include "shell/Tessal.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory::test {

class CRecordingSink : public IMessageSink {
public:
    void ShowMessage(const std::string& text, EMsgIcon icon) override { m_Shown.emplace_back(text, icon); }
    std::vector<std::pair<std::string, EMsgIcon>> m_Shown;
};

class CUiCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kccl_sim_reset(nullptr), 0);
        kccl_sim_clear_faults();
        theApp.m_pRegistry = &m_Registry;
        theApp.m_pMessages = &m_Messages;
        theApp.m_StatHistory.fill(StatSample{});
        theApp.m_nStatIndex = 0;
        theApp.m_nRxRate = 0;
        theApp.m_nTxRate = 0;
        theApp.m_pGraphPage = nullptr;
        theApp.m_bRefreshRequest = false;
        theApp.m_bScanning = false;
        theApp.SetTrayTip("");  // no tip carried over from an earlier test
        theApp.ConnectDriver();
        theApp.m_pPoll = new CPoll();
        theApp.m_pCardMngr = new CCardMngr();
        theApp.m_pProfileMngr = new CProfileMngr();
        theApp.m_pProfileMngr->m_fnCurrentStation = [] {
            return std::shared_ptr<CProfile>(theApp.m_pStationMngr->GetCurrent());
        };
        theApp.m_pStationMngr = new CStationMngr();
    }

    void TearDown() override {
        QApplication::processEvents();
        theApp.m_pMainWnd = nullptr;
        theApp.m_pProfileMngr->m_fnCurrentStation = nullptr;
        delete theApp.m_pStationMngr;
        theApp.m_pStationMngr = nullptr;
        delete theApp.m_pProfileMngr;
        theApp.m_pProfileMngr = nullptr;
        delete theApp.m_pCardMngr;
        theApp.m_pCardMngr = nullptr;
        delete theApp.m_pPoll;
        theApp.m_pPoll = nullptr;
        theApp.DisconnectDriver();
        theApp.m_pMessages = nullptr;
        theApp.m_pRegistry = nullptr;
        kccl_sim_clear_faults();
        kccl_sim_set_present(1);
    }

    // Joins a network of the default scenario as the Profiles page does (apply through a station)
    // and makes the station current. Lighthouse is open, 802.11b, channel 11.
    std::shared_ptr<CStation> Connect(const std::string& ssid = "Lighthouse", int phy = 1, int rssi = -66) {
        CProfile profile("", false);
        profile.NetName = ssid;
        profile.NetMode = true;
        profile.PhyType = phy;
        profile.SecType = 0;
        auto station = std::make_shared<CStation>(profile, std::string(), rssi);
        EXPECT_TRUE(station->Connect(CStation::CONNECT_APPLY));
        theApp.m_pStationMngr->SetCurrent(station);
        return station;
    }

public:
    // The text of the label with this control id.
    static QString Text(QWidget* root, int id) {
        auto* label = root->findChild<QLabel*>(QStringLiteral("IDC_%1").arg(id));
        EXPECT_NE(label, nullptr) << "no label " << id;
        return label ? label->text() : QStringLiteral("<missing>");
    }

protected:
    CMemoryRegistry m_Registry;
    CRecordingSink m_Messages;
};

}  // namespace wavory::test
