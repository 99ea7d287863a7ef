// The Available Networks dialog over the application object as start-up wires it: the simulated
// adapter (a scenario per test), the real settings store in this process's temporary home, the
// managers, no running polling thread, and a main window that only forwards the tick's refresh.
// The profile editor is replaced by a recording function.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AppFixture.h"
#include "kccl_sim.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "store/SqliteRegistry.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/profiles/EditProfile.h"
#include "ui/survey/ViewSite.h"

namespace wavory::test {

class CSiteSink : public IMessageSink {
public:
    void ShowMessage(const std::string& text, EMsgIcon) override { m_Shown.push_back(text); }
    std::vector<std::string> m_Shown;
};

// Forwards the main tick's list refresh to the dialog, as the main window does.
class CSiteWindow : public IMainWindow {
public:
    int Run() override { return 0; }
    void RefreshPages(bool, bool full) override { m_nFullRefreshes += full ? 1 : 0; }
    bool IsSiteVisible() override { return m_pSite && m_pSite->isVisible(); }
    void RefreshSiteList() override { m_pSite->RefreshList(); }
    void SetTrayTip(const std::string&) override {}
    CViewSite* m_pSite = nullptr;
    int m_nFullRefreshes = 0;
};

class CSiteTest : public AppFixture {
protected:
    // A network in the scenario's form; extra adds fields such as ",\"mode\":\"adhoc\"".
    static std::string Network(const std::string& ssid, const std::string& bssid, int channel, int dBm,
                               const std::string& extra = {}) {
        return "{\"ssid\":\"" + ssid + "\",\"bssid\":\"" + bssid +
               "\",\"channel\":" + std::to_string(channel) + ",\"signal_dbm\":" + std::to_string(dBm) +
               extra + "}";
    }

    // Starts the application over a scenario of these networks (the built-in one when empty).
    void Start(const std::vector<std::string>& networks = {}) {
        std::string scenario = "{\"scan_duration_ms\":0,\"networks\":[";
        for (std::size_t i = 0; i < networks.size(); ++i) scenario += (i ? "," : "") + networks[i];
        scenario += "]}";
        m_pRegistry = std::make_unique<CSqliteRegistry>();
        ASSERT_NO_FATAL_FAILURE(WireApp({.registry = m_pRegistry.get(),
                                         .messages = &m_Messages,
                                         .window = &m_Window,
                                         .scenario = networks.empty() ? std::string() : scenario}));
    }

    // Creates and shows the dialog with the recording editor.
    // Opens the dialog at the size it had before it learned to size itself (the offscreen screen is
    // narrower than every column needs).
    CViewSite& Open() {
        theApp.WriteProfileInt("", CViewSite::kWidthPref, 1000);
        theApp.WriteProfileInt("", CViewSite::kHeightPref, 320);
        m_pSite = std::make_unique<CViewSite>();
        m_pSite->SetEditorRunner([this](const QString& title) {
            m_Titles << title;
            m_EditNames.push_back(g_strEditProfile);
            return m_fnEditor ? m_fnEditor() : false;
        });
        m_Window.m_pSite = m_pSite.get();
        m_pSite->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_pSite.get()));
        return *m_pSite;
    }

    void SetUp() override {
        // A fresh store for every test; it is made again when opened.
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(QString::fromStdString(CSqliteRegistry::DefaultPath() + suffix));
    }

    void TearDown() override {
        theApp.m_pMainWnd = nullptr;
        m_pSite.reset();
        QApplication::processEvents();
        UnwireApp();
        m_pRegistry.reset();
    }

    // One main tick after the polling thread asked for a refresh.
    static void Tick() {
        theApp.m_bRefreshRequest = true;
        theApp.OnMainTick();
    }

    QTreeWidget* List() const { return m_pSite->findChild<QTreeWidget*>("IDC_1062"); }
    QPushButton* Button(int id) const {
        return m_pSite->findChild<QPushButton*>(QStringLiteral("IDC_%1").arg(id));
    }
    QWidget* Control(int id) const { return m_pSite->findChild<QWidget*>(QStringLiteral("IDC_%1").arg(id)); }

    QStringList Column(int column) const {
        QStringList texts;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) texts << List()->topLevelItem(i)->text(column);
        return texts;
    }
    QTreeWidgetItem* Row(const QString& ssid) const {
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            if (List()->topLevelItem(i)->text(1) == ssid) return List()->topLevelItem(i);
        ADD_FAILURE() << "no row " << ssid.toStdString();
        return nullptr;
    }
    // Clicks a row as the user does.
    void Click(const QString& ssid) {
        QTreeWidgetItem* row = Row(ssid);
        ASSERT_NE(row, nullptr);
        List()->scrollToItem(row);
        const QRect rect = List()->visualItemRect(row);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void ClickHeader(int column) {
        QHeaderView* header = List()->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    // Puts a station into the manager directly (strengths the adapter would not report), then
    // shows the list again.
    std::shared_ptr<CStation> AddStation(const std::string& ssid, int channel, int dBm, bool wep = false) {
        CProfile fields("", false);
        fields.NetName = ssid;
        fields.NetMode = true;
        fields.PhyChnl = channel;
        fields.SecType = wep ? 1 : 0;
        auto station =
            std::make_shared<CStation>(fields, "00-11-22-33-44-" + std::to_string(10 + channel), dBm);
        theApp.m_pStationMngr->AddStation(station);
        m_pSite->RefreshList();
        return station;
    }

    // The adapter's state as the simulation reports it.
    static QJsonObject SimState() {
        QByteArray state(1 << 16, '\0');
        kccl_sim_state_json(state.data(), static_cast<std::size_t>(state.size()));
        return QJsonDocument::fromJson(QByteArray(state.constData())).object();
    }
    // Associated with the network of this BSSID (not with a cell of its own).
    static bool Associated(const char* bssid) {
        const QJsonObject state = SimState();
        return state["associated"].toBool() && !state["own_cell"].toBool() &&
               state["bssid"].toString() == bssid;
    }

    std::unique_ptr<CSqliteRegistry> m_pRegistry;
    CSiteSink m_Messages;
    CSiteWindow m_Window;
    std::unique_ptr<CViewSite> m_pSite;
    // What the editor does when run (confirm = true); it is asked nothing when unset (cancel).
    std::function<bool()> m_fnEditor;
    QStringList m_Titles;
    std::vector<std::string> m_EditNames;
};

}  // namespace wavory::test
