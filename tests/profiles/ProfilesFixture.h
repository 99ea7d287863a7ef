// Common ground of the profile tests: the real settings store in this process's temporary
// configuration folder, a fresh simulated adapter, and a record of the messages shown.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestMain.h"
#include "base/AppBase.h"
#include "base/Messages.h"
#include "kccl_sim.h"
#include "profiles/ProfileMngr.h"
#include "store/SqliteRegistry.h"

namespace wavory::test {

class CRecordedMessages : public IMessageSink {
public:
    void ShowMessage(const std::string& text, EMsgIcon icon) override { m_Shown.emplace_back(text, icon); }
    std::vector<std::pair<std::string, EMsgIcon>> m_Shown;
};

class ProfilesFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(TempHome()) / "Wavory", ec);
        std::filesystem::remove_all(FilesDir(), ec);
        std::filesystem::create_directories(FilesDir());
        m_pRegistry = std::make_unique<CSqliteRegistry>();
        ASSERT_TRUE(m_pRegistry->IsOpen()) << m_pRegistry->Error();
        theApp.m_pRegistry = m_pRegistry.get();
        theApp.m_pMessages = &m_Messages;
        theApp.m_pProfileMngr = nullptr;
        theApp.m_bAdHocApplied = false;
        ASSERT_EQ(kccl_sim_reset(nullptr), 0);
        ASSERT_EQ(kccl_sim_set_join_delay(0), 0);  // joins end with the request that starts them
        theApp.DisconnectDriver();
        kccl_sim_clear_log();
    }

    void TearDown() override {
        DropMngr();
        theApp.m_pRegistry = nullptr;
        theApp.m_pMessages = nullptr;
        theApp.m_bAdHocApplied = false;
        theApp.DisconnectDriver();
    }

    // A manager loaded from the store, made the application's.
    CProfileMngr& MakeMngr() {
        DropMngr();
        m_pMngr = std::make_unique<CProfileMngr>();
        theApp.m_pProfileMngr = m_pMngr.get();
        return *m_pMngr;
    }

    // Destroys the manager (which stores nothing: every change was stored when made).
    void DropMngr() {
        theApp.m_pProfileMngr = nullptr;
        m_pMngr.reset();
    }

    // Writes the values of a profile section the way an earlier run would have left them.
    void StoreProfile(const std::string& section, const std::string& name, const std::string& ssid,
                      bool autoSelect = false, int priority = -1) {
        CProfile p(section, false);
        p.ProfName = name;
        p.NetName = ssid;
        p.AutoSelect = autoSelect;
        ASSERT_TRUE(p.Save(false));
        // The copy rule does not apply here: the record was built on its own section.
        ASSERT_TRUE(theApp.WriteProfileInt(section, "Priority", priority));
    }

    static std::string FilesDir() { return TempHome() + "/files"; }
    static std::string FilePath(const std::string& name) { return FilesDir() + "/" + name; }

    std::unique_ptr<CSqliteRegistry> m_pRegistry;
    std::unique_ptr<CProfileMngr> m_pMngr;
    CRecordedMessages m_Messages;
};

}  // namespace wavory::test
